#include "print_logic.h"

namespace korvex::printing {

QList<bool> applySelection(SelectionCommand command, const QList<bool>& selected, int current) {
    QList<bool> result = selected;
    const int n = int(result.size());
    for (int i = 0; i < n; ++i) {
        switch (command) {
        case SelectionCommand::SelAll:
            result[i] = true;
            break;
        case SelectionCommand::SelCancel:
            result[i] = false;
            break;
        case SelectionCommand::Before:
            result[i] = current < 0 || i <= current;
            break;
        case SelectionCommand::After:
            result[i] = current >= 0 && i >= current;
            break;
        case SelectionCommand::Reversal:
            result[i] = !result[i];
            break;
        }
    }
    return result;
}

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
