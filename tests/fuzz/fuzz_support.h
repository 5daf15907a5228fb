#pragma once
// What the fuzz targets share: a scratch file per process to hand the input
// to loaders that read files, and checks that end the run like a crash.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace korvex::fuzz {

// A file of this process in the folder scripts/fuzz.sh made for the run (and
// removes after it), else in the temporary folder.
inline QString scratchFile(const char* name) {
    QString dir = qEnvironmentVariable("KORVEX_FUZZ_SCRATCH");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QStringLiteral("%1/korvex-fuzz-%2-%3").arg(dir).arg(::getpid()).arg(QLatin1String(name));
}

inline void writeScratch(const QString& path, const uint8_t* data, size_t size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

// A broken promise of the code under test: reported, then a crash for the
// fuzzer to keep the input.
#define KORVEX_FUZZ_CHECK(condition)                                                               \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

} // namespace korvex::fuzz
