// The simulated host beyond the contract: its fixture format, its failure
// injection and the records tests rely on.

#include "sim_host.h"
#include "sim_setup.h"

#include <QTemporaryDir>
#include <QTest>

using namespace korvex;
using host::HostError;
using host::PageProperty;

using test::simHost;
using test::u;
using test::writeFile;

class SimHostTest : public QObject {
    Q_OBJECT

private slots:
    void fixtureErrors_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");

        const auto row = [](const char* name, const char* text, const char* message) {
            QTest::newRow(name) << u(text) << u(message);
        };
        row("before any section", "\n# note\nA1 = x", "line 3: 'A1 = x' comes before any section");
        row("unknown section", "[books a.xlsx]", "line 1: unknown section");
        row("sheet before book", "[sheet S]", "line 1: [sheet S] comes before");
        row("reference beyond the sheet", "[book a.xlsx]\n[sheet S]\nXFE1 = x",
            "line 3: 'XFE1' is not a cell reference");
        row("unknown sheet line", "[book a.xlsx]\n[sheet S]\nfrobnicate",
            "line 3: unknown sheet line 'frobnicate'");
        row("cell twice", "[book a.xlsx]\n[sheet S]\nA1 = x\n\na1 = y",
            "line 5: cell a1 appears twice");
        row("too many fields", "[book a.xlsx]\n[sheet S]\nA1 = =1 | 1 | 1 | 1",
            "line 3: a cell takes at most three fields");
        row("unknown escape", "[book a.xlsx]\n[sheet S]\nA1 = C:\\Users",
            "line 3: unknown escape \\U");
        row("sheet twice, other case", "[book a.xlsx]\n[sheet Data]\n[sheet DATA]",
            "line 3: sheet 'DATA' appears twice in book 'a.xlsx'");
        row("forbidden sheet name", "[book a.xlsx]\n[sheet a/b]",
            "line 2: sheet name 'a/b' contains '/'");
        row("book twice", "[book a.xlsx]\n[book A.XLSX]", "line 2: book 'A.XLSX' appears twice");
        row("bad orientation", "[book a.xlsx]\n[sheet S]\npagesetup Orientation = 3",
            "line 3: Orientation cannot be 3");
        row("zoom true", "[book a.xlsx]\n[sheet S]\npagesetup Zoom = TRUE",
            "line 3: 'TRUE' is not a value for Zoom");
        row("unknown page property", "[book a.xlsx]\n[sheet S]\npagesetup Scale = 2",
            "line 3: unknown page-setup property 'Scale'");
        row("bad print area", "[book a.xlsx]\n[sheet S]\npagesetup PrintArea = everything",
            "line 3: PrintArea cannot be everything");
        row("chart with cells", "[book a.xlsx]\n[chart G]\nA1 = x",
            "line 3: a chart sheet takes only 'active'");
        row("book setting after a sheet", "[book a.xlsx]\n[sheet S]\nhidden",
            "line 3: unknown sheet line 'hidden'");
        row("hidden window that does not exist", "[book a.xlsx]\nhidden window 2",
            "book 'a.xlsx' hides window 2");
        row("group of a missing sheet", "[book a.xlsx]\ngroup = S | T\n[sheet S]",
            "book 'a.xlsx' groups sheet 'T', which it does not have");
        row("two active books", "[book a.xlsx]\nactive\n[book b.xlsx]\nactive",
            "more than one book is marked active");
    }

    void fixtureErrors() {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QString error;
        QVERIFY(!sim::parseFixture(text, &error));
        QVERIFY2(error.startsWith(message), qPrintable(error));
    }

    void fixtureFile_errorsNameTheFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("broken.kvx");
        writeFile(path, "[book a.xlsx]\r\n[sheet S]\r\nA1 = ok\r\nB1 = \\q\r\n");
        QString error;
        QVERIFY(!sim::loadFixtureFile(path, &error));
        QVERIFY2(error.startsWith(path + ":4: unknown escape"), qPrintable(error));

        QVERIFY(!sim::loadFixtureFile(dir.filePath("missing.kvx"), &error));
        QVERIFY(error.contains("cannot read"));

        writeFile(path, "[book a.xlsx]\n[sheet S]\nA1 = \xff\xfe\n");
        QVERIFY(!sim::loadFixtureFile(path, &error));
        QVERIFY(error.contains("not UTF-8"));
    }

    void fixture_cellsAndBooks() {
        const auto host = simHost("\xEF\xBB\xBF"
                                  "[application]\n"
                                  "version = 15.0\n"
                                  "startup = /opt/start\n"
                                  "windowstate = minimized\n"
                                  "[book 売上.xlsx]\n"
                                  "path = /data/売上.xlsx\n"
                                  "windows = 2\n"
                                  "hidden window 2\n"
                                  "modified\n"
                                  "group = 2月 | 1月\n"
                                  "[sheet 1月]\n"
                                  "A1 = 売上\n"
                                  "B2 = =SUM(B1) | 30 | ¥30\n"
                                  "C3 = 1234 | | 1,234\n"
                                  "D4 = '0123\n"
                                  "E5 = a \\| b\\s\n"
                                  "F6 = TRUE\n"
                                  "note A1 = 単位は円\n"
                                  "note G7 = 空のセル\n"
                                  "active C3\n"
                                  "[sheet 2月]\n"
                                  "protected\n"
                                  "[chart グラフ]\n"
                                  "[book 空.xlsx]\n"
                                  "hidden\n");
        QCOMPARE(host->version, QString("15.0"));
        QCOMPARE(host->startupPath, QString("/opt/start"));
        QCOMPARE(host->windowState, host::WindowState::Minimized);
        QCOMPARE(host->bookNames(), (QStringList{u("売上.xlsx"), u("空.xlsx")}));
        // The last visible book is active when none is marked.
        QCOMPARE(host->activeBook->name, u("売上.xlsx"));

        const auto book = host->findBook(u("売上.xlsx"));
        QCOMPARE(book->path, u("/data/売上.xlsx"));
        QVERIFY(book->modified);
        QCOMPARE(book->windows.size(), size_t(2));
        QVERIFY(book->windows[0].visible);
        QVERIFY(!book->windows[1].visible);
        QCOMPARE(book->group.size(), size_t(2));
        // A group that leaves out the active sheet makes its first member active.
        QCOMPARE(book->activeSheet->name, u("1月"));

        const auto sheet = book->findSheet(u("1月"));
        QCOMPARE(sheet->cell(1, 1)->value.toString(), u("売上"));
        QCOMPARE(sheet->cell(1, 1)->note, u("単位は円"));
        QCOMPARE(sheet->cell(2, 2)->formula, QString("=SUM(B1)"));
        QCOMPARE(sheet->cell(2, 2)->value.toDouble(), 30.0);
        QCOMPARE(sheet->cell(2, 2)->text, u("¥30"));
        QCOMPARE(sheet->cell(3, 3)->value.typeId(), QMetaType::Double);
        QCOMPARE(sheet->cell(3, 3)->text, QString("1,234"));
        QCOMPARE(sheet->cell(3, 3)->formula, QString("1234"));
        QCOMPARE(sheet->cell(4, 4)->value.toString(), QString("0123"));
        QCOMPARE(sheet->cell(4, 4)->formula, QString("0123"));
        QCOMPARE(sheet->cell(5, 5)->value.toString(), QString("a | b "));
        QCOMPARE(sheet->cell(6, 6)->value.typeId(), QMetaType::Bool);
        QCOMPARE(sheet->cell(6, 6)->text, QString("TRUE"));
        QVERIFY(!sheet->cell(7, 7)->hasContent());
        QCOMPARE(sheet->activeRow, 3);
        QCOMPARE(sheet->activeColumn, 3);
        QVERIFY(book->findSheet(u("2月"))->isProtected);
        QVERIFY(book->findSheet(u("グラフ"))->chart);
        QVERIFY(!host->findBook(u("空.xlsx"))->anyWindowVisible());
        QCOMPARE(host->findBook(u("空.xlsx"))->sheets.front()->name, QString("Sheet1"));
    }

    void demoFixture_loads() {
        const QString path = qEnvironmentVariable("KORVEX_RESOURCE_DIR") + "/demo.kvx";
        QString error;
        const auto fixture = sim::loadFixtureFile(path, &error);
        QVERIFY2(fixture, qPrintable(error));
        const auto host = sim::SimHost::fromFixture(*fixture);
        const auto sales = host->findBook(u("売上管理.xlsx"));
        QVERIFY(sales);
        QStringList sheets;
        for (const auto& s : sales->sheets)
            sheets << s->name;
        QVERIFY(sheets.contains(u("1月")) && sheets.contains(u("3月")));
        QVERIFY(std::any_of(sales->sheets.begin(), sales->sheets.end(),
                            [](const auto& s) { return s->chart; }));
        QVERIFY(host->findBook(u("顧客名簿.xlsx")));
        QVERIFY(!host->findBook("PERSONAL.XLSB")->anyWindowVisible());
    }

    // findAll reads the used rows (2 to 7, three columns wide) a band at a
    // time; whatever the band, it finds what one read finds, in find order,
    // and lets the caller in between bands, which may stop it.
    void findAll_readsInBands_data() {
        QTest::addColumn<int>("maxCells");
        QTest::addColumn<int>("stopAt"); // the call of `between` that says stop; 0: none
        QTest::addColumn<int>("betweens");
        QTest::newRow("a row a band") << 1 << 0 << 5;
        QTest::newRow("two whole rows") << 6 << 0 << 2;
        QTest::newRow("a part row left over") << 8 << 0 << 2;
        QTest::newRow("the last row alone") << 15 << 0 << 1;
        QTest::newRow("every row in one") << 18 << 0 << 0;
        QTest::newRow("stopped at once") << 1 << 1 << 1;
        QTest::newRow("stopped before the last band") << 6 << 2 << 2;
    }
    void findAll_readsInBands() {
        QFETCH(int, maxCells);
        QFETCH(int, stopAt);
        QFETCH(int, betweens);
        sim::SimConnector connector(simHost("[book a.xlsx]\n[sheet S]\nB2 = x1\nD3 = x2\n"
                                            "C4 = x3\nB5 = x4\nC6 = y\nD7 = x5\n"));
        const auto sheet = connector.attach()->workbook(1)->worksheet(1);
        for (const auto order : {host::SearchOrder::ByRows, host::SearchOrder::ByColumns}) {
            host::FindOptions options;
            options.what = QStringLiteral("x");
            options.searchOrder = order;
            options.after = sheet->range("C4");
            QStringList whole;
            for (const auto& f : sheet->findAll(options))
                whole << f.address;
            QCOMPARE(whole.join(' '), order == host::SearchOrder::ByRows
                                          ? QString("$B$5 $D$7 $B$2 $D$3 $C$4")
                                          : QString("$D$3 $D$7 $B$2 $B$5 $C$4"));
            int calls = 0;
            host::ReadInBands bands;
            bands.maxCells = maxCells;
            bands.between = [&] { return ++calls != stopAt; };
            QStringList banded;
            for (const auto& f : sheet->findAll(options, bands))
                banded << f.address;
            QCOMPARE(banded, stopAt ? QStringList() : whole);
            QCOMPARE(calls, betweens);
        }
    }

    void vanishing_andRestarting() {
        sim::SimConnector connector(simHost("[book a.xlsx]\n[sheet S]\nA1 = x"));
        const auto app = connector.attach();
        QVERIFY(app);
        QCOMPARE(connector.attach(), app); // cheap when the host is known
        const auto book = app->workbook(1);
        const auto cell = book->sheet(1)->range("A1");
        const auto ps = book->sheet(1)->pageSetup();

        connector.vanish();
        QVERIFY(!connector.attach());
        QVERIFY_THROWS_EXCEPTION(HostError, app->workbookCount());
        QVERIFY_THROWS_EXCEPTION(HostError, app->version());
        QVERIFY_THROWS_EXCEPTION(HostError, book->name());
        QVERIFY_THROWS_EXCEPTION(HostError, cell->value());
        QVERIFY_THROWS_EXCEPTION(HostError, ps->get(PageProperty::Zoom));

        connector.restart();
        const auto fresh = connector.attach();
        QVERIFY(fresh);
        QVERIFY(fresh != app);
        QCOMPARE(fresh->workbookCount(), 0);
        // Handles of the old host stay dead.
        QVERIFY_THROWS_EXCEPTION(HostError, book->name());
    }

    void start_makesAnInvisibleHost() {
        sim::SimConnector connector;
        QVERIFY(!connector.attach());
        connector.onStart = [](sim::SimHost& h) { h.version = "8.0"; };
        const auto app = connector.start();
        QVERIFY(app);
        QVERIFY(!app->visible());
        QCOMPARE(app->version(), QString("8.0"));
        QCOMPARE(connector.attach(), app);
        connector.startable = false;
        QVERIFY(!connector.start());
    }

    void failureHook_failsTheNamedOperation() {
        const auto host = simHost("[book a.xlsx]\n[sheet S]\n");
        QStringList seen;
        host->beforeOperation = [&](const QString& op) {
            seen << op;
            if (op == "Workbook.close")
                throw HostError("refused");
        };
        const auto app = host->application();
        const auto book = app->workbook("a.xlsx");
        QVERIFY_THROWS_EXCEPTION(HostError, book->close(false));
        QCOMPARE(app->workbookCount(), 1);
        QVERIFY(seen.contains("Application.workbook"));
    }

    void pageSetup_refusesWhatTheSpreadsheetWould() {
        const auto host = simHost("[book a.xlsx]\n[sheet S]\n[sheet P]\nprotected\n");
        const auto book = host->application()->workbook(1);
        const auto ps = book->sheet("S")->pageSetup();
        QVERIFY_THROWS_EXCEPTION(HostError, ps->set(PageProperty::Orientation, 7));
        QVERIFY_THROWS_EXCEPTION(HostError, ps->set(PageProperty::Zoom, true));
        QVERIFY_THROWS_EXCEPTION(HostError, ps->set(PageProperty::Zoom, 5));
        QVERIFY_THROWS_EXCEPTION(HostError, ps->set(PageProperty::LeftMargin, "wide"));
        QCOMPARE(ps->get(PageProperty::Orientation).toInt(), host::page::Portrait);
        ps->set(PageProperty::Zoom, false);
        QCOMPARE(ps->get(PageProperty::Zoom), QVariant(false));
        QVERIFY_THROWS_EXCEPTION(HostError,
                                 book->sheet("P")->pageSetup()->set(PageProperty::Orientation, 2));
    }

    void closing_asksAboutUnsavedChanges() {
        const auto host =
            simHost("[book a.xlsx]\nmodified\n[sheet S]\n[book b.xlsx]\nmodified\n[sheet S]\n");
        const auto app = host->application();
        int asked = 0;
        host->savePrompt = [&](const QString&) -> std::optional<bool> {
            ++asked;
            return std::nullopt; // the user cancels
        };
        app->workbook("a.xlsx")->close();
        QCOMPARE(asked, 1);
        QCOMPARE(app->workbookCount(), 2);
        QVERIFY(!host->closed.last().closed);

        host->savePrompt = [](const QString&) { return std::optional<bool>(true); };
        app->workbook("a.xlsx")->close();
        QVERIFY(host->closed.last().closed);
        QVERIFY(host->closed.last().saved);

        app->workbook("b.xlsx")->close(false);
        QVERIFY(!host->closed.last().asked);
        QVERIFY(!host->closed.last().saved);
        QCOMPARE(app->workbookCount(), 0);
        QVERIFY_THROWS_EXCEPTION(HostError, app->activeWorkbook());
    }

    void opening_fixtureFiles() {
        QTemporaryDir dir;
        const QString two = dir.filePath("two.kvx");
        writeFile(two, "[book 甲.xlsx]\n[sheet S]\n[book 乙.xlsx]\nhidden\n[sheet S]\n");
        const auto host = sim::SimHost::create();
        const auto app = host->application();
        const auto first = app->openWorkbook(two, host::OpenOptions{true, true});
        QCOMPARE(first->name(), u("甲.xlsx"));
        QCOMPARE(host->bookNames(), (QStringList{u("甲.xlsx"), u("乙.xlsx")}));
        QCOMPARE(host->recentFiles, QStringList{two});
        QCOMPARE(host->opened.size(), 1);
        QVERIFY(host->opened.first().options && host->opened.first().options->notify);

        // The same file again gives the open books; another file may not
        // bring a second book of the same name.
        QCOMPARE(app->openWorkbook(two)->name(), u("甲.xlsx"));
        QCOMPARE(app->workbookCount(), 2);
        const QString clash = dir.filePath("clash.kvx");
        writeFile(clash, "[book 甲.xlsx]\n[sheet T]\n");
        QVERIFY_THROWS_EXCEPTION(HostError, app->openWorkbook(clash));

        const QString broken = dir.filePath("broken.xlsx");
        writeFile(broken, "PK\x03\x04 not a fixture\n");
        try {
            app->openWorkbook(broken);
            QFAIL("a file that is no fixture opened");
        } catch (const HostError& e) {
            QVERIFY2(e.message().contains("broken.xlsx:1:"), qPrintable(e.message()));
        }
        QCOMPARE(app->workbookCount(), 2);
        QCOMPARE(host->recentFiles.size(), 1);
    }

    void printDialog_recordsTheGroup() {
        const auto host = simHost("[book a.xlsx]\n[sheet A]\n[sheet B]\n[sheet C]\n");
        const auto app = host->application();
        app->workbook(1)->selectSheets({"B", "C"});
        QVERIFY(app->showDialog(host::Dialog::Print));
        QCOMPARE(host->printed.size(), 1);
        QCOMPARE(host->printed.first().sheets, (QStringList{"B", "C"}));
        host->dialogScript = [](host::Dialog, host::Application&) { return false; };
        QVERIFY(!app->showDialog(host::Dialog::Print));
        QCOMPARE(host->printed.size(), 1); // a cancelled print prints nothing
        QCOMPARE(host->dialogCount, 2);
    }

    void editing_keepsStatedResultsOfFormulas() {
        const auto host = simHost("[book a.xlsx]\n[sheet S]\nA1 = =SUM(B1) | 30 | ¥30\n");
        const auto sheet = host->application()->workbook(1)->sheet(1);
        host::ReplaceOptions options;
        options.what = "B1";
        options.replacement = "C1";
        QVERIFY(sheet->range("A1")->replace(options));
        const auto* cell = host->findSheet("a.xlsx", "S")->cell(1, 1);
        QCOMPARE(cell->formula, QString("=SUM(C1)"));
        QCOMPARE(cell->text, u("¥30"));
        QVERIFY(host->findBook("a.xlsx")->modified);

        sheet->range("B2")->setValue("=A1*2");
        QVERIFY(!sheet->range("B2")->value().isValid());
        sheet->range("B2")->setValue(QVariant());
        QVERIFY(!host->findSheet("a.xlsx", "S")->cell(2, 2));
        // Whole rows and whole columns are addressed as the spreadsheet writes them.
        QCOMPARE(sheet->cells()->address(true, true), QString("$1:$1048576"));
        QCOMPARE(sheet->range("B1:C1048576")->address(true, false), QString("B:C"));
        QCOMPARE(sheet->range("C3:a1")->address(false, true), QString("$A1:$C3"));
    }
};

QTEST_GUILESS_MAIN(SimHostTest)
#include "sim_host_test.moc"
