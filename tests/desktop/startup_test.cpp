// Start-up: the missing-database box, the report for a database that cannot be
// used, the order of the progress steps, and shutdown.

#include "app_state.h"
#include "host_helpers.h"
#include "messages.h"
#include "progress_window.h"
#include "scripted_ui.h"
#include "startup.h"
#include "test_files.h"
#include "work_database.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>

using korvex::test::ScriptedUi;
using Korvex_M01::StartupSequence;

namespace {

int progressWindowsAlive() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<Korvex_F00*>(w))
            ++n;
    return n;
}

using korvex::test::readAll;
using korvex::test::writeFile;

// A work database as the build makes it, plus a result table with rows and,
// when asked, more free pages than stored ones (rows deleted since).
void makeWorkDatabase(const QString& path, bool withCatalogue, bool withFreePages = false) {
    QFile::remove(path);
    writeFile(path, QByteArray());
    Korvex_C01 db;
    db.Connect(path);
    if (withCatalogue)
        QVERIFY(korvex::test::seedCatalogue(db.DBase()));
    db.Execute(QStringLiteral("create table w_sort (book text, seq_no integer);"), true);
    db.Execute(QStringLiteral("insert into w_sort values ('Book1', 0), ('Book1', 1);"), true);
    if (withFreePages) {
        db.Execute(QStringLiteral("create table scratch as with recursive n(x) as (select 1 "
                                  "union all select x + 1 from n where x < 50) "
                                  "select randomblob(3000) as b from n;"),
                   true);
        db.Execute(QStringLiteral("drop table scratch;"), true);
    }
    db.DisConnect();
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<korvex::test::ProgramFolder> m_dir;

private slots:
    void init() { m_dir = std::make_unique<korvex::test::ProgramFolder>(); }
    void cleanup() {
        Korvex_M01::Shutdown();
        Korvex_C01::CompactionHook = nullptr;
        QCOMPARE(progressWindowsAlive(), 0);
    }

    void missingDatabaseShowsOnlyTheFixedBox() {
        ScriptedUi ui;
        int loads = 0;
        QStringList steps;
        StartupSequence start([&]() -> QWidget* {
            ++loads;
            return new QWidget;
        });
        start.onStep = [&](const QString& s) { steps << s; };

        QCOMPARE(start.Run(), Korvex_M01::ExitMissingDatabase);
        QCOMPARE(ui.messages.size(), 1);
        const korvex::MessageRequest& box = ui.messages.first();
        QCOMPARE(box.title, QStringLiteral("Korvex"));
        QCOMPARE(box.text,
                 QStringLiteral("E_M01_001\nメッセージファイルが見つかりません。\n%1\n終了します。")
                     .arg(Korvex_M01::DbFile));
        QCOMPARE(box.style, 0);
        QVERIFY(box.helpFile.isEmpty());
        QVERIFY(steps.isEmpty());
        QCOMPARE(loads, 0);
        QVERIFY(start.mainWindow() == nullptr);
        QCOMPARE(progressWindowsAlive(), 0);
        QVERIFY(!QFileInfo::exists(Korvex_M01::DbFile)); // not created as a side effect
        QVERIFY(!Korvex_M01::WorkDb().ConnectFlag());
    }

    void normalStartupShowsStepsInOrder() {
        makeWorkDatabase(Korvex_M01::DbFile, true);
        ScriptedUi ui;
        QStringList steps;
        QStringList labels;
        bool progressShownDuringLoad = false;
        bool connectedDuringLoad = false;
        bool progressGoneBeforeShow = false;
        QPointer<QWidget> main;
        StartupSequence start([&]() -> QWidget* {
            progressShownDuringLoad = start.progressWindow() && start.progressWindow()->isVisible();
            connectedDuringLoad = Korvex_M01::WorkDb().ConnectFlag();
            main = new QWidget;
            return main;
        });
        start.onStep = [&](const QString& s) {
            steps << s;
            labels << start.progressWindow()->Label_Msg()->text();
        };
        start.onProgressClosed = [&] {
            progressGoneBeforeShow = progressWindowsAlive() == 0 && main && !main->isVisible();
        };

        QCOMPARE(start.Run(), 0);
        const QStringList expected{QStringLiteral("データベース最適化中..."),
                                   QStringLiteral("データベース接続中..."),
                                   QStringLiteral("Excel 情報取得中...")};
        QCOMPARE(steps, expected);
        QCOMPARE(labels, expected);
        QVERIFY(progressShownDuringLoad);
        QVERIFY(connectedDuringLoad);
        QVERIFY(progressGoneBeforeShow);
        QVERIFY(main && main->isVisible());
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("korvex_tmp.mdb"))));
        QSqlQuery q =
            Korvex_M01::WorkDb().OpenRecordset(QStringLiteral("select count(*) from w_sort;"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2);
        q.finish();

        Korvex_M02::ExcelApp = korvex::host::ApplicationPtr();
        // The connector (a host's connection and its threads) goes in the
        // shutdown, while the application object still exists.
        struct NoHost : korvex::host::Connector {
            korvex::host::ApplicationPtr attach() override { return nullptr; }
            korvex::host::ApplicationPtr start() override { return nullptr; }
        };
        auto connector = std::make_shared<NoHost>();
        const std::weak_ptr<NoHost> watch = connector;
        Korvex_M02::SetConnector(std::move(connector));
        Korvex_M01::Shutdown();
        QVERIFY(!Korvex_M01::WorkDb().ConnectFlag());
        QVERIFY(!Korvex_M02::ExcelApp);
        QVERIFY(watch.expired());
        delete main.data();
    }

    // Each way the start can fail ends with one critical report (no message
    // identifier, since the catalogue may be the problem), no window left and
    // the user's file as it was.
    void failedStartupReportsAndEnds_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("not a database") << "garbage"
                                        << "korvex.mdb";
        QTest::newRow("no catalogue") << "nocatalogue"
                                      << "T_Message";
        QTest::newRow("compaction fails") << "compaction"
                                          << "disk full";
        QTest::newRow("main window missing") << "nullmain"
                                             << "メイン ウィンドウ";
        QTest::newRow("main window throws") << "throwmain"
                                            << "host refused";
    }
    void failedStartupReportsAndEnds() {
        QFETCH(QString, kind);
        QFETCH(QString, reasonPart);
        const QString db = Korvex_M01::DbFile;
        if (kind == QLatin1String("garbage"))
            writeFile(db, "PK\x03\x04 this is a zipped workbook, not a database");
        else
            makeWorkDatabase(db, kind != QLatin1String("nocatalogue"),
                             kind == QLatin1String("compaction"));
        const QByteArray before = readAll(db);
        if (kind == QLatin1String("compaction"))
            Korvex_C01::CompactionHook = [](Korvex_C01::CompactStep) {
                throw std::runtime_error("disk full");
            };

        ScriptedUi ui;
        StartupSequence start([&]() -> QWidget* {
            if (kind == QLatin1String("throwmain"))
                throw std::runtime_error("host refused");
            if (kind == QLatin1String("nullmain"))
                return nullptr;
            return new QWidget;
        });
        const int code = start.Run();
        QCOMPARE(code, Korvex_M01::ExitStartupFailed);
        QCOMPARE(ui.messages.size(), 1);
        const korvex::MessageRequest& box = ui.messages.first();
        QCOMPARE(box.title, QStringLiteral("Korvex"));
        QCOMPARE(box.style & 0xF0, korvex::mb::Critical);
        QVERIFY2(box.text.contains(reasonPart), qPrintable(box.text));
        QVERIFY(!box.text.startsWith(QLatin1String("E_")));
        QCOMPARE(progressWindowsAlive(), 0);
        QVERIFY(!Korvex_M01::WorkDb().ConnectFlag());
        QVERIFY(QFileInfo::exists(db));
        if (kind == QLatin1String("garbage"))
            QCOMPARE(readAll(db), before);
    }

    // A second start while Korvex runs on the same work database says so in
    // the catalogue's words, never in the database driver's.
    void secondStartSaysKorvexIsRunning() {
        makeWorkDatabase(Korvex_M01::DbFile, true);
        Korvex_C01 running;
        running.Connect(Korvex_M01::DbFile);
        ScriptedUi ui;
        StartupSequence start([]() -> QWidget* { return new QWidget; });
        QCOMPARE(start.Run(), Korvex_M01::ExitStartupFailed);
        QCOMPARE(ui.messageIds(), QStringList{"E_M01_002"});
        const QString text = ui.messages.first().text;
        QVERIFY2(text.contains(QDir::toNativeSeparators(Korvex_M01::DbFile)), qPrintable(text));
        QVERIFY2(!text.contains(QLatin1String("locked")), qPrintable(text));
        QVERIFY(start.mainWindow() == nullptr);
        QVERIFY(!Korvex_M01::WorkDb().ConnectFlag());
        QCOMPARE(progressWindowsAlive(), 0);
        running.DisConnect();
    }

    void progressWindowShowsVersion() {
        Korvex_F00 f00;
        QCOMPARE(f00.objectName(), QStringLiteral("Korvex_F00"));
        QCOMPARE(f00.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(),
                 QStringLiteral("Korvex"));
        QCOMPARE(f00.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
                 QStringLiteral("Version 1.10.01"));
        QCOMPARE(f00.Label_Msg()->text(), QStringLiteral("データベース最適化中..."));
        QVERIFY(f00.findChild<QWidget*>(QStringLiteral("Frame1")));
        QVERIFY(f00.findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap().width() > 0);
    }

    void versionText_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.10.1") << 1 << 10 << 1 << "Version 1.10.01";
        QTest::newRow("zeros") << 0 << 0 << 0 << "Version 0.00.00";
        QTest::newRow("wide") << 12 << 3 << 145 << "Version 12.03.145";
    }
    void versionText() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, text);
        QCOMPARE(Korvex_M01::VersionText(major, minor, revision), text);
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
