#include "replace_window.h"

Korvex_F03::Korvex_F03(QWidget* parent)
    : FindReplaceWindow(korvex::findreplace::ReplaceMode, parent) {}
