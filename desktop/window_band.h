#pragma once
// The always-in-front band of Korvex's windows (the main window and the
// search and replace windows).

class QWidget;

namespace Korvex_M01 {

void SetTopMost(QWidget* window, bool onTop);
// Takes one window out of the always-in-front layer without moving, sizing or
// activating it (a print preview must not open behind it); its flag stays.
void SetNotTopMost(QWidget* window);
// Puts one window into the always-in-front band or takes it out, keeping its
// native window: no unmapping, no flicker, the same window id, and its place,
// size, state and visibility as they were. Windows that change their band go
// through this, never through QWidget::setWindowFlags, which re-creates the
// native window.
void SetStaysOnTop(QWidget* window, bool on);

} // namespace Korvex_M01
