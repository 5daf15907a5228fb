#include "grid_linkage.h"

#include "app_state.h"
#include "host_helpers.h"
#include "ui_seam.h"

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

GridLinkage::Edit GridLinkage::beforeStore(int column, int resultColumn, int selectedRows, int rows,
                                           const HitAddress& hit, const QString& newText) {
    if (column != resultColumn)
        return Edit::StoredOnly;
    // An empty result is never stored, linked or not: it would stand for a cell
    // that no longer holds what was found.
    if (newText.isEmpty()) {
        korvex::ui().beep();
        return Edit::Refused;
    }
    if (selectedRows >= 2 || rows <= 0 || !m_gridActive)
        return Edit::StoredOnly;
    // A book that was closed, or a host that has gone, leaves only the stored
    // row changed, quietly.
    Korvex_M02::CellPos saved;
    try {
        if (!Korvex_M02::AttachExcel())
            return Edit::StoredOnly;
        Korvex_M02::GetCurrentPos(saved);
        if (!GoToHit(hit))
            return Edit::StoredOnly;
        Korvex_M02::SetCellValue(newText);
    } catch (const host::HostError&) {
        return Edit::StoredOnly;
    }
    if (!m_xlsActive) {
        try {
            Korvex_M02::GoToPos(saved);
        } catch (const host::HostError&) {
            // The cell is written; a cursor that cannot go back stays on it.
        }
    }
    return Edit::WrittenBack;
}

bool GridLinkage::GoToHit(const HitAddress& hit) {
    const QString book = hit.book.trimmed();
    const QString sheet = hit.sheet.trimmed();
    try {
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
