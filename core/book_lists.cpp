#include "book_lists.h"

#include "app_state.h"
#include "host_helpers.h"

#include <exception>

namespace korvex {

using Korvex_M02::ExcelApp;

bool refreshBookNames(QStringList& names) {
    try {
        QStringList fresh = names;
        const bool found = Korvex_M02::ListBooks(fresh);
        names = fresh;
        return found;
    } catch (const std::exception&) {
        return false; // the host went away while being listed
    }
}

QString activeBookName() {
    return need(need(ExcelApp, "no host")->activeWorkbook(), "no active book")->name();
}

QString activeSheetName(const QString& book) {
    return need(need(need(ExcelApp, "no host")->workbook(book), "no book")->activeSheet(),
                "no active sheet")
        ->name();
}

} // namespace korvex
