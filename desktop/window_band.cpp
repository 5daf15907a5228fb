#include "window_band.h"

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QWidget>
#include <QWindow>

namespace korvex {

WindowBand& WindowBand::instance() {
    // Never destroyed: windows still being torn down at exit may leave it.
    static WindowBand* band = new WindowBand;
    return *band;
}

void WindowBand::setWindow(BandWindow which, QWidget* window) {
    Slot& s = slot(which);
    if (s.window == window)
        return;
    s.window = window;
    if (!window)
        return;
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this, which](QObject* gone) {
        // A widget signals its end before its guards are cleared.
        Slot& s = slot(which);
        if (!s.window || static_cast<QObject*>(s.window.data()) == gone)
            s = Slot();
    });
}

void WindowBand::release(QWidget* window) {
    for (Slot& s : m_slots) {
        if (window && s.window == window)
            s = Slot();
    }
}

QWidget* WindowBand::window(BandWindow which) const {
    return slot(which).window;
}

bool WindowBand::loaded(BandWindow which) const {
    const Slot& s = slot(which);
    return which == BandWindow::Main ? !s.window.isNull() : s.loaded;
}

void WindowBand::setLoaded(BandWindow which, bool loaded) {
    slot(which).loaded = loaded;
}

bool WindowBand::inFront(BandWindow which) const {
    return slot(which).inFront;
}

void WindowBand::setInFront(BandWindow which, bool on) {
    arrange(window(which), on);
    slot(which).inFront = on;
}

std::optional<BandWindow> WindowBand::owner(const QWidget* widget) const {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        for (BandWindow which : All) {
            if (slot(which).window == w)
                return which;
        }
    }
    return std::nullopt;
}

QWidget* WindowBand::messageParent() const {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    // The office in front: the box goes over the Korvex window last used,
    // where the user's request came from.
    if (m_lastUsed)
        return m_lastUsed;
    return window(BandWindow::Main);
}

void WindowBand::reset() {
    for (Slot& s : m_slots) {
        if (s.window)
            s.window->removeEventFilter(this);
        s = Slot();
    }
    m_lastUsed = nullptr;
    m_steppedOut = 0;
}

bool WindowBand::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate && watched->isWidgetType())
        m_lastUsed = static_cast<QWidget*>(watched);
    return QObject::eventFilter(watched, event);
}

bool WindowBand::held(BandWindow which) const {
    return loaded(which) && inFront(which);
}

void WindowBand::arrange(QWidget* window, bool onTop) {
    // Every window in front leaves the layer; all but `window` come back
    // in a fixed order (main, search, replace, folder), and `window` last, when it is
    // to be in front, so that it ends up above the others. The steps are
    // recorded first and then applied with as few window-system requests as
    // possible: each window gets its final state once (flipping it off and on
    // again would make the window manager restack the windows twice), then
    // the windows are raised in the order the steps put them in front.
    struct Step {
        QWidget* w;
        bool on;
    };
    // The main window is held while it is there.
    QList<Step> steps;
    for (BandWindow each : All) {
        if (held(each))
            steps.append({this->window(each), false});
    }

    const std::optional<BandWindow> which = window ? owner(window) : std::optional<BandWindow>();
    const bool known = which && this->window(*which) == window;
    if (known) {
        for (BandWindow each : All) {
            if (each != *which && held(each))
                steps.append({this->window(each), true});
        }
        // A window leaving the front comes first (it is raised within the
        // normal windows), then the ones in front in step order.
        if (onTop)
            steps.append({window, true});
        else
            steps.prepend({window, false});
    }

    QList<QPointer<QWidget>> order;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        QWidget* w = steps.at(i).w;
        if (!w)
            continue;
        bool last = true;
        for (qsizetype j = i + 1; j < steps.size(); ++j)
            last = last && steps.at(j).w != w;
        if (!last)
            continue;
        setStaysOnTop(w, steps.at(i).on);
        order.append(w);
    }
    for (const QPointer<QWidget>& w : std::as_const(order)) {
        if (w && w->isVisible())
            w->raise();
    }
}

WindowBand::StepOut::StepOut(const QWidget* owner) {
    WindowBand& band = instance();
    m_front = band.owner(owner).value_or(BandWindow::Main);
    if (!band.window(m_front)) {
        for (BandWindow which : All) {
            if (band.window(which)) {
                m_front = which;
                break;
            }
        }
    }
    m_outermost = band.m_steppedOut++ == 0;
    if (!m_outermost)
        return;
    for (BandWindow which : All) {
        if (band.loaded(which))
            setStaysOnTop(band.window(which), false);
    }
}

WindowBand::StepOut::~StepOut() {
    WindowBand& band = instance();
    if (band.m_steppedOut > 0)
        --band.m_steppedOut;
    if (m_outermost)
        band.arrange(band.window(m_front), band.inFront(m_front));
}

void setStaysOnTop(QWidget* window, bool on) {
    if (!window)
        return;
    Qt::WindowFlags flags = window->windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (QWindow* native = window->windowHandle()) {
        // The widget keeps its own record of the flags; the native window
        // takes the change as it is (on X11 a _NET_WM_STATE_ABOVE request to
        // the window manager).
        window->overrideWindowFlags(flags);
        native->setFlags(flags);
    } else {
        window->setWindowFlags(flags); // no native window yet: nothing to re-create
    }
}

} // namespace korvex
