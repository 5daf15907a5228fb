// How the window shows things: sorted or host-ordered names, merged grid
// cells, the list and grid font, staying in front; and the cell-value fetch.

#include "find_replace_window.h"

#include "app_state.h"
#include "host_helpers.h"
#include "list_fonts.h"
#include "messages.h"
#include "result_grid.h"
#include "ui_seam.h"
#include "window_band.h"

#include <QAction>
#include <QComboBox>
#include <QListWidget>

namespace korvex::findreplace {

void FindReplaceWindow::ToggleBookSort() {
    // The stored value decides: the menu item's own toggling is overruled, so
    // both marks always agree whichever of the two was clicked.
    const bool sorted = m_opt.B_Sort == 0;
    PM_BookSort->setChecked(sorted);
    OM_BookSort->setChecked(sorted);
    m_opt.B_Sort = sorted ? 1 : 0;
    ReloadBooks();
}

void FindReplaceWindow::ToggleSheetSort() {
    const bool sorted = m_opt.S_Sort == 0;
    PM_SheetSort->setChecked(sorted);
    OM_SheetSort->setChecked(sorted);
    m_opt.S_Sort = sorted ? 1 : 0;
    LoadSheets();
}

void FindReplaceWindow::ChooseFont() {
    if (!Korvex_M01::SelectFont(Book_Combo))
        return;
    ApplyFont();
    LayoutControls();
}

void FindReplaceWindow::ApplyFont() {
    // The lists and the grid share Book_Combo's font; the text boxes keep theirs.
    const QColor color = Book_Combo->palette().color(QPalette::Active, QPalette::Text);
    Sheet_List->setFont(Book_Combo->font());
    QPalette palette = Sheet_List->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Text, color);
        palette.setColor(group, QPalette::WindowText, color);
    }
    Sheet_List->setPalette(palette);
    m_grid->applyFont(Book_Combo->font(), color);
}

void FindReplaceWindow::OM_BookMerge_Click() {
    const bool merged = !m_grid->columnMerged(0);
    m_grid->setColumnMerged(0, merged);
    OM_BookMerge->setChecked(m_grid->columnMerged(0));
}

void FindReplaceWindow::OM_SheetMerge_Click() {
    const bool merged = !m_grid->columnMerged(1);
    m_grid->setColumnMerged(1, merged);
    OM_SheetMerge->setChecked(m_grid->columnMerged(1));
}

void FindReplaceWindow::OM_Activate_Click() {
    WindowBand& band = WindowBand::instance();
    const bool onTop = !band.inFront(bandSlot());
    OM_Activate->setChecked(onTop);
    band.setInFront(bandSlot(), onTop);
}

void FindReplaceWindow::OM_ExcelActive_Click() {
    const bool linked = m_opt.Xls_Active == 0;
    m_opt.Xls_Active = linked ? 1 : 0;
    OM_ExcelActive->setChecked(linked);
    m_grid->setLinkage(linked);
}

// How the search text is read: kept with the window's options, so the next
// run and the next start see the same choice.
void FindReplaceWindow::OM_Regex_Click() {
    m_opt.S_Regex = m_opt.S_Regex == 0 ? 1 : 0;
    OM_Regex->setChecked(m_opt.S_Regex != 0);
}

void FindReplaceWindow::OM_Kana_Click() {
    m_opt.S_Kana = m_opt.S_Kana == 0 ? 1 : 0;
    OM_Kana->setChecked(m_opt.S_Kana != 0);
}

void FindReplaceWindow::Cmd_CellGet_Click(int Index) {
    const QString book = Book_Combo->currentText();
    if (book.isEmpty()) {
        ui().beep();
        return;
    }
    if (!Korvex_M02::IsBookOpen(book)) {
        Korvex_M01::ShowMsg(messageId(2));
        return;
    }
    // The host's active cell, whichever book is active there: only the target
    // book's being open is required.
    const QString value = Korvex_M02::GetCellValue();
    QComboBox* target = Index == 1 && Replace_Combo ? Replace_Combo : Search_Combo;
    target->setEditText(value);
}

} // namespace korvex::findreplace
