// The target of a run: the book chosen in Book_Combo and the sheets selected in
// Sheet_List, both filled from the host, sorted or in the host's order, and
// the commands that refresh them and select sheets relative to the book's
// active sheet.

#include "find_replace_window.h"

#include "app_state.h"
#include "book_lists.h"
#include "host_helpers.h"
#include "list_widgets.h"
#include "messages.h"
#include "name_order.h"
#include "ui_seam.h"

#include <QComboBox>
#include <QItemSelection>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QSignalBlocker>

#include <exception>

namespace korvex::findreplace {

namespace {

// One selection change for the whole list: many sheets do not cost one
// selection signal each.
void applySelection(QListWidget* list, const QList<bool>& selected) {
    QItemSelection selection;
    for (int i = 0; i < list->count() && i < selected.size(); ++i) {
        if (selected[i]) {
            const QModelIndex index = list->model()->index(i, 0);
            selection.select(index, index);
        }
    }
    list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    const int current = int(selected.indexOf(true));
    list->selectionModel()->setCurrentIndex(list->model()->index(qMax(current, 0), 0),
                                            QItemSelectionModel::NoUpdate);
}

// A selection command on the sheet list as shown (sorted or not), relative to
// the book's own active sheet; a chart sheet is never in the list.
void selectInList(QListWidget* list, SheetSelection command, const QString& book) {
    const QStringList entries = listEntries(list);
    const int active = int(entries.indexOf(activeSheetName(book)));
    applySelection(list,
                   korvex::applySelection(command, QList<bool>(entries.size(), false), active));
}

} // namespace

void FindReplaceWindow::ReloadBooks() {
    // Without a host the names shown last stay (sorted again when sorting is
    // on); a host that fails while being listed counts as no host.
    const QString previous = Book_Combo->currentText();
    QStringList names = comboEntries(Book_Combo);
    const bool found = refreshBookNames(names);
    fillCombo(Book_Combo, namesForList(names, m_opt.B_Sort));
    if (!found) {
        Sheet_List->clear();
        return;
    }

    QString active;
    try {
        active = activeBookName();
    } catch (const std::exception&) {
        return;
    }
    const int row = indexOfName(comboEntries(Book_Combo), active);
    if (row < 0) {
        // The active book has no visible window: the target stays what it was
        // (its sheets with it) while that book is still listed.
        const int kept = indexOfName(comboEntries(Book_Combo), previous);
        const QSignalBlocker quiet(Book_Combo);
        Book_Combo->setCurrentIndex(kept);
        if (kept < 0)
            Sheet_List->clear();
        return;
    }
    {
        const QSignalBlocker quiet(Book_Combo);
        Book_Combo->setCurrentIndex(row);
    }
    Book_Combo_Click();
}

void FindReplaceWindow::Book_Combo_Click() {
    LoadSheets();
}

void FindReplaceWindow::recoverLists() {
    // One recovery per user action: a failure that repeats while the lists are
    // being rebuilt is not reported and recovered from again.
    if (m_recovering)
        return;
    Korvex_M01::ShowMsg(messageId(1));
    const QScopedValueRollback recovering(m_recovering, true);
    ReloadBooks();
}

bool FindReplaceWindow::targetBookReady(QString& book) {
    book = Book_Combo->currentText();
    if (book.isEmpty() || !Korvex_M02::AttachExcel())
        return false;
    if (!Korvex_M02::IsBookOpen(book)) {
        Korvex_M01::ShowMsg(messageId(2));
        return false;
    }
    return true;
}

void FindReplaceWindow::LoadSheets() {
    try {
        QString book;
        if (!targetBookReady(book))
            return;
        QStringList sheets;
        Korvex_M02::ListSheets(sheets, book);
        Sheet_List->clear();
        Sheet_List->addItems(namesForList(sheets, m_opt.S_Sort));
        selectInList(Sheet_List, SheetSelection::OnlyCurrent, book);
    } catch (const std::exception&) {
        recoverLists();
    }
}

void FindReplaceWindow::selectBySelection(SheetSelection command) {
    try {
        QString book;
        if (!targetBookReady(book))
            return;
        selectInList(Sheet_List, command, book);
    } catch (const std::exception&) {
        recoverLists();
    }
}

void FindReplaceWindow::SelectSheets(bool All) {
    selectBySelection(All ? SheetSelection::All : SheetSelection::OnlyCurrent);
}

void FindReplaceWindow::SM_SelAll_Click() {
    SelectSheets(true);
}

void FindReplaceWindow::SM_SelCancel_Click() {
    SelectSheets(false);
}

void FindReplaceWindow::SM_Before_Click() {
    selectBySelection(SheetSelection::UpToCurrent);
}

void FindReplaceWindow::SM_After_Click() {
    selectBySelection(SheetSelection::FromCurrent);
}

void FindReplaceWindow::RM_Book_Click() {
    ReloadBooks();
}

void FindReplaceWindow::RM_Sheet_Click() {
    LoadSheets();
}

void FindReplaceWindow::RM_Excel_Click() {
    Korvex_M02::ActivateExcel();
}

} // namespace korvex::findreplace
