#pragma once
// A scratch installation for navigator tests: the program's files in a
// temporary folder, a work database holding the real message catalogue, a
// simulated host built from fixture text, and scripted dialog answers.

#include "app_state.h"
#include "host_helpers.h"
#include "main_window.h"
#include "messages.h"
#include "scripted_ui.h"
#include "settings.h"
#include "sim_host.h"
#include "work_database.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace navtest {

inline QString resourceDir() {
    return qEnvironmentVariable("KORVEX_RESOURCE_DIR");
}

class Env {
public:
    Env() {
        Korvex_M01::InitPaths(dir.path() + QStringLiteral("/korvex"));
        if (Korvex_M01::WorkDb().ConnectFlag())
            Korvex_M01::WorkDb().DisConnect();
        // An empty file becomes the work database once the catalogue is seeded.
        QFile(Korvex_M01::DbFile).open(QIODevice::WriteOnly);
        Korvex_M01::WorkDb().Connect(Korvex_M01::DbFile);
        QFile sql(resourceDir() + QStringLiteral("/messages.sql"));
        if (!sql.open(QIODevice::ReadOnly))
            qFatal("message catalogue script not found");
        QSqlDatabase db = Korvex_M01::WorkDb().DBase();
        korvex::SeedCatalogue(db, QString::fromUtf8(sql.readAll()));
        Korvex_M02::ExcelApp.reset();
    }
    ~Env() {
        Korvex_M02::SetConnector(nullptr);
        Korvex_M02::ExcelApp.reset();
        if (Korvex_M01::WorkDb().ConnectFlag())
            Korvex_M01::WorkDb().DisConnect();
    }

    // A running host with the fixture's books.
    std::shared_ptr<korvex::sim::SimHost> host(const QString& fixture) {
        QString error;
        connector = korvex::sim::SimConnector::fromFixtureText(fixture, &error);
        if (!connector)
            qFatal("bad fixture: %s", qPrintable(error));
        Korvex_M02::SetConnector(connector);
        return connector->host();
    }
    // No host running; one can be started.
    void noHost() {
        connector = std::make_shared<korvex::sim::SimConnector>();
        Korvex_M02::SetConnector(connector);
    }

    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(content);
        return path;
    }

    int ini(const QString& section, const QString& key, int def = -999) const {
        return Korvex_M01::GetIniInt(section, key, def);
    }
    QString iniText(const QString& section, const QString& key) const {
        return Korvex_M01::GetIniString(section, key, QStringLiteral("<none>"), 256);
    }

    QTemporaryDir dir;
    korvex::test::ScriptedUi ui;
    std::shared_ptr<korvex::sim::SimConnector> connector;
};

} // namespace navtest
