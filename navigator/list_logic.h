#pragma once
// The main window's list and layout rules, kept free of widgets so they can be
// checked without a display. Every length here is in twips.

#include "name_order.h"
#include "twips.h"

#include <QSize>
#include <QString>
#include <QStringList>

namespace korvex::navigator {

using korvex::Box;
using korvex::indexOfName;
using korvex::namesForList;
using korvex::snapOuterSize;
using korvex::sortedNames;
using korvex::toPixels;
using korvex::toPixelsAtLeast;
using korvex::toTwips;
using korvex::Twips;

// The controls the splitter lays out. Read and written in twips.
struct ListBoxes {
    Box bookLabel;
    Box bookList;
    Box sheetLabel;
    Box sheetList;
    Box splitter; // the draggable strip
    Box bar;      // the grey bar shown while dragging
};

struct ClientArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Lays the two labels, the two lists and the splitter out around the
// splitter's left edge. Each assignment reads what the previous ones left; an
// assignment that would give a negative width or height is skipped and the rest
// still run, so a very small window keeps the last workable sizes.
ListBoxes sizeControls(ListBoxes boxes, int splitX, const ClientArea& client);

// Where the dragged bar goes for pointer position p: never closer than 500 to
// either edge of the client area.
int clampSplitter(int p, int scaleWidth);
constexpr int SplitterMargin = 500;

// Smallest outer size of the main window and of the close-several-books dialog.
constexpr QSize MainMinimumOuter(4700, 2750);
constexpr QSize CloseBooksMinimumOuter(3125, 2800);

} // namespace korvex::navigator
