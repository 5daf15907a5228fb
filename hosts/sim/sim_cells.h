#pragma once
// How the simulated host writes and reads a cell: what a user would have
// typed, what a replacement leaves, and what a search or a bulk replace sees.

#include "cell_address.h"
#include "sim_host.h"

#include <vector>

namespace korvex::sim {

using Rect = a1::CellRange;

// A value as the spreadsheet stores it: whole numbers stay ints, flags bools.
QVariant normalisedPageValue(const QString& name, const QVariant& v);
// A constant as the formula bar shows it: a date as a date, a flag as TRUE or
// FALSE, a percentage with its sign, text without its apostrophe.
QString enteredConstant(const QString& typed);
// Writes what a user typed into a cell: a formula, a constant, or nothing.
void enterCell(SheetData& sheet, int row, int column, const QVariant& v);
// Writes the text a replacement made of a cell's content. A text that reads
// as a number was entered with an apostrophe, and stays text.
void enterReplaced(SheetData& sheet, int row, int column, const QString& text);
// Every cell of `sheet` inside `rect` whose text matches, in no order.
std::vector<matcher::CellPosition> matchingCells(const SheetData& sheet, const Rect& rect,
                                                 const matcher::FindSettings& settings);
QString cellAddress(int row, int column);
host::CellContent contentOf(const CellData* cell);
QString valueTextAt(const SheetData& sheet, int row, int column);

} // namespace korvex::sim
