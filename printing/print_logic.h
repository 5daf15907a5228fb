#pragma once
// The print window's layout rules, kept free of widgets so that
// they read as plain rules. Every length here is in twips.

#include <QList>
#include <QSize>

#include "twips.h"

namespace korvex::printing {

using korvex::Box;

// The controls LayoutControls moves: the four buttons on the right, the three
// combos and the target list on the left.
struct PrintBoxes {
    Box printSet;
    Box setStart;
    Box cancel;
    Box printOut;
    Box comboBook;
    Box comboSheet;
    Box comboBookSel;
    Box listSheet;
};

// The buttons share one left edge at the right of the inner area; the combos
// and the list fill the width left of them, and the list reaches down to the
// bottom. Lengths that would come out negative keep their last value, so a
// window squeezed below its minimum never gets a control turned inside out.
PrintBoxes layoutControls(PrintBoxes boxes, int innerWidth, int innerHeight);

// The smallest outer size of the window.
constexpr QSize PrintMinimumOuter(3950, 2600);

} // namespace korvex::printing
