#include "sheet_selection.h"

namespace korvex {

QList<bool> applySelection(SheetSelection command, const QList<bool>& selected, int current) {
    QList<bool> result = selected;
    const int n = int(result.size());
    for (int i = 0; i < n; ++i) {
        switch (command) {
        case SheetSelection::All:
            result[i] = true;
            break;
        case SheetSelection::None:
            result[i] = false;
            break;
        case SheetSelection::OnlyCurrent:
            result[i] = i == current;
            break;
        case SheetSelection::UpToCurrent:
            result[i] = current < 0 || i <= current;
            break;
        case SheetSelection::FromCurrent:
            result[i] = current >= 0 && i >= current;
            break;
        case SheetSelection::Reverse:
            result[i] = !result[i];
            break;
        }
    }
    return result;
}

} // namespace korvex
