#pragma once
// Messages shown to the user: looked up by identifier in the catalogue table of
// the work database and shown in a box titled "Korvex".

#include <QString>

class QWidget;

namespace Korvex_M01 {

// Shows the catalogue message; an unknown identifier beeps and shows the bare
// identifier with OK and Cancel. Returns the button pressed (callers ignore it).
int ShowMsg(const QString& messageId, QWidget* parent = nullptr);
// A message box titled "Korvex"; the help file is used only with a context.
int MsgBoxEx(const QString& prompt, int buttons, const QString& helpFile = QString(),
             const int* helpContext = nullptr, QWidget* parent = nullptr);

} // namespace Korvex_M01
