#include "window_band.h"

#include "app_state.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace Korvex_M01 {

void SetStaysOnTop(QWidget* window, bool on) {
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

void SetTopMost(QWidget* window, bool onTop) {
    // The steps of the re-ordering are recorded first and then applied
    // with as few window-system requests as possible: each window gets its
    // final always-in-front state once (flipping it off and on again would
    // make the window manager restack the windows twice), then the windows are
    // raised in the order the steps put them in front, so the one being
    // changed ends up above the others.
    struct Step {
        QWidget* w;
        bool on;
    };
    QList<Step> steps;
    const bool f02 = F02_Loaded && F02_TopMost;
    const bool f03 = F03_Loaded && F03_TopMost;
    if (F01_TopMost)
        steps.append({F01_hWnd, false});
    if (f02)
        steps.append({F02_hWnd, false});
    if (f03)
        steps.append({F03_hWnd, false});

    bool known = true;
    if (window && window == F01_hWnd) {
        if (f02)
            steps.append({F02_hWnd, true});
        if (f03)
            steps.append({F03_hWnd, true});
    } else if (window && window == F02_hWnd) {
        if (F01_TopMost)
            steps.append({F01_hWnd, true});
        if (f03)
            steps.append({F03_hWnd, true});
    } else if (window && window == F03_hWnd) {
        if (F01_TopMost)
            steps.append({F01_hWnd, true});
        if (f02)
            steps.append({F02_hWnd, true});
    } else {
        known = false;
    }
    if (known && onTop)
        steps.append({window, true});

    // A window touched by the steps but left off top comes first (it is raised
    // within the normal windows), then the always-in-front ones in step order.
    if (known && !onTop && window)
        steps.prepend({window, false});

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
        SetStaysOnTop(w, steps.at(i).on);
        order.append(w);
    }
    for (const QPointer<QWidget>& w : std::as_const(order)) {
        if (w && w->isVisible())
            w->raise();
    }
}

void SetNotTopMost(QWidget* window) {
    SetStaysOnTop(window, false);
}

} // namespace Korvex_M01
