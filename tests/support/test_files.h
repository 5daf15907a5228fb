#pragma once
// Files a test reads and writes whole, a program folder of its own, and the
// resources the build ships (KORVEX_RESOURCE_DIR), above all the message
// catalogue a work database is seeded with.

#include "app_state.h"
#include "messages.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

namespace korvex::test {

// The file's bytes; empty when it cannot be read.
inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes the file whole, making its folder first. A file the test cannot
// write stops the test program: every check after it would be about nothing.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A fresh temporary folder the program's files (settings, work database,
// layouts) are placed in, as if the program "korvex" lay there.
class ProgramFolder : public QTemporaryDir {
public:
    ProgramFolder() {
        if (!isValid())
            qFatal("no temporary folder");
        Korvex_M01::InitPaths(filePath(QStringLiteral("korvex")));
    }
};

inline QString resourcePath(const QString& name) {
    return qEnvironmentVariable("KORVEX_RESOURCE_DIR") + QLatin1Char('/') + name;
}

// The script the build seeds the message catalogue with; empty when missing.
inline QString catalogueScript() {
    return QString::fromUtf8(readAll(resourcePath(QStringLiteral("messages.sql"))));
}

// Seeds the connection's catalogue as the build does; false when the script
// is missing.
inline bool seedCatalogue(QSqlDatabase db) {
    const QString script = catalogueScript();
    if (script.isEmpty())
        return false;
    korvex::SeedCatalogue(db, script);
    return true;
}

} // namespace korvex::test
