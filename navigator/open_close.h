#pragma once
// What the open command asks the file dialog, kept apart from the window so it
// can be checked without one.

#include "dialog_seam.h"

namespace korvex::navigator {

// The three filters of the open dialog. The captions are the program's own;
// the patterns cover what the spreadsheet host opens on this platform.
QStringList openFilters();
// The spreadsheet filter, preselected.
constexpr int SpreadsheetFilter = 1;

OpenFilesRequest openRequest(const QString& title, const QString& startFolder);

// The folder remembered after files were chosen (the one they were chosen
// in), with a trailing separator.
QString rememberedFolder(const QStringList& chosenFiles);

} // namespace korvex::navigator
