// The host helpers on the simulated host: what each does without a host, when
// a book or sheet has gone, when the host vanishes mid-run, and how a started
// host opens its start-up folders.

#include "app_state.h"
#include "host_helpers.h"
#include "scripted_ui.h"
#include "sim_host.h"
#include "sim_setup.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace korvex;
using host::HostError;
using host::PageProperty;
namespace M02 = Korvex_M02;
using test::simConnector;
using test::u;
using test::writeFile;

namespace {

const char* const Books = R"(
[book 売上.xlsx]
active
modified
[sheet 1月]
A1 = 1234 | | 1,234
B1 = 1.5
C1 = TRUE
[sheet 2月]
[chart グラフ]
[book PERSONAL.XLSB]
hidden
[sheet Sheet1]
)";

} // namespace

class HostHelpersTest : public QObject {
    Q_OBJECT

    test::ScriptedUi* m_ui = nullptr;

private slots:
    void init() { m_ui = new test::ScriptedUi; }
    void cleanup() {
        delete m_ui;
        M02::SetConnector(nullptr);
        M02::ExcelApp.reset();
    }

    void withoutHost_nothingHappensAndNothingThrows() {
        QVERIFY(!M02::AttachExcel()); // no connector at all
        M02::SetConnector(std::make_shared<sim::SimConnector>());
        QVERIFY(!M02::AttachExcel());

        QStringList list{"前の内容"};
        QVERIFY(!M02::ListBooks(list));
        QCOMPARE(list, QStringList{u("前の内容")});
        M02::ListSheets(list, u("売上.xlsx"));
        QCOMPARE(list, QStringList{u("前の内容")});
        QVERIFY(!M02::IsBookOpen(u("売上.xlsx")));
        QVERIFY(!M02::IsSheetExist(u("売上.xlsx"), u("1月")));
        M02::CloseBook(u("売上.xlsx"));
        M02::ActivateExcel();
        QCOMPARE(M02::GetCellValue(), QString());
        M02::SetCellValue("x");
        QCOMPARE(m_ui->beeps, 2);
        QVERIFY(m_ui->messages.isEmpty());
        // The helpers that do not attach report the missing host as an error.
        M02::CellPos pos;
        QVERIFY_THROWS_EXCEPTION(HostError, M02::GetCurrentPos(pos));
        QVERIFY_THROWS_EXCEPTION(HostError, M02::OpenBook("/nowhere.xlsx", false));
    }

    void listing_leavesOutHiddenBooksAndCharts() {
        auto connector = simConnector("[book PERSONAL.XLSB]\nhidden\n[sheet S]\n");
        M02::SetConnector(connector);
        QStringList list{"stale"};
        QVERIFY(!M02::ListBooks(list));
        QVERIFY(list.isEmpty());

        M02::SetConnector(simConnector(Books));
        QVERIFY(M02::ListBooks(list));
        QCOMPARE(list, QStringList{u("売上.xlsx")});
        M02::ListSheets(list, u("売上.xlsx"));
        QCOMPARE(list, (QStringList{u("1月"), u("2月")}));

        // A book in several windows is listed while any of them shows.
        M02::SetConnector(simConnector("[book 甲.xlsx]\nwindows = 2\nhidden window 1\n[sheet S]\n"
                                       "[book 乙.xlsx]\nwindows = 2\nhidden\n[sheet S]\n"));
        QVERIFY(M02::ListBooks(list));
        QCOMPARE(list, QStringList{u("甲.xlsx")});
    }

    void lookups_ofGoneThingsPropagate() {
        auto connector = simConnector(Books);
        M02::SetConnector(connector);
        QVERIFY(M02::AttachExcel());
        M02::ExcelApp->workbook("PERSONAL.XLSB")->close(false);

        QStringList list{"stale"};
        QVERIFY_THROWS_EXCEPTION(HostError, M02::ListSheets(list, "PERSONAL.XLSB"));
        QVERIFY(list.isEmpty());
        QVERIFY_THROWS_EXCEPTION(HostError, M02::IsSheetExist("PERSONAL.XLSB", "Sheet1"));
        QVERIFY(!M02::IsSheetExist(u("売上.xlsx"), u("3月")));
        QVERIFY(!M02::IsBookOpen("PERSONAL.XLSB"));
        QVERIFY(!M02::IsBookOpen(u("売上.XLSX")));
        QVERIFY(M02::IsBookOpen(u("売上.xlsx")));

        QVERIFY_THROWS_EXCEPTION(HostError, M02::GoToPos({"PERSONAL.XLSB", "Sheet1", 1, 1}));
        QVERIFY_THROWS_EXCEPTION(HostError, M02::GoToPos({u("売上.xlsx"), u("3月"), 1, 1}));
        // A chart sheet has no active cell.
        M02::ExcelApp->workbook(u("売上.xlsx"))->sheet(u("グラフ"))->activate();
        M02::CellPos pos;
        QVERIFY_THROWS_EXCEPTION(HostError, M02::GetCurrentPos(pos));

        // Closing a book that is not open is skipped quietly.
        M02::CloseBook("PERSONAL.XLSB", false);
        QCOMPARE(M02::ExcelApp->workbookCount(), 1);
    }

