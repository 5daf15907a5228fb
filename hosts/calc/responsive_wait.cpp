#include "responsive_wait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <vector>

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

namespace {

bool isUserInput(QEvent::Type type) {
    switch (type) {
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
        return true;
    default:
        return false;
    }
}

} // namespace

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
    if (isUserInput(event->type()) || event->type() == QEvent::Close)
        return true;
    return QObject::eventFilter(watched, event);
}

namespace {

// Close requests the window manager sent while the office was busy, in order.
// The window system's own input waits in its queue meanwhile; input made up
// inside the program and posted (which that queue does not hold) is dropped,
// as nothing the user does may start while the office is busy.
class CloseHolder : public QObject {
public:
    std::vector<QPointer<QObject>> held;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (isUserInput(event->type()))
            return true;
        if (event->type() != QEvent::Close || !event->spontaneous())
            return QObject::eventFilter(watched, event);
        bool known = false;
        for (const auto& h : held)
            known = known || h == watched;
        if (!known)
            held.emplace_back(watched);
        event->ignore();
        return true;
    }
};

CloseHolder& closeHolder() {
    static CloseHolder* holder = new CloseHolder; // lives as long as the process
    return *holder;
}

} // namespace

int PaintingWait::s_depth = 0;

PaintingWait::PaintingWait() {
    if (s_depth++ == 0)
        QCoreApplication::instance()->installEventFilter(&closeHolder());
}

PaintingWait::~PaintingWait() {
    if (--s_depth != 0)
        return;
    QCoreApplication::instance()->removeEventFilter(&closeHolder());
    std::vector<QPointer<QObject>> held;
    held.swap(closeHolder().held);
    // A window's close() asks it again, so a window that refuses to close
    // (a run in progress) still refuses.
    for (const auto& target : held)
        if (target)
            QMetaObject::invokeMethod(target.data(), "close", Qt::QueuedConnection);
}

void PaintingWait::paint() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
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
