#include "system_info.h"

#include "messages.h"
#include "settings.h"
#include "ui_seam.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace korvex::navigator {

std::optional<QString> IniKeyValueSource::query(const QString& root, const QString& keyPath,
                                                const QString& valueName) const {
    // Only the machine-wide root is kept; it is the one the look-ups use.
    if (root != QLatin1String(RootLocalMachine))
        return std::nullopt;
    // A value that cannot be missing from a real entry marks "not there".
    static const QString absent = QStringLiteral("\x01absent\x01");
    for (const QString& file : m_files) {
        if (!QFileInfo::exists(file))
            continue;
        const QString value = korvex::IniFile(file).readString(keyPath, valueName, absent, 1024);
        if (value != absent)
            return value.trimmed();
    }
    return std::nullopt;
}

QStringList IniKeyValueSource::desktopFiles() {
    QStringList files;
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!user.isEmpty())
        files << user + QStringLiteral("/korvex/system.ini");
    files << QStringLiteral("/etc/xdg/korvex/system.ini");
    return files;
}

QStringList knownSystemInfoPrograms() {
    return {QStringLiteral("hardinfo2"),
            QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),
            QStringLiteral("gnome-system-monitor"),
            QStringLiteral("mate-system-monitor"),
            QStringLiteral("xfce4-taskmanager"),
            QStringLiteral("lxtask")};
}

bool GetKeyValue(const KeyValueSource& source, const QString& KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal) {
    const std::optional<QString> value = source.query(KeyRoot, KeyName, SubKeyRef);
    if (!value) {
        KeyVal.clear();
        return false;
    }
    QString text = *value;
    if (text.endsWith(QChar(0)))
        text.chop(1);
    KeyVal = text;
    return true;
}

SysInfoPlatform SysInfoPlatform::desktop() {
    SysInfoPlatform p;
    p.start = [](const QString& program) { return QProcess::startDetached(program, {}); };
    p.fileExists = [](const QString& path) { return QFileInfo(path).isFile(); };
    p.findOnPath = [](const QString& name) { return QStandardPaths::findExecutable(name); };
    return p;
}

QString findSystemInfoProgram(const KeyValueSource& source, const SysInfoPlatform& platform) {
    const QString root = QString::fromLatin1(RootLocalMachine);
    QString value;
    // A named program is taken as it stands, even when nothing is there: the
    // start then fails and says so.
    if (GetKeyValue(source, root, QString::fromLatin1(ProgramKey),
                    QString::fromLatin1(ProgramValue), value))
        return value;
    if (GetKeyValue(source, root, QString::fromLatin1(FolderKey), QString::fromLatin1(FolderValue),
                    value) &&
        !value.isEmpty()) {
        const QString folder = QDir::cleanPath(value);
        for (const QString& name : knownSystemInfoPrograms()) {
            const QString candidate = folder + QLatin1Char('/') + name;
            if (platform.fileExists(candidate))
                return candidate;
        }
    }
    for (const QString& name : knownSystemInfoPrograms()) {
        const QString found = platform.findOnPath(name);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

bool StartSysInfo(const KeyValueSource& source, const SysInfoPlatform& platform) {
    bool started = false;
    try {
        const QString program = findSystemInfoProgram(source, platform);
        started = !program.isEmpty() && platform.start(program);
    } catch (...) {
        started = false;
    }
    if (!started)
        Korvex_M01::MsgBoxEx(QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"),
                             korvex::mb::OkOnly);
    return started;
}

} // namespace korvex::navigator
