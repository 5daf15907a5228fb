// Build tool: makes the work database beside the executable from the catalogue
// seed, or refreshes the catalogue in one that exists. The result tables of an
// existing file and their rows are never touched.
//
// usage: korvex_seedtool <work database> <seed script>

#include "messages.h"
#include "work_database.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <exception>

namespace {

int report(const QString& text) {
    QTextStream(stderr) << "korvex_seedtool: " << text << Qt::endl;
    return 1;
}

void seedInto(const QString& path, const QString& script) {
    Korvex_C01 db;
    db.Connect(path);
    QSqlDatabase conn = db.DBase();
    korvex::SeedCatalogue(conn, script);
    conn = QSqlDatabase();
    db.DisConnect();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return report(QStringLiteral("usage: korvex_seedtool <work database> <seed script>"));
    const QString dbPath = args.at(1);
    const QString seedPath = args.at(2);

    QFile seedFile(seedPath);
    if (!seedFile.open(QIODevice::ReadOnly))
        return report(QStringLiteral("cannot read %1: %2").arg(seedPath, seedFile.errorString()));
    const QString script = QString::fromUtf8(seedFile.readAll());

    try {
        if (QFileInfo::exists(dbPath)) {
            seedInto(dbPath, script);
            return 0;
        }
        // A new file is built under another name and moved into place only when
        // complete, so an interrupted build never leaves a half-made database.
        const QString building = dbPath + QStringLiteral(".building");
        QFile::remove(building);
        {
            QFile empty(building);
            if (!empty.open(QIODevice::WriteOnly))
                return report(
                    QStringLiteral("cannot create %1: %2").arg(building, empty.errorString()));
        }
        try {
            seedInto(building, script);
        } catch (...) {
            QFile::remove(building);
            throw;
        }
        QFile::remove(building + QStringLiteral("-wal"));
        QFile::remove(building + QStringLiteral("-shm"));
        if (std::rename(QFile::encodeName(building).constData(),
                        QFile::encodeName(dbPath).constData()) != 0) {
            QFile::remove(building);
            return report(QStringLiteral("cannot move %1 into place").arg(building));
        }
        return 0;
    } catch (const std::exception& e) {
        return report(QStringLiteral("%1: %2").arg(dbPath, QString::fromUtf8(e.what())));
    }
}
