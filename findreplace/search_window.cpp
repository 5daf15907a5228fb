#include "search_window.h"

Korvex_F02::Korvex_F02(QWidget* parent)
    : FindReplaceWindow(korvex::findreplace::SearchMode, parent) {}
