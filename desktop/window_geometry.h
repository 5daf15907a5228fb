#pragma once
// Window and control geometry kept in the settings file, in twips, one
// section per window; and the smallest outer size a window may be dragged to.

#include "twips.h"

#include <QSize>
#include <QString>

#include <functional>

class QWidget;

namespace Korvex_M01 {

// The settings section of a window: its object name, else its class name.
QString SettingsSection(const QWidget* window);

void SaveFormPos(QWidget* window, bool withSize);
void LoadFormPos(QWidget* window, bool withSize);
void SaveCtlPos(QWidget* window, QWidget* control);
void LoadCtlPos(QWidget* window, QWidget* control);

} // namespace Korvex_M01

namespace korvex {

// A control's place in design twips, and placing a control at design twips:
// windows lay out in twips and Qt places in pixels.
Box boxOf(const QWidget* w);
void place(QWidget* w, const Box& b);

// Keeps `window` at least `minimumOuterTwips` from frame edge to frame edge,
// plus `extraHeight()` pixels when given (a line shown on demand). The frame
// the window manager adds is only known once the window is shown, so the
// minimum is worked out again whenever the window is shown or resized; call
// the returned function after changing what extraHeight counts.
std::function<void()> keepMinimumOuterSize(QWidget* window, QSize minimumOuterTwips,
                                           std::function<int()> extraHeight = {});

} // namespace korvex
