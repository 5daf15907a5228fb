#pragma once
// The program's files for a benchmark that drives the real windows: paths in
// a scratch folder and a work database holding the real message catalogue,
// connected as Korvex's one work database.

#include "app_state.h"
#include "messages.h"
#include "work_database.h"

#include <QFile>
#include <QString>

namespace korvex::bench {

inline void installScratch(const QString& folder) {
    Korvex_M01::InitPaths(folder + QStringLiteral("/korvex"));
    QFile(Korvex_M01::DbFile).open(QIODevice::WriteOnly);
    Korvex_M01::WorkDb().Connect(Korvex_M01::DbFile);
    QFile sql(QStringLiteral(KORVEX_RESOURCE_DIR "/messages.sql"));
    if (!sql.open(QIODevice::ReadOnly))
        qFatal("message catalogue script not found");
    QSqlDatabase db = Korvex_M01::WorkDb().DBase();
    SeedCatalogue(db, QString::fromUtf8(sql.readAll()));
}

} // namespace korvex::bench
