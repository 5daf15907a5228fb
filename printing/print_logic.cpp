#include "print_logic.h"

namespace korvex::printing {

PrintBoxes layoutControls(PrintBoxes b, int innerWidth, int innerHeight) {
    const int buttonLeft = innerWidth - 100 - b.printSet.width;
    for (Box* button : {&b.printSet, &b.setStart, &b.cancel, &b.printOut})
        button->left = buttonLeft;

    const int width = innerWidth - 100 - b.setStart.width - 100 - b.comboBook.left;
    if (width >= 0) {
        for (Box* box : {&b.comboBook, &b.comboSheet, &b.comboBookSel, &b.listSheet})
            box->width = width;
    }
    const int height = innerHeight - 100 - b.listSheet.top;
    if (height >= 0)
        b.listSheet.height = height;
    return b;
}

} // namespace korvex::printing
