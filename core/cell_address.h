#pragma once
// Cell addresses in A1 notation ("B12", "$B$12", "A1:C3", "$1:$3", "$A:$B"),
// read and written the one way every host and engine shares. Rows and
// columns are 1-based, as Range::row() / column() give them; a host that
// counts from 0 adds one on its side.

#include "host.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

namespace korvex::a1 {

// The sheet limits of the spreadsheet being modelled: row 1048576, column
// XFD.
constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;

// A rectangle of cells, corners included.
struct CellRange {
    int top = 1;
    int left = 1;
    int bottom = 1;
    int right = 1;
    bool contains(int row, int column) const {
        return row >= top && row <= bottom && column >= left && column <= right;
    }
    bool wholeRows() const { return left == 1 && right == MaxColumns; }
    bool wholeColumns() const { return top == 1 && bottom == MaxRows; }
    friend bool operator==(const CellRange& a, const CellRange& b) {
        return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
    }
};

// Column number -> letters (1 -> "A", 28 -> "AB", 16384 -> "XFD"); empty
// below 1. Numbers past the sheet still get their letters.
QString columnLetters(int column);
// One to three letters of either case -> column number; 0 for anything else
// or past MaxColumns.
int columnNumber(QStringView letters);
// One to seven digits -> row number; 0 for anything else, row 0 or past
// MaxRows.
int rowNumber(QStringView digits);

// "B12", "$B$12", "b$12", blanks around ignored -> the cell; nothing for any
// other text or a cell outside the sheet.
std::optional<host::CellPosition> parseCell(QStringView text);
// One cell, or two joined by ':' ("A1:C3", "$C$3:A1") -> the rectangle they
// span, corners in order; nothing when either part is not a cell.
std::optional<CellRange> parseRange(QStringView text);
// "$1:$3", "1:3" or "$2" -> first and last row, in order; nothing for
// anything else or rows outside the sheet.
std::optional<std::pair<int, int>> parseRowSpan(QStringView text);
// "$A:$C", "a:c" or "$B" -> first and last column, in order.
std::optional<std::pair<int, int>> parseColumnSpan(QStringView text);

// "$B$12" (absolute), "B12" or mixed.
QString cellText(host::CellPosition cell, bool rowAbsolute = true, bool columnAbsolute = true);
// One cell as cellText writes it, else "first:last".
QString rangeText(const CellRange& range, bool rowAbsolute = true, bool columnAbsolute = true);
// "$1:$3" / "1:3": both ends always written.
QString rowSpanText(int first, int last, bool absolute = true);
// "$A:$C" / "A:C": both ends always written.
QString columnSpanText(int first, int last, bool absolute = true);

} // namespace korvex::a1
