#pragma once
// GridLinkage: when a result row moves the spreadsheet's cursor to its cell, and
// when an edited result text is written into the cell.
//
// Two flags decide: Xls_Active (the user's "ｸﾞﾘｯﾄﾞとExcelを連動する" option) and
// GridActive (armed by the first click on the grid, by a one-by-one run and by
// switching the option on; disarmed at load and by an all-at-once run, so that
// walking through fresh results with the arrow keys leaves the cursor alone
// until the user clicks). With two or more rows selected nothing moves and
// nothing is written.
//
// The host is reached through the host helpers (Korvex_M02); the spreadsheet's
// window is never brought to the front. A closed book, a missing sheet or a host
// that has gone make GoToHit do nothing.

#include <QString>

namespace korvex::findreplace {

// Where a result row points: trimmed book and sheet names and the address.
struct HitAddress {
    QString book;
    QString sheet;
    QString range;
};

class GridLinkage {
public:
    // What happens to an edit of a cell of the list.
    enum class Edit {
        Refused,     // empty result text: beep, the old text stays
        StoredOnly,  // only the stored row changes
        WrittenBack, // the cell was written as well
    };

    bool xlsActive() const { return m_xlsActive; }
    bool gridActive() const { return m_gridActive; }
    // The option; switching it on arms the linkage at once.
    void setXlsActive(bool on);
    void setGridActive(bool on) { m_gridActive = on; }

    // The current row changed. True when the cursor was moved.
    bool currentRowChanged(int selectedRows, int rows, const HitAddress& hit);
    // A click on the grid (after the current row followed it): the first click
    // moves the cursor, and every click arms the linkage.
    bool clicked(int selectedRows, int rows, const HitAddress& hit);
    // An edited text is about to be stored in `column`. For the result column,
    // with the linkage armed and at most one row selected, the text is written
    // into the cell; the cursor then returns where it was unless linked.
    Edit beforeStore(int column, int resultColumn, int selectedRows, int rows,
                     const HitAddress& hit, const QString& newText);

    // Activates the book and sheet of `hit` and selects its cell. False, with
    // nothing done, when the book or sheet is not open or the host is gone.
    static bool GoToHit(const HitAddress& hit);

private:
    bool m_xlsActive = false;
    bool m_gridActive = false;
};

} // namespace korvex::findreplace
