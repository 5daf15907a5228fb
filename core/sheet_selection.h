#pragma once
// The selection commands of a list of sheets to act on (all, none, only one
// sheet, up to or from it, reversed), the same in every window that lists
// sheets.

#include <QList>

namespace korvex {

enum class SheetSelection { All, None, OnlyCurrent, UpToCurrent, FromCurrent, Reverse };

// The list's selection after a command. `current` is the index of the entry
// the command is relative to (the book's active sheet, or the list's current
// row), or -1 when the list has none: "up to" then runs to the end
// (everything selected), while "from" never starts and "only" finds nothing
// (nothing selected). Only Reverse looks at the selection before.
QList<bool> applySelection(SheetSelection command, const QList<bool>& selected, int current);

} // namespace korvex
