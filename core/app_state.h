#pragma once
// Process-wide state shared by every window: the program's file paths and the
// host reference. The windows themselves are the desktop's (window_band.h).

#include "host.h"

#include <QString>

namespace Korvex_M01 {

// Paths of the program's files, named after the executable: beside it when its
// folder is writable (the build folder, a portable copy), otherwise in the
// user's XDG folders (see ChoosePaths).
extern QString IniFile;
extern QString DbFile;
extern QString GrxFile;
extern QString PrnFile;
extern QString HelpFile;

// What the choice of folders depends on; InitPaths fills it from the process
// environment, tests fill it by hand.
struct PathInputs {
    QString executablePath;
    bool folderWritable = true; // may Korvex write beside the executable?
    QString home;               // $HOME
    QString configHome;         // $XDG_CONFIG_HOME (may be empty)
    QString dataHome;           // $XDG_DATA_HOME (may be empty)
};

struct ProgramPaths {
    bool portable = true; // files beside the executable
    QString iniFile;
    QString dataFolder; // holds the work database, grid layout and print settings
    QString dbFile;
    QString grxFile;
    QString prnFile;
    QString resourceFolder; // read-only files: help, icons, the database template
    QString templateDb;     // copied to dbFile on an installed program's first start
};

// Portable when the executable's folder is writable. Otherwise settings go to
// <config>/korvex/<base>.ini and the rest to <data>/korvex/<base>.*, with the
// read-only files in <prefix>/share/korvex beside the prefix's bin folder.
ProgramPaths ChoosePaths(const PathInputs& in);

// Inputs for an executable from this process's environment. A folder under
// /usr counts as not writable even for the super-user: nothing is written
// into an installed program's folders at run time.
PathInputs PathInputsFor(const QString& executablePath);

// Builds the paths. The overloads take the executable
// path or the whole input explicitly (tests, copies).
void InitPaths();
void InitPaths(const QString& executablePath);
void InitPaths(const PathInputs& in);

// The paths InitPaths chose.
const ProgramPaths& Paths();

// An installed program's first start: makes the user's folders and copies the
// database template when the user has no work database yet (an existing one
// is never touched). Nothing to do for a portable program. False, with the
// reason, when the folders cannot be made or the copy fails.
bool PrepareUserFiles(QString* error = nullptr);

// Where the open dialog starts before the user has chosen a folder.
QString DefaultOpenFolder();

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
