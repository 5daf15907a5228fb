#pragma once
// Process-wide state shared by every window: the program's file paths, the one
// work database connection, the host reference and the window-state flags.

#include "host.h"

#include <QString>

class QWidget;

namespace Korvex_M01 {

// Paths of the program's files, beside the executable and named after it.
extern QString IniFile;
extern QString DbFile;
extern QString GrxFile;
extern QString PrnFile;
extern QString HelpFile;

// Window-state flags (always-in-front and loaded) and the windows themselves.
extern bool F01_TopMost;
extern bool F02_TopMost;
extern bool F03_TopMost;
extern bool F02_Loaded;
extern bool F03_Loaded;
extern QWidget* F01_hWnd;
extern QWidget* F02_hWnd;
extern QWidget* F03_hWnd;

// Builds the paths from the executable's folder and base name and clears the
// flags. The overload takes the executable path explicitly (tests, copies).
void InitPaths();
void InitPaths(const QString& executablePath);

// Folder of the executable (no trailing separator) and its base name.
QString ExeFolder();
QString ExeBaseName();

// "Version 1.10.01": major as is, minor and revision with two digits. Without
// arguments, the program's own version.
QString VersionText(int major, int minor, int revision);
QString VersionText();

} // namespace Korvex_M01

namespace Korvex_M02 {
// The host in use; empty until attached. Cleared at shutdown, never closed.
// Never destroyed either: see app_state.cpp.
extern korvex::host::ApplicationPtr& ExcelApp;
} // namespace Korvex_M02
