#pragma once
// What the search and replace window's files share for building and placing
// their controls: design places are in twips, the widgets' in pixels.

#include "result_table.h"
#include "window_mode.h"

#include <QString>
#include <QWidget>

namespace korvex::findreplace {

inline void place(QWidget* w, const Box& b) {
    w->setGeometry(toPixels(b.left), toPixels(b.top), toPixels(b.width), toPixels(b.height));
}

inline Box boxOf(const QWidget* w) {
    return {toTwips(w->x()), toTwips(w->y()), toTwips(w->width()), toTwips(w->height())};
}

inline QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

inline ResultKind resultKind(const WindowMode& mode) {
    return mode.isReplace() ? ResultKind::Replace : ResultKind::Search;
}

} // namespace korvex::findreplace
