// Filling the book and sheet lists from the host, and the selection chain that
// links them: the program choosing an entry does what a user's click does, so
// a refresh of the book list ends with the host's active book and sheet brought
// forward again.

#include "main_window.h"

#include "app_state.h"
#include "book_lists.h"
#include "host_helpers.h"
#include "list_logic.h"
#include "messages.h"
#include "nav_list.h"
#include "ui_seam.h"

#include <QScopedValueRollback>

#include <exception>

using namespace korvex::navigator;
using korvex::activeBookName;
using korvex::need;
using korvex::host::HostError;
using Korvex_M02::ExcelApp;

void Korvex_F01::fillList(NavList* list, const QStringList& names, int sortValue) {
    list->fill(namesForList(names, sortValue));
}

void Korvex_F01::RefreshBookList() {
    // The host is asked for a fresh list; when it cannot be reached the names
    // the list showed last stay (sorted again if sorting is on).
    QStringList names = Book_List->entries();
    const bool found = korvex::refreshBookNames(names);
    fillList(Book_List, names, B_Sort);
    if (!found) {
        Sheet_List->clearEntries();
        return;
    }

    int row = -1;
    try {
        row = indexOfName(Book_List->entries(), activeBookName());
    } catch (const std::exception&) {
        row = -1;
    }
    if (row < 0) {
        // No entry becomes current, so no sheet list belongs to one.
        Book_List->setCurrentByProgram(-1);
        Sheet_List->clearEntries();
        return;
    }
    Book_List->setCurrentByProgram(row);
}

void Korvex_F01::RefreshSheetList(bool CheckActive) {
    const QString book = Book_List->currentText();
    if (book.isEmpty() || !Korvex_M02::AttachExcel())
        return;
    try {
        if (CheckActive && activeBookName() != book) {
            Korvex_M01::ShowMsg(QStringLiteral("E_F01_003"));
            return;
        }
        QStringList sheets;
        Korvex_M02::ListSheets(sheets, book);
        fillList(Sheet_List, sheets, S_Sort);
        const QString active = korvex::activeSheetName(book);
        Sheet_List->setCurrentByProgram(indexOfName(Sheet_List->entries(), active));
    } catch (const std::exception&) {
        if (m_bookRecovery)
            return; // failing again while recovering: reported once already
        Korvex_M01::ShowMsg(QStringLiteral("E_F01_001"));
        const QScopedValueRollback recovering(m_bookRecovery, true);
        RefreshBookList();
    }
}

void Korvex_F01::ActivateSelectedSheet() {
    if (!Korvex_M02::AttachExcel())
        return;
    const QString book = Book_List->currentText();
    const QString sheet = Sheet_List->currentText();
    if (book.isEmpty() && sheet.isEmpty()) {
        korvex::ui().beep();
        return;
    }
    try {
        if (book.isEmpty() || sheet.isEmpty())
            throw HostError(QStringLiteral("no book or sheet chosen"));
        Korvex_M02::ActivateBook(*need(ExcelApp->workbook(book), "no book"));
        const auto target =
            need(need(ExcelApp->activeWorkbook(), "no active book")->worksheet(sheet), "no sheet");
        target->activate();
        if (S_Move != 0)
            need(target->range(CValue), "no range")->select();
    } catch (const std::exception&) {
        if (m_sheetRecovery)
            return; // the refresh below chose the same failing sheet again
        Korvex_M01::ShowMsg(QStringLiteral("E_F01_002"));
        const QScopedValueRollback recovering(m_sheetRecovery, true);
        RefreshSheetList(false);
    }
}

void Korvex_F01::Book_List_Click() {
    RefreshSheetList(false);
}

void Korvex_F01::Sheet_List_Click() {
    ActivateSelectedSheet();
}
