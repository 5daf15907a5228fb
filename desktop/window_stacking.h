#pragma once
// Putting the office's window for a book where the user can see it without
// losing Korvex: in front of the office's other windows, directly behind the
// Korvex window in use, and without the keyboard focus.

#include <QtGlobal>

class QWidget;

namespace korvex {

// Stacks the foreign top-level window `handle` (or the managed window that
// holds it) below `korvexWindow`'s top-level window and below Korvex's other
// windows on screen, which keep their order among themselves (the window in
// use stays on top): bringing a book forward buries none of them. Does nothing
// where the platform has no such windows (offscreen runs); false then.
bool stackBehind(quintptr handle, const QWidget* korvexWindow);

// Makes every book Korvex activates come forward behind Korvex's active
// window (Korvex_M02::SetBookWindowPlacer).
void installBookWindowStacking();

} // namespace korvex
