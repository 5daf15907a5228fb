#pragma once
// Start-up and shutdown: paths, the work database check, the progress window,
// compaction and connection, then the main window.

#include <QString>

#include <functional>

class QWidget;

namespace Korvex_M01 {

// Loads the main window without showing it; start-up shows it afterwards.
using MainWindowLoader = std::function<QWidget*()>;

// True (after the fixed three-line box) when DbFile does not exist.
bool CheckMsgFile();

// The start-up sequence (InitPaths first); returns the process exit code once
// the event loop ends. Needs a QApplication.
int Main(const MainWindowLoader& loadMainWindow);

// Shutdown steps shared by the main window's unload: disconnect the work
// database and release (never close) the host.
void Shutdown();

} // namespace Korvex_M01
