#include "grid_linkage.h"

#include "app_state.h"
#include "host_helpers.h"
#include "ui_seam.h"

#include <QFileInfo>

namespace korvex::findreplace {

void GridLinkage::setXlsActive(bool on) {
    m_xlsActive = on;
    if (on)
        m_gridActive = true;
}

bool GridLinkage::currentRowChanged(int selectedRows, int rows, const HitAddress& hit) {
    if (selectedRows < 2 && m_xlsActive && rows > 0 && m_gridActive)
        return GoToHit(hit);
    return false;
}

bool GridLinkage::clicked(int selectedRows, int rows, const HitAddress& hit) {
    bool moved = false;
    if (selectedRows < 2 && !m_gridActive && m_xlsActive && rows > 0)
        moved = GoToHit(hit);
    m_gridActive = true;
    return moved;
}

GridLinkage::Edit GridLinkage::beforeStore(const HitAddress& hit, const QStringList& expected,
                                           int compareChars, const QString& newText) {
    // An empty result is never stored, linked or not: it would stand for a cell
    // that no longer holds what was found.
    if (newText.isEmpty()) {
        korvex::ui().beep();
        return Edit::Refused;
    }
    const QString book = hit.book.trimmed();
    const QString sheet = hit.sheet.trimmed();
    // After a failed call, whatever is gone first is the reason.
    const auto why = [&book](Edit otherwise) {
        if (!Korvex_M02::AttachExcel())
            return Edit::HostGone;
        try {
            if (!Korvex_M02::IsBookOpen(book))
                return Edit::BookClosed;
        } catch (const host::HostError&) {
            return Edit::HostGone;
        }
        return otherwise;
    };
    if (!Korvex_M02::AttachExcel())
        return Edit::HostGone;
    host::SheetPtr ws;
    try {
        ws = Korvex_M02::ExcelApp->workbook(book)->worksheet(sheet);
    } catch (const host::HostError&) {
        return why(Edit::SheetMissing);
    }
    try {
        switch (ws->range(hit.range.trimmed())->setValueIf(expected, compareChars, newText)) {
        case host::CheckedWrite::Written:
            break;
        case host::CheckedWrite::Changed:
            return Edit::CellChanged;
        case host::CheckedWrite::Refused:
            return Edit::CellLocked;
        }
    } catch (const host::HostError&) {
        return why(Edit::SheetMissing);
    }
    if (m_xlsActive)
        GoToHit(hit); // the cell is written; a cursor that cannot follow stays put
    return Edit::WrittenBack;
}

bool GridLinkage::GoToHit(const HitAddress& hit) {
    QString book = hit.book.trimmed();
    const QString sheet = hit.sheet.trimmed();
    try {
        if (!hit.file.isEmpty()) {
            // The user is going to work in it: opened as any book, shown, and
            // the open one taken when it is open already.
            if (!QFileInfo(hit.file).isFile() || !Korvex_M02::AttachExcel())
                return false;
            book = Korvex_M02::ExcelApp->openWorkbook(hit.file)->name();
        }
        if (!Korvex_M02::IsBookOpen(book) || !Korvex_M02::IsSheetExist(book, sheet))
            return false;
        auto& app = *Korvex_M02::ExcelApp;
        Korvex_M02::ActivateBook(book);
        app.activeWorkbook()->sheet(sheet)->activate();
        app.activeSheet()->range(hit.range.trimmed())->select();
        return true;
    } catch (const host::HostError&) {
        return false;
    }
}

} // namespace korvex::findreplace
