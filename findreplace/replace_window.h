#pragma once
// Korvex_F03, the replace window ("Korvex 置換"): the search window with a
// replacement text and without the look-in option. Opened modeless and without
// owner by the main window, at most once.

#include "find_replace_window.h"

class Korvex_F03 : public korvex::findreplace::FindReplaceWindow {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = korvex::findreplace::ReplaceMode.objectName;
    static constexpr const char* Caption = korvex::findreplace::ReplaceMode.caption;

    explicit Korvex_F03(QWidget* parent = nullptr);
};
