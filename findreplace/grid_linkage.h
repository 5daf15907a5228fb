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
#include <QStringList>

namespace korvex::findreplace {

// Where a result row points: trimmed book and sheet names and the address.
struct HitAddress {
    QString book;
    QString sheet;
    QString range;
    // A folder-search row's file (its full path), opened for the user when
    // its book is not open; empty for every other row.
    QString file;
};

class GridLinkage {
public:
    // What became of an edit of a row's result text. Only WrittenBack lets
    // the row change: a row always tells what its cell holds.
    enum class Edit {
        Refused,      // empty result text: beep, the old text stays
        WrittenBack,  // the cell held the recorded text and now holds the new one
        CellChanged,  // the cell holds something else now (a row or column
                      // inserted, another edit): nothing written
        CellLocked,   // the cell is on a protected sheet: nothing written
        BookClosed,   // the row's book is not open
        SheetMissing, // its sheet (or cell) is not in the book
        HostGone,     // no spreadsheet to write to
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
    // An edited result text is about to be stored: it goes into the row's
    // cell only where the cell still holds one of `expected` (compared as
    // Range::setValueIf does), checked and written in one host call. The
    // linkage decides only where the cursor ends: on the edited cell when
    // the option is on, untouched when it is off.
    Edit beforeStore(const HitAddress& hit, const QStringList& expected, int compareChars,
                     const QString& newText);

    // Activates the book and sheet of `hit` and selects its cell. False, with
    // nothing done, when the book or sheet is not open or the host is gone.
    static bool GoToHit(const HitAddress& hit);

private:
    bool m_xlsActive = false;
    bool m_gridActive = false;
};

} // namespace korvex::findreplace
