#pragma once
// What the search and replace window's files share for building and placing
// their controls: design places are in twips, the widgets' in pixels.

#include "result_table.h"
#include "window_geometry.h"
#include "window_mode.h"

#include <QString>
#include <QWidget>

namespace korvex::findreplace {

using korvex::boxOf;
using korvex::place;

inline QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

inline ResultKind resultKind(const WindowMode& mode) {
    return mode.isReplace() ? ResultKind::Replace : ResultKind::Search;
}

} // namespace korvex::findreplace
