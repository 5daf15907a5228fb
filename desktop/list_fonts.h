#pragma once
// The lists' fonts and text colours: kept in the settings file per window,
// chosen by the user through the font dialog.

#include <QFont>

class QWidget;

namespace Korvex_M01 {

void SaveFont(QWidget* window, QWidget* control);
void LoadFont(QWidget* window, QWidget* control);
// True when the user confirmed a font (applied to the control); false on cancel.
bool SelectFont(QWidget* control);
// The lists' design font: the desktop's size in a family that holds Latin and
// Japanese letters alike. With a Latin-only family Japanese names fall back to
// a taller font and their rows come out higher than the others.
QFont ListFont();

} // namespace Korvex_M01