    void hostVanishing_midRunAndReattaching() {
        auto connector = simConnector(Books);
        M02::SetConnector(connector);
        QVERIFY(M02::AttachExcel());
        const auto first = M02::ExcelApp;
        // The host ends while the book list is being read.
        connector->host()->beforeOperation = [&](const QString& op) {
            if (op == "Application.bookList") {
                connector->vanish();
                throw HostError("the host ended");
            }
        };
        QStringList list;
        QVERIFY_THROWS_EXCEPTION(HostError, M02::ListBooks(list));
        QVERIFY(!M02::AttachExcel());
        QCOMPARE(M02::ExcelApp, first); // kept, though dead
        QVERIFY_THROWS_EXCEPTION(HostError, M02::ExcelApp->workbookCount());
        QStringList untouched{"x"};
        QVERIFY(!M02::ListBooks(untouched));
        QCOMPARE(untouched, QStringList{"x"});
        M02::ShowExcel(); // skipped quietly

        // The user starts the spreadsheet again: the next action finds it.
        connector->restart();
        QVERIFY(M02::AttachExcel());
        QVERIFY(M02::ExcelApp != first);
        QVERIFY(!M02::ListBooks(list));
        QVERIFY(list.isEmpty());
    }

    // Each list or lookup asks the host once, whatever the number of books
    // and sheets: a question per book or sheet froze Korvex on big books.
    void listings_askTheHostOnce() {
        QString text = u("[book 大.xlsx]\nactive\n");
        for (int i = 1; i <= 300; ++i)
            text += QStringLiteral("[sheet S%1]\n").arg(i);
        text += u("[chart グラフ]\n");
        for (int b = 1; b <= 50; ++b)
            text += QStringLiteral("[book B%1.xlsx]\n[sheet S]\n").arg(b);
        text += u("[book 隠し.xlsx]\nhidden\n[sheet S]\n");
        auto connector = simConnector(text);
        M02::SetConnector(connector);
        QVERIFY(M02::AttachExcel());
        QStringList ops;
        connector->host()->beforeOperation = [&](const QString& op) { ops << op; };
        QStringList books;
        QStringList sheets;
        const std::pair<const char*, std::function<bool()>> cases[] = {
            {"ListBooks", [&] { return M02::ListBooks(books); }},
            {"ListSheets", [&] { return M02::ListSheets(sheets, u("大.xlsx")), true; }},
            {"IsBookOpen", [&] { return M02::IsBookOpen(u("隠し.xlsx")); }},
            {"IsBookOpen missing", [&] { return !M02::IsBookOpen(u("無い.xlsx")); }},
            {"IsSheetExist", [&] { return M02::IsSheetExist(u("大.xlsx"), "S300"); }},
            {"IsSheetExist chart", [&] { return !M02::IsSheetExist(u("大.xlsx"), u("グラフ")); }},
        };
        for (const auto& [what, run] : cases) {
            ops.clear();
            QVERIFY2(run(), what);
            QVERIFY2(ops.size() <= 2, qPrintable(u(what) + ": " + ops.join(", ")));
        }
        QCOMPARE(books.size(), 51); // the hidden book left out
        QCOMPARE(books.first(), u("大.xlsx"));
        QCOMPARE(sheets.size(), 300); // the chart sheet left out
        QCOMPARE(sheets.last(), "S300");
    }

