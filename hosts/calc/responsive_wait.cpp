#include "responsive_wait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace korvex::calc {

InputBlocker::InputBlocker() {
    if (onUserInterfaceThread()) {
        QCoreApplication::instance()->installEventFilter(this);
        m_installed = true;
    }
}

InputBlocker::~InputBlocker() {
    if (m_installed)
        QCoreApplication::instance()->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::ContextMenu:
    case QEvent::Close:
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

bool onUserInterfaceThread() {
    const auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void pauseResponsively(std::chrono::milliseconds duration) {
    if (!onUserInterfaceThread()) {
        QThread::msleep(static_cast<unsigned long>(duration.count()));
        return;
    }
    InputBlocker blocker;
    const auto deadline = std::chrono::steady_clock::now() + duration;
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (duration.count() > 0)
            QThread::msleep(10);
    } while (std::chrono::steady_clock::now() < deadline);
}

} // namespace korvex::calc
