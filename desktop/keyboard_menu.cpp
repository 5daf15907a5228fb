#include "keyboard_menu.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QKeyEvent>

namespace korvex {

namespace {

class KeyboardMenu : public QObject {
public:
    KeyboardMenu(QAbstractItemView* view, std::function<void(const QPoint&)> show)
        : QObject(view), m_view(view), m_show(std::move(show)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_view)
            return false;
        if (event->type() == QEvent::ContextMenu &&
            static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
            // The window system turns the Menu key into this event and then
            // delivers the key itself; one menu is enough.
            m_menuKeyAnswered = true;
            m_show(keyboardMenuPosition(m_view));
            return true;
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool menuKey = key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier;
        const bool shiftF10 = key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier;
        if (!menuKey && !shiftF10) {
            m_menuKeyAnswered = false;
            return false;
        }
        if (!(menuKey && m_menuKeyAnswered))
            m_show(keyboardMenuPosition(m_view));
        m_menuKeyAnswered = false;
        return true;
    }

private:
    QAbstractItemView* m_view;
    std::function<void(const QPoint&)> m_show;
    bool m_menuKeyAnswered = false;
};

} // namespace

QPoint keyboardMenuPosition(const QAbstractItemView* view) {
    const QModelIndex current = view->currentIndex();
    const QRect item = current.isValid() ? view->visualRect(current) : QRect();
    const QRect visible = view->viewport()->rect();
    QPoint at = item.isValid() && visible.intersects(item) ? item.bottomLeft() : visible.topLeft();
    at.setY(std::min(at.y(), visible.bottom()));
    return view->viewport()->mapToGlobal(at);
}

void openMenuFromKeyboard(QAbstractItemView* view, std::function<void(const QPoint&)> show) {
    view->installEventFilter(new KeyboardMenu(view, std::move(show)));
}

} // namespace korvex
