#pragma once
// Small helpers around windows that the navigator's commands share.

#include "busy_pointer.h"

class QIcon;
class QWidget;

namespace korvex::navigator {

// Takes a window out of the always-in-front band and shows it, without
// activating it or changing its position and size.
void leaveTopBand(QWidget* window);

using korvex::busyCursorFromFile;
using korvex::BusyPointer;

// The program's icon (a picture beside the executable, else a standard one).
QIcon programIcon();

} // namespace korvex::navigator
