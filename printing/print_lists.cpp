// Filling the book and sheet lists from the host, the chain that links them
// (choosing a book fills its sheets), the selection commands of the target
// list and the sort options.

#include "print_window.h"

#include "app_state.h"
#include "book_lists.h"
#include "host_helpers.h"
#include "list_widgets.h"
#include "messages.h"
#include "name_order.h"
#include "print_logic.h"
#include "sheet_selection.h"

#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QScopedValueRollback>
#include <QSignalBlocker>

#include <algorithm>
#include <exception>

using namespace korvex::printing;

using korvex::comboEntries;
using korvex::fillCombo;
using korvex::SheetSelection;

void Korvex_F04::chooseComboText(QComboBox* combo, const QString& text) {
    const int row =
        text.isEmpty() ? -1 : combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    {
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(row);
    }
    if (combo == Combo_Book) {
        if (row < 0)
            Combo_Sheet->clear();
        else
            Combo_Book_Click();
    } else if (combo == Combo_BookSel) {
        if (row < 0)
            List_Sheet->clear();
        else
            Combo_BookSel_Click();
    } else if (combo == Combo_Sheet && row >= 0) {
        Combo_Sheet_Click();
    }
}

void Korvex_F04::LoadSheets(const QString& book, QWidget* list) {
    if (book.isEmpty() || !Korvex_M02::AttachExcel())
        return;
    try {
        if (!Korvex_M02::IsBookOpen(book)) {
            Korvex_M01::ShowMsg(QStringLiteral("E_F04_002"));
            return;
        }
        const QString active = korvex::activeSheetName(book);
        QStringList sheets;
        Korvex_M02::ListSheets(sheets, book);
        sheets = korvex::namesForList(sheets, S_Sort);
        // A book whose active sheet is a chart sheet leaves the list without a
        // current entry.
        if (list == List_Sheet) {
            List_Sheet->clear();
            List_Sheet->addItems(sheets);
            const int row = korvex::indexOfName(sheets, active);
            if (row >= 0)
                List_Sheet->setCurrentRow(row, QItemSelectionModel::NoUpdate);
        } else if (list == Combo_Sheet) {
            fillCombo(Combo_Sheet, sheets);
            chooseComboText(Combo_Sheet, active);
        }
    } catch (const std::exception&) {
        recoverLists();
    }
}

void Korvex_F04::recoverLists() {
    if (m_recovering)
        return; // failing again while recovering: reported once already
    Korvex_M01::ShowMsg(QStringLiteral("E_F04_001"));
    const QScopedValueRollback recovering(m_recovering, true);
    ReloadBooks();
}

void Korvex_F04::ReloadBooks() {
    // Without a host the lists keep the names they showed last.
    QStringList names = comboEntries(Combo_Book);
    const bool found = korvex::refreshBookNames(names);
    names = korvex::namesForList(names, B_Sort);
    fillCombo(Combo_Book, names);
    fillCombo(Combo_BookSel, names);
    if (!found) {
        Combo_Sheet->clear();
        List_Sheet->clear();
        return;
    }
    QString active;
    try {
        active = korvex::activeBookName();
    } catch (const std::exception&) {
        active.clear();
    }
    chooseComboText(Combo_Book, active);
    chooseComboText(Combo_BookSel, active);
}

void Korvex_F04::Combo_Book_Click() {
    LoadSheets(Combo_Book->currentText(), Combo_Sheet);
}

void Korvex_F04::Combo_BookSel_Click() {
    LoadSheets(Combo_BookSel->currentText(), List_Sheet);
}

void Korvex_F04::Combo_Sheet_Click() {
    // Another base sheet within the target book starts the targets afresh.
    if (Combo_BookSel->currentText() == Combo_Book->currentText())
        LoadSheets(Combo_BookSel->currentText(), List_Sheet);
}

QStringList Korvex_F04::GetSelectedSheets() const {
    QStringList names;
    for (int i = 0; i < List_Sheet->count(); ++i) {
        if (List_Sheet->item(i)->isSelected())
            names << List_Sheet->item(i)->text();
    }
    return names;
}

void Korvex_F04::selectionCommand(int command) {
    const QString book = Combo_BookSel->currentText();
    if (book.isEmpty() || !Korvex_M02::AttachExcel())
        return;
    try {
        if (!Korvex_M02::IsBookOpen(book)) {
            Korvex_M01::ShowMsg(QStringLiteral("E_F04_002"));
            return;
        }
        QList<bool> selected;
        for (int i = 0; i < List_Sheet->count(); ++i)
            selected << List_Sheet->item(i)->isSelected();
        const QListWidgetItem* current = List_Sheet->currentItem();
        const int currentRow = current ? List_Sheet->row(current) : -1;
        selected = korvex::applySelection(SheetSelection(command), selected, currentRow);
        for (int i = 0; i < List_Sheet->count(); ++i)
            List_Sheet->item(i)->setSelected(selected[i]);
    } catch (const std::exception&) {
        recoverLists();
    }
}

void Korvex_F04::SM_SelAll_Click() {
    selectionCommand(int(SheetSelection::All));
}

void Korvex_F04::SM_Before_Click() {
    selectionCommand(int(SheetSelection::UpToCurrent));
}

void Korvex_F04::SM_After_Click() {
    selectionCommand(int(SheetSelection::FromCurrent));
}

void Korvex_F04::SM_SelCancel_Click() {
    selectionCommand(int(SheetSelection::None));
}

void Korvex_F04::SM_Reversal_Click() {
    selectionCommand(int(SheetSelection::Reverse));
}

void Korvex_F04::RM_Book_Click() {
    ReloadBooks();
}

void Korvex_F04::RM_Sheet_Click() {
    LoadSheets(Combo_Book->currentText(), Combo_Sheet);
    LoadSheets(Combo_BookSel->currentText(), List_Sheet);
}

void Korvex_F04::RM_Excel_Click() {
    Korvex_M02::ActivateExcel();
    raise();
    activateWindow();
}

void Korvex_F04::OM_ListFree_Click() {
    List_Free = List_Free == 0 ? 1 : 0;
    OM_ListFree->setChecked(List_Free != 0);
}

void Korvex_F04::ToggleBookSort() {
    // The stored value, not the item's own toggling, decides the new state.
    B_Sort = B_Sort == 0 ? 1 : 0;
    PM_BookSort->setChecked(B_Sort != 0);
    OM_BookSort->setChecked(PM_BookSort->isChecked());
    if (Running) {
        m_refillAfterRun = RefillBooks;
        return;
    }
    ReloadBooks();
}

void Korvex_F04::ToggleSheetSort() {
    S_Sort = S_Sort == 0 ? 1 : 0;
    PM_SheetSort->setChecked(S_Sort != 0);
    OM_SheetSort->setChecked(PM_SheetSort->isChecked());
    if (Running) {
        m_refillAfterRun = std::max(m_refillAfterRun, RefillSheets);
        return;
    }
    LoadSheets(Combo_Book->currentText(), Combo_Sheet);
    LoadSheets(Combo_BookSel->currentText(), List_Sheet);
}
