#pragma once
// Starting the desktop's system-information program from the version dialog.
//
// Two look-ups name it, in order: a key that may hold the program's path, and
// a key that may hold a folder in which a known program must exist. The values
// come from a small key-value source; the desktop one reads the INI file
// "korvex/system.ini" in the user's and then the system's configuration
// folders (section = key path, entry = value name). When neither look-up
// yields a program, a known system-information program on the PATH is used.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace korvex::navigator {

// Where machine-wide settings are looked up (on Windows, the registry).
class KeyValueSource {
public:
    virtual ~KeyValueSource() = default;
    // A string value, or nothing when the key or the value is missing.
    virtual std::optional<QString> query(const QString& root, const QString& keyPath,
                                         const QString& valueName) const = 0;
};

// Reads the first of the given INI files that holds the value.
class IniKeyValueSource : public KeyValueSource {
public:
    explicit IniKeyValueSource(QStringList files) : m_files(std::move(files)) {}
    std::optional<QString> query(const QString& root, const QString& keyPath,
                                 const QString& valueName) const override;
    // The user's and the system's "korvex/system.ini".
    static QStringList desktopFiles();

private:
    QStringList m_files;
};

// The two look-ups.
constexpr const char* RootLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr const char* ProgramKey = "SOFTWARE/Korvex/SystemInformation";
constexpr const char* ProgramValue = "PATH";
constexpr const char* FolderKey = "SOFTWARE/Korvex/SystemInformation Location";
constexpr const char* FolderValue = "FOLDER";

// Programs known to show system information, in order of preference.
QStringList knownSystemInfoPrograms();

// The value named, as text, or "" and false when it cannot be read.
bool GetKeyValue(const KeyValueSource& source, const QString& KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal);

// What starting a program needs from the platform; replaced in tests.
struct SysInfoPlatform {
    std::function<bool(const QString& program)> start; // false when it did not start
    std::function<bool(const QString& path)> fileExists;
    std::function<QString(const QString& name)> findOnPath; // "" when not found
    static SysInfoPlatform desktop();
};

// The program to start, or "" when none can be found.
QString findSystemInfoProgram(const KeyValueSource& source, const SysInfoPlatform& platform);

// Starts the program; on any failure shows "現時点ではｼｽﾃﾑ情報を使用できません".
// Returns true when a program was started.
bool StartSysInfo(const KeyValueSource& source, const SysInfoPlatform& platform);

} // namespace korvex::navigator
