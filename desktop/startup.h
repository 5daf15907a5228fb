#pragma once
// Start-up and shutdown: paths, the work database check, the progress window,
// compaction and connection, then the main window.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class WorkDatabaseInUse;

class Korvex_F00;

namespace Korvex_M01 {

// Loads the main window without showing it; start-up shows it afterwards.
using MainWindowLoader = std::function<QWidget*()>;

// Exit codes of a start-up that ends before the event loop runs.
constexpr int ExitMissingDatabase = 1; // the fixed E_M01_001 box was shown
constexpr int ExitStartupFailed = 2;   // compaction, connection or loading failed

// True (after the fixed three-line box) when DbFile does not exist.
bool CheckMsgFile();

// The start-up steps after the paths are built: the database check, the
// progress window, compaction, connection and the main window's load. Run()
// leaves the main window shown and returns 0, or ends the start-up (every
// window gone, the work database disconnected) and returns an exit code.
// Failures end in one critical box that gives the reason; nothing is thrown.
class StartupSequence {
public:
    explicit StartupSequence(MainWindowLoader loadMainWindow);
    ~StartupSequence();
    StartupSequence(const StartupSequence&) = delete;
    StartupSequence& operator=(const StartupSequence&) = delete;

    // Called after each step text has been painted in the progress window.
    std::function<void(const QString& stepText)> onStep;
    // Called after the progress window is gone, just before the main window shows.
    std::function<void()> onProgressClosed;

    int Run();

    QWidget* mainWindow() const { return m_main; }
    Korvex_F00* progressWindow() const;

private:
    void step(const QString& text);
    void closeProgress();
    int failStartup(const QString& reason);
    int failInUse(const WorkDatabaseInUse& e);

    MainWindowLoader m_load;
    QPointer<QWidget> m_progress;
    QPointer<QWidget> m_main;
};

// The start-up sequence (InitPaths first); returns the process exit code once
// the event loop ends. Needs a QApplication. The window the loader returns is
// owned by Main, which deletes it (if still there) after the event loop and
// then runs Shutdown.
int Main(const MainWindowLoader& loadMainWindow);

// Shutdown steps shared by the main window's unload: disconnect the work
// database and release (never close) the host.
void Shutdown();

} // namespace Korvex_M01
