#pragma once
// The context menu from the keyboard. Shift+F10 and the Menu key open the
// same menu a right click opens, placed at the view's current item (or its
// top-left corner when there is none), since the pointer may be anywhere.

#include <QPoint>

#include <functional>

class QAbstractItemView;

namespace korvex {

// `show` receives the global position of the menu; it is what the view's
// right click calls too. The view keeps the handler for its lifetime.
void openMenuFromKeyboard(QAbstractItemView* view, std::function<void(const QPoint&)> show);

// Where a menu opened from the keyboard goes on `view`: below the start of
// its current item, in global coordinates.
QPoint keyboardMenuPosition(const QAbstractItemView* view);

} // namespace korvex
