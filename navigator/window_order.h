#pragma once
// Small helpers around windows that the navigator's commands share.

#include "busy_pointer.h"

class QIcon;

namespace korvex::navigator {

using korvex::busyCursorFromFile;
using korvex::BusyPointer;

// The program's icon (a picture beside the executable, else a standard one).
QIcon programIcon();

} // namespace korvex::navigator