    void valueText_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        const QDate day(2024, 1, 5);
        QTest::newRow("empty") << QVariant() << "";
        QTest::newRow("whole number") << QVariant(1234.0) << "1234";
        QTest::newRow("int") << QVariant(-42) << "-42";
        QTest::newRow("no thousands separator") << QVariant(1234567.25) << "1234567.25";
        QTest::newRow("fraction") << QVariant(1.5) << "1.5";
        QTest::newRow("no binary noise") << QVariant(0.1 + 0.2) << "0.3";
        QTest::newRow("exponent") << QVariant(1e20) << "1E+20";
        QTest::newRow("flag") << QVariant(true) << "True";
        QTest::newRow("false") << QVariant(false) << "False";
        QTest::newRow("text") << QVariant(u("売上")) << u("売上");
        QTest::newRow("date") << QVariant(QDateTime(day, QTime(0, 0), Qt::UTC)) << "2024/01/05";
        QTest::newRow("date-time")
            << QVariant(QDateTime(day, QTime(9, 5, 7), Qt::UTC)) << "2024/01/05 09:05:07";
        QTest::newRow("time") << QVariant(QDateTime(QDate(1899, 12, 30), QTime(12, 30), Qt::UTC))
                              << "12:30:00";
        QTest::newRow("QDate") << QVariant(day) << "2024/01/05";
        QTest::newRow("QTime") << QVariant(QTime(23, 59, 59)) << "23:59:59";
    }
    void valueText() {
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        QCOMPARE(korvex::host::valueText(value), text);
    }

    void cellValue_readsAndWritesTheActiveCell() {
        auto connector = simConnector(Books);
        M02::SetConnector(connector);
        QCOMPARE(M02::GetCellValue(), QString("1234"));
        M02::SetCellValue(u("書いた"));
        QCOMPARE(M02::GetCellValue(), u("書いた"));
        QCOMPARE(m_ui->beeps, 0);
    }

    void showing_restoresAMinimisedHost() {
        auto connector = simConnector(Books);
        M02::SetConnector(connector);
        const auto host = connector->host();
        host->windowState = host::WindowState::Minimized;
        M02::ActivateExcel();
        QCOMPARE(host->windowState, host::WindowState::Normal);
        QCOMPARE(host->bringToFrontCount, 1);
        host->windowState = host::WindowState::Maximized;
        M02::ShowExcel();
        QCOMPARE(host->windowState, host::WindowState::Maximized);
        QCOMPARE(host->bringToFrontCount, 2);
        // A failing step does not stop the next one.
        host->windowState = host::WindowState::Minimized;
        host->beforeOperation = [](const QString& op) {
            if (op == "Application.setWindowState")
                throw HostError("refused");
        };
        M02::ShowExcel();
        QCOMPARE(host->bringToFrontCount, 3);
    }

    void closeBook_leavesTheQuestionToTheHost() {
        auto connector = simConnector(Books);
        M02::SetConnector(connector);
        const auto host = connector->host();
        host->savePrompt = [](const QString&) { return std::optional<bool>(); }; // cancel
        M02::CloseBook(u("売上.xlsx"));
        QVERIFY(host->closed.last().asked);
        QVERIFY(M02::IsBookOpen(u("売上.xlsx")));
        M02::CloseBook(u("売上.xlsx"), false);
        QVERIFY(!host->closed.last().asked);
        QVERIFY(!host->closed.last().saved);
        QVERIFY(!M02::IsBookOpen(u("売上.xlsx")));
        QCOMPARE(host->bringToFrontCount, 2);
    }

    void openBook_passesRecentOnlyWhenAsked() {
        QTemporaryDir dir;
        writeFile(dir.filePath("a.xlsx"), "[sheet S]\n");
        writeFile(dir.filePath("b.xlsx"), "[sheet S]\n");
        auto connector = simConnector(Books);
        M02::SetConnector(connector);
        QVERIFY(M02::AttachExcel());
        M02::OpenBook(dir.filePath("a.xlsx"), true);
        M02::OpenBook(dir.filePath("b.xlsx"), false);
        const auto& opened = connector->host()->opened;
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[0].options && opened[0].options->notify && opened[0].options->addToMru);
        QVERIFY(!opened[1].options);
        QCOMPARE(connector->host()->recentFiles, QStringList{dir.filePath("a.xlsx")});
        QVERIFY_THROWS_EXCEPTION(HostError, M02::OpenBook(dir.filePath("c.xlsx"), false));
    }

    void startExcel_opensStartupFolders_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("books");
        const QStringList startupOnly{u("1共通.xlsx"), u("2個人.xlsx"), u("開く.xlsx")};
        const QStringList both{u("1共通.xlsx"), u("2個人.xlsx"), u("3追加.xlsx"), u("開く.xlsx")};
        QTest::newRow("8.0: start-up folder only") << "8.0" << startupOnly;
        QTest::newRow("9.0: and XLStart") << "9.0" << both;
        QTest::newRow("10.0 is newer than 9.0") << "10.0" << both;
        QTest::newRow("16.0") << "16.0" << both;
        QTest::newRow("unreadable version") << "?" << startupOnly;
    }
    void startExcel_opensStartupFolders() {
        QFETCH(QString, version);
        QFETCH(QStringList, books);
        QTemporaryDir dir;
        const QString startup = dir.filePath("startup");
        const QString program = dir.filePath("program");
        writeFile(startup + u("/1共通.xlsx"), "[sheet S]\n");
        writeFile(startup + u("/2個人.xlsx"), "[sheet S]\n");
        // Already open by name from the start-up folder: not opened again.
        writeFile(program + u("/XLStart/1共通.xlsx"), "[sheet T]\n");
        writeFile(program + u("/XLStart/3追加.xlsx"), "[sheet S]\n");
        writeFile(dir.filePath(u("開く.xlsx")), "[sheet S]\n");

        auto connector = std::make_shared<sim::SimConnector>();
        connector->onStart = [&](sim::SimHost& h) {
            h.version = version;
            h.startupPath = startup;
            h.path = program;
        };
        M02::SetConnector(connector);
        QVERIFY(!M02::AttachExcel());
        M02::StartExcel(dir.filePath(u("開く.xlsx")));

        const auto host = connector->host();
        QCOMPARE(host->bookNames(), books);
        QVERIFY(host->visible);
        QCOMPARE(host->activeBook->name, u("開く.xlsx"));
        QCOMPARE(host->recentFiles, QStringList{dir.filePath(u("開く.xlsx"))});
        QCOMPARE(M02::ExcelApp, host->application());
        QVERIFY(host->findSheet(u("1共通.xlsx"), "S"));
    }

    void startExcel_skipsWhatFails() {
        QTemporaryDir dir;
        const QString startup = dir.filePath("startup");
        writeFile(startup + "/a.xlsx", "[sheet S]\n");
        writeFile(startup + "/b.xlsx", "not a workbook\n");
        writeFile(startup + "/c.xlsx", "[sheet S]\n");
        writeFile(dir.filePath("program/XLStart/x.xlsx"), "[sheet S]\n");

        auto connector = std::make_shared<sim::SimConnector>();
        connector->onStart = [&](sim::SimHost& h) {
            h.startupPath = startup;
            h.path = dir.filePath("program") + "/";
        };
        M02::SetConnector(connector);
        M02::StartExcel(dir.filePath("missing.xlsx"));
        // b.xlsx ends the start-up folder's loop; XLStart still opens; the
        // missing file is skipped; the host is shown all the same.
        QCOMPARE(connector->host()->bookNames(), (QStringList{"a.xlsx", "x.xlsx"}));
        QVERIFY(connector->host()->visible);
        QVERIFY(m_ui->messages.isEmpty());
    }

    void startExcel_withoutStartupFolders_opensOnlyTheFile() {
        QTemporaryDir dir;
        writeFile(dir.filePath("a.xlsx"), "[sheet S]\n");
        auto connector = std::make_shared<sim::SimConnector>();
        M02::SetConnector(connector);
        M02::StartExcel(dir.filePath("a.xlsx"));
        // Empty folder names must not turn into the file system's root.
        QCOMPARE(connector->host()->opened.size(), 1);
        QCOMPARE(connector->host()->bookNames(), QStringList{"a.xlsx"});
    }

    void startExcel_whenTheHostCannotStart() {
        auto connector = std::make_shared<sim::SimConnector>();
        connector->startable = false;
        M02::SetConnector(connector);
        M02::StartExcel("/nowhere.xlsx");
        QVERIFY(!M02::ExcelApp);
        QVERIFY(!connector->host());
    }

    void copyPageSetup_inOrderThroughOnePageSetup() {
        auto connector = simConnector("[book a.xlsx]\n[sheet Base]\npagesetup Zoom = FALSE\n"
                                      "pagesetup PrintArea = $A$1:$B$2\n[sheet Target]\n");
        const auto host = connector->host();
        const auto book = host->application()->workbook(1);
        const auto target = book->worksheet("Target");
        const auto base = book->worksheet("Base")->pageSetup();
        QStringList writes;
        int fetches = 0;
        host->beforeOperation = [&](const QString& op) {
            if (op.startsWith("PageSetup.set:"))
                writes << op.mid(14);
            if (op == "Sheet.pageSetup")
                ++fetches;
        };
        M02::CopyPageSetup(*target, *base);
        QStringList order;
        for (int i = 0; i < host::PagePropertyCount; ++i)
            order << host::pagePropertyName(PageProperty(i));
        QCOMPARE(writes, order);
        QCOMPARE(fetches, 1); // every write, the area's included, in one call
        QCOMPARE(target->pageSetup()->get(PageProperty::PrintArea).toString(),
                 QString("$A$1:$B$2"));
    }

    void copyPageSetup_stopsAtTheFirstRefusal() {
        auto connector = simConnector("[book a.xlsx]\n[sheet Base]\npagesetup LeftHeader = L\n"
                                      "pagesetup LeftMargin = 10\npagesetup RightMargin = 11\n"
                                      "pagesetup Zoom = 50\n[sheet Target]\n");
        const auto host = connector->host();
        const auto book = host->application()->workbook(1);
        const auto target = book->worksheet("Target");
        host->beforeOperation = [](const QString& op) {
            if (op == "PageSetup.set:LeftMargin")
                throw HostError("refused");
        };
        QVERIFY_THROWS_EXCEPTION(
            HostError, M02::CopyPageSetup(*target, *book->worksheet("Base")->pageSetup()));
        host->beforeOperation = nullptr;
        const auto ps = target->pageSetup();
        QCOMPARE(ps->get(PageProperty::LeftHeader).toString(), QString("L"));
        QCOMPARE(ps->get(PageProperty::RightMargin).toDouble(), 50.4);
        QCOMPARE(ps->get(PageProperty::Zoom).toInt(), 100);
    }

    // The office's installer gets the extension's full path after its own
    // arguments; only a clean exit counts as installed, and what it printed
    // on failure is what the user is told.
    void installExtension_reportsWhatTheInstallerSaid() {
        QTemporaryDir dir;
        const QString oxt = dir.filePath("korvex.oxt");
        writeFile(oxt, "zip");
        const QString args = dir.filePath("args");
        writeFile(dir.filePath("ok"), ("printf '%s\\n' \"$@\" > \"" + args + "\"\n").toUtf8());
        writeFile(dir.filePath("refuses"), "echo 'ERROR: profile locked'\nexit 9\n");
        writeFile(dir.filePath("silent"), "exit 3\n");
        struct Installer : sim::SimConnector {
            QStringList command;
            QStringList extensionInstaller() const override { return command; }
        };
        const struct {
            const char* name;
            QStringList command; // empty: a host without an installer
            QString file;
            QString failure; // empty: installed
        } cases[] = {
            {"installed", {"sh", dir.filePath("ok"), "add", "--force"}, oxt, ""},
            {"its own words", {"sh", dir.filePath("refuses")}, oxt, "ERROR: profile locked"},
            {"its exit code",
             {"sh", dir.filePath("silent")},
             oxt,
             "sh が終了コード 3 で終わりました"},
            {"no file",
             {"sh", dir.filePath("ok")},
             dir.filePath("gone.oxt"),
             dir.filePath("gone.oxt") + " がありません"},
            {"no installer", {}, oxt, "使用中の表計算ソフトには拡張機能を追加できません"},
            {"not startable",
             {dir.filePath("absent")},
             oxt,
             dir.filePath("absent") + " を起動できませんでした"},
        };
        for (const auto& c : cases) {
            auto connector = std::make_shared<Installer>();
            connector->command = c.command;
            M02::SetConnector(connector);
            const QString got = M02::InstallExtension(c.file);
            QVERIFY2(got == c.failure, qPrintable(QStringLiteral("%1: %2").arg(c.name, got)));
        }
        QFile written(args);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()).split('\n', Qt::SkipEmptyParts),
                 QStringList({"add", "--force", oxt}));
    }
};

QTEST_GUILESS_MAIN(HostHelpersTest)
#include "host_helpers_test.moc"
