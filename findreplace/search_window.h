#pragma once
// Korvex_F02, the search window ("Korvex 検索"). Opened modeless and without
// owner by the main window, at most once.

#include "find_replace_window.h"

class Korvex_F02 : public korvex::findreplace::FindReplaceWindow {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = korvex::findreplace::SearchMode.objectName;
    static constexpr const char* Caption = korvex::findreplace::SearchMode.caption;

    explicit Korvex_F02(QWidget* parent = nullptr);
};
