#pragma once
// The dialog seam's real implementation: Qt message boxes with Japanese
// buttons, the file dialog, a font dialog with a colour, modal dialogs run with
// exec() and the system beep.

#include "dialog_seam.h"

namespace korvex {

// The real dialogs, whether or not they are the seam in force.
DialogSeam& desktopUi();
// Makes the real dialogs the seam in force; the program does this first thing.
void installDesktopUi();

// Korvex speaks Japanese whatever the desktop's locale says: the default
// locale becomes Japanese and Qt's own dialog texts are loaded in Japanese.
// Called once the application object exists; calling it again does nothing.
void useJapanese();

} // namespace korvex
