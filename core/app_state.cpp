#include "app_state.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace Korvex_M01 {

QString IniFile;
QString DbFile;
QString GrxFile;
QString PrnFile;
QString HelpFile;

bool F01_TopMost = false;
bool F02_TopMost = false;
bool F03_TopMost = false;
bool F02_Loaded = false;
bool F03_Loaded = false;
QWidget* F01_hWnd = nullptr;
QWidget* F02_hWnd = nullptr;
QWidget* F03_hWnd = nullptr;

namespace {
QString g_exeFolder;
QString g_exeBaseName;
} // namespace

void InitPaths() {
    InitPaths(QCoreApplication::applicationFilePath());
}

void InitPaths(const QString& executablePath) {
    const QFileInfo exe(executablePath);
    // The base name drops only the last suffix ("korvex.bin" -> "korvex"), so a
    // renamed copy of the program gets its own settings and database.
    g_exeFolder = exe.absolutePath();
    g_exeBaseName = exe.completeBaseName();
    const QString stem = g_exeFolder + QLatin1Char('/') + g_exeBaseName;

    IniFile = stem + QStringLiteral(".ini");
    DbFile = stem + QStringLiteral(".mdb");
    F01_TopMost = false;
    F02_TopMost = false;
    F03_TopMost = false;
    F02_Loaded = false;
    F03_Loaded = false;
    GrxFile = stem + QStringLiteral(".grx");
    PrnFile = stem + QStringLiteral(".prn");

    HelpFile = stem + QStringLiteral(".hlp");
    if (!QFileInfo::exists(HelpFile))
        HelpFile = g_exeFolder + QStringLiteral("/Help/") + g_exeBaseName + QStringLiteral(".hlp");
}

QString ExeFolder() {
    return g_exeFolder;
}

QString ExeBaseName() {
    return g_exeBaseName;
}

QString VersionText(int major, int minor, int revision) {
    return QStringLiteral("Version %1.%2.%3")
        .arg(major)
        .arg(minor, 2, 10, QLatin1Char('0'))
        .arg(revision, 2, 10, QLatin1Char('0'));
}

QString VersionText() {
    return VersionText(KORVEX_VERSION_MAJOR, KORVEX_VERSION_MINOR, KORVEX_VERSION_REVISION);
}

} // namespace Korvex_M01

namespace Korvex_M02 {
// Shutdown() lets go of the host while its runtime still runs. An exit()
// that bypasses it (Qt ends the process so when the display server goes
// away) would otherwise release the host's objects among static
// destructors, after the office's client libraries were torn down, and crash
// instead of ending.
korvex::host::ApplicationPtr& ExcelApp = *new korvex::host::ApplicationPtr;
} // namespace Korvex_M02
