#include "responsive_wait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <memory>
#include <utility>
#include <vector>

namespace korvex::calc {

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

// What reaches Korvex's windows while the office is busy and must wait for
// it. The window system's own input stays in its queue meanwhile; input that
// comes another way (posted inside the program) is kept here, in order, and
// so are the window manager's close requests.
class InputHolder : public QObject {
public:
    struct Held {
        QPointer<QObject> target;
        std::unique_ptr<QEvent> event;
    };
    std::vector<Held> input;
    std::vector<QPointer<QObject>> closes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (isUserInput(event->type())) {
            input.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
            event->accept();
            return true;
        }
        if (event->type() != QEvent::Close || !event->spontaneous())
            return QObject::eventFilter(watched, event);
        bool known = false;
        for (const auto& h : closes)
            known = known || h == watched;
        if (!known)
            closes.emplace_back(watched);
        event->ignore();
        return true;
    }
};

InputHolder& inputHolder() {
    static InputHolder* holder = new InputHolder; // lives as long as the process
    return *holder;
}

} // namespace

int PaintingWait::s_depth = 0;

PaintingWait::PaintingWait() {
    if (s_depth++ == 0)
        QCoreApplication::instance()->installEventFilter(&inputHolder());
}

PaintingWait::~PaintingWait() {
    if (--s_depth != 0)
        return;
    QCoreApplication::instance()->removeEventFilter(&inputHolder());
    // The window system's input held back meanwhile (keys, clicks and, on
    // X11, the window manager's close request) is already read into the
    // toolkit's own queue, where nothing else would fetch it before the
    // window system's next event: wake the event loop to deliver it now.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
    auto input = std::exchange(inputHolder().input, {});
    auto closes = std::exchange(inputHolder().closes, {});
    for (auto& held : input)
        if (held.target)
            QCoreApplication::postEvent(held.target.data(), held.event.release());
    // A window's close() asks it again, so a window that refuses to close
    // (a run in progress) still refuses. The request is queued on the
    // application object and made from there: a call queued on a widget's
    // native window is handed on to the widget, where it finds no slot.
    if (!closes.empty())
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [closes = std::move(closes)] {
                for (const auto& target : closes)
                    if (target)
                        QMetaObject::invokeMethod(target.data(), "close", Qt::DirectConnection);
            },
            Qt::QueuedConnection);
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
    PaintingWait wait;
    const auto deadline = std::chrono::steady_clock::now() + duration;
    do {
        wait.paint();
        if (duration.count() > 0)
            QThread::msleep(10);
    } while (std::chrono::steady_clock::now() < deadline);
}

} // namespace korvex::calc
