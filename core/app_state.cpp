#include "app_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace Korvex_M01 {

QString IniFile;
QString DbFile;
QString GrxFile;
QString PrnFile;
QString HelpFile;

namespace {
QString g_exeFolder;
QString g_exeBaseName;
ProgramPaths g_paths;

// An XDG base folder: the variable when it holds an absolute path, otherwise
// the given place under the home folder (relative values are to be ignored).
QString xdgFolder(const QString& value, const QString& home, const char* fallback) {
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(home + QLatin1Char('/') + QLatin1String(fallback));
}
} // namespace

ProgramPaths ChoosePaths(const PathInputs& in) {
    const QFileInfo exe(in.executablePath);
    // The base name drops only the last suffix ("korvex.bin" -> "korvex"), so a
    // renamed copy of the program gets its own settings and database.
    const QString folder = exe.absolutePath();
    const QString base = exe.completeBaseName();
    ProgramPaths p;
    p.portable = in.folderWritable;
    if (p.portable) {
        p.iniFile = folder + QLatin1Char('/') + base + QStringLiteral(".ini");
        p.dataFolder = folder;
        p.resourceFolder = folder;
        p.templateDb = folder + QLatin1Char('/') + base + QStringLiteral(".mdb");
    } else {
        const QString config = xdgFolder(in.configHome, in.home, ".config");
        p.iniFile = config + QStringLiteral("/korvex/") + base + QStringLiteral(".ini");
        p.dataFolder = xdgFolder(in.dataHome, in.home, ".local/share") + QStringLiteral("/korvex");
        p.resourceFolder = QDir::cleanPath(folder + QStringLiteral("/../share/korvex"));
        p.templateDb = p.resourceFolder + QStringLiteral("/korvex.mdb");
    }
    const QString stem = p.dataFolder + QLatin1Char('/') + base;
    p.dbFile = stem + QStringLiteral(".mdb");
    p.grxFile = stem + QStringLiteral(".grx");
    p.prnFile = stem + QStringLiteral(".prn");
    return p;
}

PathInputs PathInputsFor(const QString& executablePath) {
    PathInputs in;
    in.executablePath = executablePath;
    const QString folder = QFileInfo(executablePath).absolutePath();
    const bool system =
        folder == QLatin1String("/usr") || folder.startsWith(QLatin1String("/usr/"));
    in.folderWritable = !system && ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
    in.home = qEnvironmentVariable("HOME", QDir::homePath());
    in.configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    in.dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    return in;
}

void InitPaths() {
    InitPaths(QCoreApplication::applicationFilePath());
}

void InitPaths(const QString& executablePath) {
    InitPaths(PathInputsFor(executablePath));
}

void InitPaths(const PathInputs& in) {
    const QFileInfo exe(in.executablePath);
    g_exeFolder = exe.absolutePath();
    g_exeBaseName = exe.completeBaseName();
    g_paths = ChoosePaths(in);

    IniFile = g_paths.iniFile;
    DbFile = g_paths.dbFile;
    GrxFile = g_paths.grxFile;
    PrnFile = g_paths.prnFile;

    const QString res = g_paths.resourceFolder;
    HelpFile = res + QLatin1Char('/') + g_exeBaseName + QStringLiteral(".hlp");
    if (!QFileInfo::exists(HelpFile)) {
        // An installed copy under another name still finds the one help book.
        HelpFile = g_paths.portable
                       ? res + QStringLiteral("/Help/") + g_exeBaseName + QStringLiteral(".hlp")
                       : res + QStringLiteral("/korvex.hlp");
    }
}

const ProgramPaths& Paths() {
    return g_paths;
}

bool PrepareUserFiles(QString* error) {
    if (g_paths.portable)
        return true;
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QString configFolder = QFileInfo(g_paths.iniFile).absolutePath();
    for (const QString& folder : {configFolder, g_paths.dataFolder}) {
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("フォルダ %1 を作成できません。").arg(folder));
    }
    if (QFileInfo::exists(g_paths.dbFile) || !QFileInfo::exists(g_paths.templateDb))
        return true; // a missing template is reported by the database check
    // QFile::copy writes a temporary file and renames it: a copy cut short
    // never leaves a half database behind.
    if (!QFile::copy(g_paths.templateDb, g_paths.dbFile))
        return fail(QStringLiteral("%1 を %2 にコピーできません。")
                        .arg(g_paths.templateDb, g_paths.dbFile));
    QFile::setPermissions(g_paths.dbFile, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString DefaultOpenFolder() {
    return g_paths.portable ? g_exeFolder : QDir::homePath();
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
