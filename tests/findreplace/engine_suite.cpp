// The engines driven through a stand-in window on a real host: which rows a
// click writes and in what order, what happens to the cells, the messages,
// the busy state, the cursor, stopping a run, responsiveness, and undoing
// replacements from the kept log.

#include "engine_suite.h"

#include "app_state.h"
#include "host_helpers.h"
#include "replace_log.h"
#include "search_engine.h"
#include "work_database.h"

#include <QDateTime>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace korvex;
using namespace korvex::findreplace;
namespace M02 = Korvex_M02;

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString cellText(const QString& book, const QString& sheet, const QString& address) {
    return korvex::host::valueText(
        M02::ExcelApp->workbook(book)->worksheet(sheet)->range(address)->value());
}

// The window as the engine sees it, with everything it is told kept for the
// checks.
class StandIn : public EngineWindow {
public:
    EngineOptions opts;
    QString book;
    QList<SheetEntry> entries;
    Korvex_C01* db = nullptr; // replace log, when a case needs one
    bool readCellsAtWrite = false;
    bool refuseRows = false;   // the work database refuses every row
    int rowCostUs = 0;         // a slow work database: engine time each row takes
    int replaceCallCostUs = 0; // a host whose every replace call costs this, whatever its size
    int replaceCalls = 0;
    bool countBehindRows = false;
    bool paintsDuringCalls = false; // the windows paint during the replace calls
    QList<qint64> paintedAt;        // when such calls began and ended
    QStringList cellsAtWrite;       // each row's cell as it was when the row was stored

    bool busy = false;
    bool gridActive = false;
    bool mainEnabled = true;
    bool pointer = false;
    int historyCalls = 0;
    int commits = 0;
    int beeps = 0;
    QStringList messages;
    QList<QStringList> messageArgs;
    QList<ReplacedCell> kept; // what the log was given
    QList<HitRow> rows;
    QStringList rowBooks;
    QList<EngineProgress> progress;
    QList<qint64> progressAt;
    QList<qint64> yieldsAt;
    // The engine's clock: only the row writer moves it, so runs are paced
    // alike on every host and machine.
    qint64 nowUs = 0;
    qint64 nowMs() const { return nowUs / 1000; }
    std::function<void()> onYield;

    PassState state;
    PassState& pass() override { return state; }
    void ResetFind() override { state.reset(); }
    // "検索中止" / "置換中止".
    void cancel() {
        ResetFind();
        SetBusy(false);
    }
    bool passOpen() const { return state.HitCount != 0; }

    EngineOptions options() const override { return opts; }
    QString targetBook() const override { return book; }
    QList<SheetEntry> sheetEntries() const override { return entries; }
    void SetBusy(bool b) override { busy = b; }
    void AddSearchHistory() override { ++historyCalls; }
    void setGridActive(bool a) override { gridActive = a; }
    void setMainWindowEnabled(bool e) override { mainEnabled = e; }
    void setBusyPointer(bool on) override { pointer = on; }
    void AddResultRows(const QString& b, const QList<HitRow>& r) override {
        if (refuseRows)
            throw std::runtime_error("database is locked");
        nowUs += qint64(rowCostUs) * r.size();
        for (const HitRow& row : r) {
            rows.append(row);
            rowBooks.append(b);
            if (readCellsAtWrite)
                cellsAtWrite.append(cellText(b, row.sheet, row.range));
        }
    }
    void keepReplaced(const QString& b, const QList<ReplacedCell>& cells) override {
        ++replaceCalls;
        // While the host replaces, the count shown matches the rows listed.
        countBehindRows =
            countBehindRows || progress.isEmpty() || progress.last().rows != rows.size();
        if (paintsDuringCalls)
            paintedAt.append(nowMs());
        nowUs += replaceCallCostUs;
        if (paintsDuringCalls)
            paintedAt.append(nowMs());
        if (db)
            keepReplacedCells(*db, b, cells);
        kept += cells;
    }
    void commit() override { ++commits; }
    void showMessage(const QString& id) override { messages.append(id); }
    void showMessageWith(const QString& id, const QStringList& args) override {
        messages.append(id);
        messageArgs.append(args);
    }
    void beep() override { ++beeps; }
    void showProgress(const EngineProgress& p) override {
        progress.append(p);
        progressAt.append(nowMs());
    }
    void letEventsThrough() override {
        yieldsAt.append(nowMs());
        if (onYield)
            onYield();
    }

    // "Sheet!B2=value#seq" for every row written, in order.
    QStringList rowTexts() const {
        QStringList out;
        for (const HitRow& r : rows)
            out.append(QStringLiteral("%1!%2=%3#%4").arg(r.sheet, r.range, r.result).arg(r.seqNo));
        return out;
    }
    void select(const QStringList& names, const QStringList& selected) {
        entries.clear();
        for (const QString& n : names)
            entries.append({n, selected.contains(n)});
    }
};

QString cursor() {
    M02::CellPos p;
    M02::GetCurrentPos(p);
    return QStringLiteral("%1|%2|R%3C%4").arg(p.Book, p.Sheet).arg(p.Row).arg(p.Col);
}

// Largest stretch without a call, from the run's start to its end.
qint64 largestGap(const QList<qint64>& at, qint64 start, qint64 end) {
    qint64 gap = 0;
    qint64 last = start;
    for (qint64 t : at) {
        gap = std::max(gap, t - last);
        last = t;
    }
    return std::max(gap, end - last);
}

const char* const OrderBook = R"(
[book 検索.xlsx]
active
[sheet S]
active B2
A1 = x
B2 = x
C3 = x
A3 = x
)";

// Where the engine's clock starts: an afternoon, so that a 12-hour stamp
// shows.
const qint64 Afternoon = QDateTime(QDate(2024, 1, 5), QTime(13, 59, 59)).toMSecsSinceEpoch();

} // namespace

class EngineSuite : public QObject {
    Q_OBJECT

public:
    explicit EngineSuite(enginetest::EngineWorld& world) : m_world(world) {}

private:
    enginetest::EngineWorld& m_world;
    std::unique_ptr<StandIn> w;
    std::unique_ptr<SearchEngine> engine;

    void begin(const char* fixture, EngineMode mode, const QString& book, const QStringList& sheets,
               const QStringList& selected) {
        M02::SetConnector(m_world.start(u(fixture)));
        QVERIFY(M02::AttachExcel());
        w = std::make_unique<StandIn>();
        w->book = book;
        w->select(sheets, selected);
        engine = std::make_unique<SearchEngine>(mode, *w);
        engine->setClock([standIn = w.get()] { return Afternoon + standIn->nowMs(); });
        engine->setYieldIntervalMs(0);
    }

private slots:
    void cleanup() {
        m_world.hookOperations(nullptr);
        engine.reset();
        w.reset();
        m_world.shutdown();
        M02::SetConnector(nullptr);
        M02::ExcelApp.reset();
    }

    // All-at-once search: the options as the host's find arguments, the order
    // of rows (after the active cell, the active cell last; sheets in list
    // order), and a listed sheet that has gone.
    void searchAll_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("lookIn");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<QStringList>("rows");

        const QStringList s{"S"};
        QTest::newRow("only the active cell")
            << u("[book 検索.xlsx]\n[sheet S]\nactive B2\nB2 = x\n") << s << "x" << 0 << 0 << false
            << false << QStringList{"S!B2=x#0"};
        QTest::newRow("by rows from the active cell")
            << u(OrderBook) << s << "x" << 0 << 0 << false << false
            << QStringList{"S!A3=x#0", "S!C3=x#1", "S!A1=x#2", "S!B2=x#3"};
        QTest::newRow("by columns from the active cell")
            << u(OrderBook) << s << "x" << 1 << 0 << false << false
            << QStringList{"S!C3=x#0", "S!A1=x#1", "S!A3=x#2", "S!B2=x#3"};
        const QString notes = u("[book 検索.xlsx]\n[sheet S]\nA1 = memo\nnote C1 = memo\n"
                                "F1 = 1234 | | 1,234\n");
        QTest::newRow("comments") << notes << s << "memo" << 0 << 2 << false << false
                                  << QStringList{"S!C1=#0"};
        QTest::newRow("formulas") << notes << s << "memo" << 0 << 0 << false << false
                                  << QStringList{"S!A1=memo#0"};
        QTest::newRow("values") << notes << s << "1,234" << 0 << 1 << false << false
                                << QStringList{"S!F1=1234#0"};
        QTest::newRow("formulas miss the shown text")
            << notes << s << "1,234" << 0 << 0 << false << false << QStringList{};
        const QString ab = u("[book 検索.xlsx]\n[sheet S]\nA1 = ab\nA2 = a\nA3 = A\n");
        QTest::newRow("whole cell")
            << ab << s << "a" << 0 << 0 << true << false << QStringList{"S!A2=a#0", "S!A3=A#1"};
        QTest::newRow("whole cell, case")
            << ab << s << "a" << 0 << 0 << true << true << QStringList{"S!A2=a#0"};
        QTest::newRow("sheets in list order, a gone sheet skipped")
            << u("[book 検索.xlsx]\n[sheet S]\nA1 = x\n[sheet T]\nB5 = x\n[sheet U]\nC1 = x\n")
            << QStringList{"T", "Gone", "S"} << "x" << 0 << 0 << false << false
            << QStringList{"T!B5=x#0", "S!A1=x#1"};
    }

    void searchAll() {
        QFETCH(QString, fixture);
        QFETCH(QStringList, selected);
        begin(fixture.toUtf8().constData(), EngineMode::Search, u("検索.xlsx"),
              {"T", "Gone", "S", "U"}, selected);
        QFETCH(QString, what);
        QFETCH(int, direction);
        QFETCH(int, lookIn);
        QFETCH(bool, whole);
        QFETCH(bool, matchCase);
        QFETCH(QStringList, rows);
        w->opts.what = what;
        w->opts.directionIndex = direction;
        w->opts.lookInIndex = lookIn;
        w->opts.wholeCell = whole;
        w->opts.matchCase = matchCase;
        w->rowCostUs = 1500000; // each row stored moves the clock 1.5 s
        const QString start = cursor();

        engine->runAllClick();

        QCOMPARE(w->rowTexts(), rows);
        // Every row is stamped with the time it was found, 24-hour.
        QStringList stamps, expected;
        for (int i = 0; i < w->rows.size(); ++i) {
            stamps << w->rows[i].execute;
            expected << QDateTime::fromMSecsSinceEpoch(Afternoon + i * 1500 / 1000 * 1000)
                            .toString(u("yyyy/MM/dd HH:mm:ss"));
        }
        QCOMPARE(stamps, expected);
        QCOMPARE(w->messages, rows.isEmpty() ? QStringList{"N_F02_001"} : QStringList{});
        QCOMPARE(cursor(), start);
        QVERIFY(!w->busy && w->mainEnabled && !w->pointer && !w->gridActive);
        QVERIFY(w->state.NotRunning);
        // Rows are committed once per sheet that had any.
        QSet<QString> sheetsWithRows;
        for (const HitRow& r : w->rows)
            sheetsWithRows.insert(r.sheet);
        QCOMPARE(w->commits, int(sheetsWithRows.size()));
        QCOMPARE(w->progress.last().rows, qint64(rows.size()));
        QVERIFY(w->progress.last().finished);

        // A second click starts again at seq_no 0.
        w->rows.clear();
        engine->runAllClick();
        QCOMPARE(w->rowTexts(), rows);
    }

    // One-by-one: the pass over two sheets, its end, a new pass, and a pass
    // that finds nothing at all.
    void searchStepByStep() {
        begin(R"(
[book 検索.xlsx]
[sheet S1]
A1 = x
B1 = x
[sheet S2]
active
active C5
A1 = x
A2 = x
[sheet S3]
A1 = y
)",
              EngineMode::Search, u("検索.xlsx"), {"S1", "S2", "S3"}, {"S1", "S2"});
        w->opts.what = QStringLiteral("x");
        const QString start = cursor(); // S2, C5
        QStringList expected;
        const QStringList order{"S1!B1=x#0", "S1!A1=x#1", "S2!A1=x#2", "S2!A2=x#3"};
        for (const QString& row : order) {
            engine->stepClick();
            expected.append(row);
            QCOMPARE(w->rowTexts(), expected);
            QVERIFY(w->busy && w->gridActive && w->passOpen());
            QCOMPARE(w->commits, int(expected.size()));
        }
        QVERIFY(w->messages.isEmpty());
        engine->stepClick();
        QCOMPARE(w->messages, QStringList{"N_F02_002"});
        QCOMPARE(w->rows.size(), 4);
        QVERIFY(!w->busy && !w->passOpen());
        engine->stepClick(); // a new pass from the first selected sheet
        QCOMPARE(w->rowTexts().last(), QStringLiteral("S1!B1=x#0"));

        // An all-at-once run while the pass is open leaves the pass and the
        // busy state alone.
        engine->runAllClick();
        QCOMPARE(w->rows.size(), 9);
        QVERIFY(w->busy && w->passOpen() && w->mainEnabled);
        engine->stepClick();
        QCOMPARE(w->rowTexts().last(), QStringLiteral("S1!A1=x#1"));

        // "検索中止" closes the pass; a pass that finds nothing goes back to
        // where the cursor was at the click.
        w->cancel();
        QVERIFY(!w->busy && !w->passOpen());
        w->messages.clear();
        w->select({"S1", "S2", "S3"}, {"S3"});
        M02::GoToPos({u("検索.xlsx"), "S2", 5, 3});
        engine->stepClick();
        QCOMPARE(w->messages, QStringList{"N_F02_001"});
        QCOMPARE(cursor(), start);
        QVERIFY(!w->busy);

        // Refused with a beep: empty text, nothing selected.
        w->opts.what.clear();
        engine->stepClick();
        w->opts.what = QStringLiteral("x");
        w->select({"S1"}, {});
        engine->runAllClick();
        QCOMPARE(w->beeps, 2);
        // A closed target book is named.
        w->select({"S1"}, {"S1"});
        w->book = QStringLiteral("閉じた.xlsx");
        engine->runAllClick();
        QCOMPARE(w->messages.last(), QStringLiteral("E_F02_002"));
    }

    // "検索中止" / "置換中止" during an all-at-once run: the run ends after the
    // current row, rows and replacements made so far stay, the window leaves
    // the busy state and the cursor goes back.
    void stopDuringRun_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("search") << int(EngineMode::Search);
        QTest::newRow("replace") << int(EngineMode::Replace);
    }
    void stopDuringRun() {
        QFETCH(int, mode);
        begin("[book B.xlsx]\n[sheet S]\nA1 = a\nA2 = a\nA3 = a\nA4 = a\nA5 = a\n[sheet T]\nA1 = "
              "a\n",
              EngineMode(mode), QStringLiteral("B.xlsx"), {"S", "T"}, {"S", "T"});
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("b");
        const QString start = cursor();
        w->onYield = [&] {
            QVERIFY(!w->mainEnabled && w->busy && !w->state.NotRunning);
            engine->runAllClick(); // a second click while running is refused
            if (w->rows.size() == 2)
                w->cancel();
        };
        engine->runAllClick();
        QCOMPARE(w->rowTexts(), (QStringList{"S!A2=a#0", "S!A3=a#1"}));
        QCOMPARE(w->beeps, int(w->yieldsAt.size()));
        QVERIFY(w->state.NotRunning && !w->busy && w->mainEnabled);
        QCOMPARE(cursor(), start);
        QVERIFY(w->messages.isEmpty());
        QCOMPARE(w->progress.last().rows, qint64(2));
        // The status line says the run was stopped, not that it completed.
        QVERIFY2(progressText(EngineMode(mode), w->progress.last())
                     .startsWith(EngineMode(mode) == EngineMode::Search ? u("検索中止: 2 件")
                                                                        : u("置換中止: 2 件")),
                 qPrintable(progressText(EngineMode(mode), w->progress.last())));
        const QString changed = EngineMode(mode) == EngineMode::Replace ? "b" : "a";
        QCOMPARE(cellText("B.xlsx", "S", "A2"), changed);
        QCOMPARE(cellText("B.xlsx", "S", "A3"), changed);
        QCOMPARE(cellText("B.xlsx", "S", "A4"), QStringLiteral("a"));
        QCOMPARE(cellText("B.xlsx", "T", "A1"), QStringLiteral("a"));
    }

    // A stop while the sheet is still being read (a large sheet is read a
    // band at a time) ends the run with nothing found yet: the status line
    // says it was stopped, and no notice claims there was nothing to find.
    void stopDuringRead_saysStoppedNotNotFound_data() { stopDuringRun_data(); }
    void stopDuringRead_saysStoppedNotNotFound() {
        QFETCH(int, mode);
        begin("[book B.xlsx]\n[sheet S]\nA1 = a\nA70000 = a\n", EngineMode(mode),
              QStringLiteral("B.xlsx"), {"S"}, {"S"});
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("b");
        w->onYield = [&] { w->cancel(); };
        engine->runAllClick();
        QVERIFY(!w->yieldsAt.isEmpty());
        QVERIFY(w->rows.isEmpty());
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->messages.join(QLatin1Char(' '))));
        QVERIFY(w->progress.last().stopped);
        QCOMPARE(cellText("B.xlsx", "S", "A1"), QStringLiteral("a"));
    }

    // A long run lets events through whenever 15 ms have passed and reports
    // its progress each time, also while a slow work database stores its rows
    // (0.3 ms a row): no stretch without events reaches 50 ms, none without
    // progress 100 ms. Time here is the engine's clock, which only the row
    // writer (and a replace call's fixed cost) moves; bench/engine_bench
    // prints the stretches on a real clock. A host whose replace call costs
    // 20 ms whatever its size (as Calc's does) still gets batches of dozens
    // of cells, not one call per cell; when the windows paint during its
    // calls, batches grow until storing their rows alone would stop the
    // windows for too long, and there are fewer calls still.
    void longRunStaysResponsive_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("callCostMs");
        QTest::addColumn<bool>("paints");
        QTest::addColumn<int>("maxCalls");
        QTest::newRow("search") << int(EngineMode::Search) << 0 << false << 0;
        QTest::newRow("replace") << int(EngineMode::Replace) << 0 << false << 1000;
        QTest::newRow("replace, 20 ms a call") << int(EngineMode::Replace) << 20 << false << 50;
        QTest::newRow("replace, 60 ms a call") << int(EngineMode::Replace) << 60 << false << 50;
        QTest::newRow("replace, 20 ms a painted call")
            << int(EngineMode::Replace) << 20 << true << 20;
    }
    void longRunStaysResponsive() {
        QFETCH(int, mode);
        QFETCH(int, callCostMs);
        QFETCH(bool, paints);
        QFETCH(int, maxCalls);
        QString fixture = QStringLiteral("[book B.xlsx]\n[sheet S]\n");
        const int hits = 1000;
        for (int i = 1; i <= hits; ++i)
            fixture += QStringLiteral("A%1 = x%1\n").arg(i);
        begin(fixture.toUtf8().constData(), EngineMode(mode), QStringLiteral("B.xlsx"), {"S"},
              {"S"});
        const int interval = 15;
        engine->setYieldIntervalMs(interval);
        w->rowCostUs = 300;
        w->replaceCallCostUs = callCostMs * 1000;
        m_world.setPaintsDuringCalls(paints);
        if (M02::ExcelApp->paintsDuringCalls() != paints) {
            if (callCostMs > 0)
                QSKIP("this host's windows-paint answer is fixed otherwise");
            paints = !paints;
        }
        w->paintsDuringCalls = paints;
        w->opts.what = QStringLiteral("x");
        w->opts.replacement = QStringLiteral("y");
        engine->runAllClick();
        const qint64 end = w->nowMs();
        QCOMPARE(w->rows.size(), hits);
        QCOMPARE(end,
                 (qint64(hits) * w->rowCostUs + qint64(w->replaceCalls) * w->replaceCallCostUs) /
                     1000);
        QVERIFY2(w->replaceCalls <= maxCalls, qPrintable(QString::number(w->replaceCalls)));
        QVERIFY(!w->countBehindRows);
        // The sheet is named before its rows come, while it is read.
        QCOMPARE(w->progress.first().rows, qint64(0));
        QVERIFY(w->yieldsAt.size() >= 2);
        for (qsizetype i = 1; i < w->yieldsAt.size(); ++i)
            QVERIFY(w->yieldsAt[i] - w->yieldsAt[i - 1] >= interval);
        QList<qint64> eventsAt = w->yieldsAt + w->paintedAt;
        std::sort(eventsAt.begin(), eventsAt.end());
        const qint64 gap = largestGap(eventsAt, 0, end);
        const qint64 progressGap = largestGap(w->progressAt, 0, end);
        // A call that alone takes longer cannot be helped, unless the windows
        // paint during it.
        QVERIFY2(gap <= (paints ? 50 : std::max(50, callCostMs + 20)),
                 qPrintable(QString::number(gap)));
        QVERIFY2(progressGap <= 100, qPrintable(QString::number(progressGap)));
        for (const EngineProgress& p : w->progress.mid(0, w->progress.size() - 1))
            QCOMPARE(p.sheet, QStringLiteral("S"));
        QVERIFY(w->progress.last().finished);
        QCOMPARE(w->progress.last().rows, qint64(hits));
        QCOMPARE(w->progress.last().elapsedMs, end);
        if (EngineMode(mode) == EngineMode::Replace)
            QCOMPARE(cellText("B.xlsx", "S", "A1000"), QStringLiteral("y1000"));
        QCOMPARE(progressText(EngineMode::Search, {"S", 1234, false, 0}),
                 u("検索中: シート「S」 1,234 件"));
        QCOMPARE(progressText(EngineMode::Replace, {"S", 300, true, 2345}),
                 u("置換完了: 300 件（2.3 秒）"));
    }

    // All-at-once replace: rows hold the old value and are written before the
    // cell changes; each cell is taken once, even when it keeps matching.
    void replaceAll_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("cells"); // A1, A2, B1 afterwards

        const QString two = u("[book B.xlsx]\n[sheet S]\nA1 = a\nA2 = a\nB1 = c\n");
        QTest::newRow("a to b") << two << "a"
                                << "b" << false << QStringList{"S!A2=a#0", "S!A1=a#1"}
                                << QStringList{"b", "b", "c"};
        QTest::newRow("a to aa") << u("[book B.xlsx]\n[sheet S]\nA1 = a\nA2 = xa\nB1 = c\n") << "a"
                                 << "aa" << false << QStringList{"S!A2=xa#0", "S!A1=a#1"}
                                 << QStringList{"aa", "xaa", "c"};
        QTest::newRow("every occurrence in the cell")
            << u("[book B.xlsx]\n[sheet S]\nA1 = a-a\nB1 = c\n") << "a"
            << "b" << false << QStringList{"S!A1=a-a#0"} << QStringList{"b-b", "", "c"};
        QTest::newRow("empty replacement")
            << u("[book B.xlsx]\n[sheet S]\nA1 = abc\nA2 = b\nB1 = c\n") << "b"
            << "" << false << QStringList{"S!A2=b#0", "S!A1=abc#1"} << QStringList{"ac", "", "c"};
        QTest::newRow("whole cell")
            << u("[book B.xlsx]\n[sheet S]\nA1 = a\nA2 = ab\nB1 = c\n") << "a"
            << "z" << true << QStringList{"S!A1=a#0"} << QStringList{"z", "ab", "c"};
        QTest::newRow("nothing") << two << "q"
                                 << "b" << false << QStringList{} << QStringList{"a", "a", "c"};
    }

    void replaceAll() {
        QFETCH(QString, fixture);
        QFETCH(QString, what);
        QFETCH(QString, replacement);
        QFETCH(bool, whole);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, cells);
        begin(fixture.toUtf8().constData(), EngineMode::Replace, QStringLiteral("B.xlsx"), {"S"},
              {"S"});
        w->opts.what = what;
        w->opts.replacement = replacement;
        w->opts.wholeCell = whole;
        w->readCellsAtWrite = true;
        const QString start = cursor();
        engine->runAllClick();
        QCOMPARE(w->rowTexts(), rows);
        // Each row was stored while its cell still held the old value.
        QStringList oldValues;
        for (const HitRow& r : w->rows)
            oldValues.append(r.result);
        QCOMPARE(w->cellsAtWrite, oldValues);
        QCOMPARE((QStringList{cellText("B.xlsx", "S", "A1"), cellText("B.xlsx", "S", "A2"),
                              cellText("B.xlsx", "S", "B1")}),
                 cells);
        QCOMPARE(w->messages, rows.isEmpty() ? QStringList{"N_F03_001"} : QStringList{});
        QCOMPARE(cursor(), start);
        QVERIFY(!w->busy && w->mainEnabled);
    }

    // An expression that does not parse is refused, named with the parser's
    // words and place, before any cell is touched.
    void badRegexRefusedBeforeTheRun() {
        begin("[book B.xlsx]\n[sheet S]\nB1 = (c\n", EngineMode::Replace, QStringLiteral("B.xlsx"),
              {"S"}, {"S"});
        w->opts.what = QStringLiteral("(c");
        w->opts.replacement = QStringLiteral("x");
        w->opts.useRegex = true;
        engine->runAllClick();
        QCOMPARE(w->messages, QStringList{"E_F03_007"});
        QCOMPARE(w->messageArgs.last().value(0), QStringLiteral("(c"));
        QVERIFY(!w->messageArgs.last().value(1).isEmpty());
        QCOMPARE(w->messageArgs.last().value(2), QStringLiteral("2")); // ran off the end
        QVERIFY(w->rows.isEmpty() && !w->busy);
        QCOMPARE(cellText("B.xlsx", "S", "B1"), QStringLiteral("(c"));
    }

    // On a protected sheet only its unlocked cell changes: every occurrence
    // keeps its row, but the count, the status line and the notice tell the
    // refused ones apart, and the kept log marks them, all at once and one
    // by one alike.
    void refusedCellsCountedApart_data() {
        QTest::addColumn<bool>("allAtOnce");
        QTest::newRow("all at once") << true;
        QTest::newRow("one by one") << false;
    }
    void refusedCellsCountedApart() {
        QFETCH(bool, allAtOnce);
        begin("[book B.xlsx]\n[sheet S]\nprotected\nunlocked A2\nA1 = a\nA2 = a\nA3 = a\n",
              EngineMode::Replace, QStringLiteral("B.xlsx"), {"S"}, {"S"});
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("b");
        if (allAtOnce)
            engine->runAllClick();
        else
            for (int click = 0; click < 4; ++click)
                engine->stepClick();
        QCOMPARE(w->rowTexts(), (QStringList{"S!A2=a#0", "S!A3=a#1", "S!A1=a#2"}));
        QCOMPARE((QStringList{cellText("B.xlsx", "S", "A1"), cellText("B.xlsx", "S", "A2"),
                              cellText("B.xlsx", "S", "A3")}),
                 (QStringList{"a", "b", "a"}));
        QStringList refused;
        for (const ReplacedCell& c : w->kept)
            refused.append(c.range + (c.refused ? QStringLiteral(" refused") : QString()));
        QCOMPARE(refused, (QStringList{"A2", "A3 refused", "A1 refused"}));
        const EngineProgress last = w->progress.last();
        QVERIFY(last.finished);
        const QString said = u("置換完了: 1 件（保護のため 2 件は置換できませんでした）");
        QVERIFY2(allAtOnce ? progressText(EngineMode::Replace, last).startsWith(said + u("（"))
                           : progressText(EngineMode::Replace, last) == said,
                 qPrintable(progressText(EngineMode::Replace, last)));
        // All at once: one notice at the end; one by one: at each refusal,
        // with the pass's totals, before the pass runs out.
        const QStringList notices = allAtOnce ? QStringList{"N_F03_004"}
                                              : QStringList{"N_F03_004", "N_F03_004", "N_F03_002"};
        QCOMPARE(w->messages, notices);
        QCOMPARE(w->messageArgs.last(), (QStringList{"1", "2"}));
    }

    // One-by-one replace: one cell per click, then the pass runs out.
    void replaceStepByStep() {
        begin("[book B.xlsx]\n[sheet S]\nA1 = a\nA2 = a\n", EngineMode::Replace,
              QStringLiteral("B.xlsx"), {"S"}, {"S"});
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("aa");
        engine->stepClick();
        QCOMPARE(w->rowTexts(), QStringList{"S!A2=a#0"});
        QCOMPARE(cellText("B.xlsx", "S", "A2"), QStringLiteral("aa"));
        QCOMPARE(cellText("B.xlsx", "S", "A1"), QStringLiteral("a"));
        engine->stepClick();
        QCOMPARE(cellText("B.xlsx", "S", "A1"), QStringLiteral("aa"));
        engine->stepClick();
        QCOMPARE(w->rowTexts(), (QStringList{"S!A2=a#0", "S!A1=a#1"}));
        QCOMPARE(w->messages, QStringList{"N_F03_002"});
        QVERIFY(!w->busy);
        w->book = QStringLiteral("閉じた.xlsx");
        engine->stepClick();
        QCOMPARE(w->messages.last(), QStringLiteral("E_F03_002"));
    }

    // One-by-one replace when the host refuses: a cell that cannot be made
    // the active cell is not replaced and no other cell is replaced in its
    // place; a cell whose replacement was refused keeps matching, is taken
    // once, and the pass still runs out although its first cell no longer
    // matches.
    void replaceWhenTheHostRefuses_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("failAt"); // the n-th call of that operation fails (0: all)
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("activation") << "Range.activate" << 0 << QStringList{"a", "a", "c"};
        QTest::newRow("second replacement")
            << "Sheet.replaceCells" << 2 << QStringList{"a", "b", "c"};
    }
    void replaceWhenTheHostRefuses() {
        QFETCH(QString, failing);
        QFETCH(int, failAt);
        QFETCH(QStringList, cells);
        begin("[book B.xlsx]\n[sheet S]\nA1 = a\nA2 = a\nB1 = c\n", EngineMode::Replace,
              QStringLiteral("B.xlsx"), {"S"}, {"S"});
        int calls = 0;
        if (!m_world.hookOperations([&](const QString& op) {
                if (op == failing && (++calls == failAt || failAt == 0))
                    throw host::HostError(QStringLiteral("refused"));
            }))
            QSKIP("this host cannot refuse operations on demand");
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("b");
        for (int click = 0; click < 5 && w->messages.isEmpty(); ++click)
            engine->stepClick();
        m_world.hookOperations(nullptr);
        QCOMPARE(w->rowTexts(), (QStringList{"S!A2=a#0", "S!A1=a#1"}));
        QCOMPARE(w->messages, QStringList{"N_F03_002"});
        QCOMPARE((QStringList{cellText("B.xlsx", "S", "A1"), cellText("B.xlsx", "S", "A2"),
                              cellText("B.xlsx", "S", "B1")}),
                 cells);
    }

    // The host goes away (closed, crashed) in the middle of a click: the
    // click stops with the window's message, the rows written so far stay,
    // the window leaves the busy state with the main window enabled and no
    // pass left open, and once a host runs again the next click works in it.
    void hostGoesAwayMidClick_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("allAtOnce");
        QTest::addColumn<QString>("message");
        QTest::newRow("search all") << int(EngineMode::Search) << true << "E_F02_006";
        QTest::newRow("replace all") << int(EngineMode::Replace) << true << "E_F03_006";
        QTest::newRow("search one by one") << int(EngineMode::Search) << false << "E_F02_006";
        QTest::newRow("replace one by one") << int(EngineMode::Replace) << false << "E_F03_006";
    }
    void hostGoesAwayMidClick() {
        QFETCH(int, mode);
        QFETCH(bool, allAtOnce);
        QFETCH(QString, message);
        const char* fixture = "[book B.xlsx]\n[sheet S]\nA1 = a\nA2 = a\nA3 = a\n"
                              "[sheet T]\nA1 = a\nA2 = a\n";
        begin(fixture, EngineMode(mode), QStringLiteral("B.xlsx"), {"S", "T"}, {"S", "T"});
        struct NoHost : host::Connector {
            host::ApplicationPtr attach() override { return nullptr; }
            host::ApplicationPtr start() override { return nullptr; }
        };
        bool armed = false; // one by one: the host goes away in its next find
        bool gone = false;
        const auto goAway = [&] {
            gone = true;
            M02::SetConnector(std::make_shared<NoHost>());
        };
        if (!m_world.hookOperations([&](const QString& op) {
                if (armed && op == QLatin1String("Range.find"))
                    goAway();
                if (gone)
                    throw host::HostError(QStringLiteral("The connection to the host is gone"));
            }))
            QSKIP("this host cannot be made to go away on demand");
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("b");
        // All at once: gone after the second row, so that the third row of S
        // is the last; one by one: gone in the second click.
        const QStringList kept =
            allAtOnce ? QStringList{"S!A2=a#0", "S!A3=a#1", "S!A1=a#2"} : QStringList{"S!A2=a#0"};
        if (allAtOnce) {
            w->onYield = [&] {
                if (w->rows.size() == 2)
                    goAway();
            };
            engine->runAllClick();
        } else {
            engine->stepClick();
            armed = true;
            engine->stepClick();
        }
        QCOMPARE(w->rowTexts(), kept);
        QCOMPARE(w->messages, QStringList{message});
        QVERIFY(w->state.NotRunning && !w->busy && w->mainEnabled && !w->passOpen());
        QVERIFY(!allAtOnce || w->progress.last().stopped);

        w->onYield = nullptr;
        m_world.hookOperations(nullptr);
        M02::SetConnector(m_world.start(u(fixture)));
        w->rows.clear();
        w->messages.clear();
        if (allAtOnce)
            engine->runAllClick();
        else
            engine->stepClick();
        QCOMPARE(w->rows.size(), allAtOnce ? 5 : 1);
        QVERIFY(w->messages.isEmpty());
        if (EngineMode(mode) == EngineMode::Replace)
            QCOMPARE(cellText("B.xlsx", "S", "A2"), QStringLiteral("b"));
    }

    // A cell whose row cannot be stored keeps its text: its old value would
    // otherwise be lost.
    void replaceNeedsItsRowStored() {
        begin("[book B.xlsx]\n[sheet S]\nA1 = a\nA2 = a\n", EngineMode::Replace,
              QStringLiteral("B.xlsx"), {"S"}, {"S"});
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("b");
        w->refuseRows = true;
        engine->runAllClick();
        engine->stepClick();
        QCOMPARE(cellText("B.xlsx", "S", "A1"), QStringLiteral("a"));
        QCOMPARE(cellText("B.xlsx", "S", "A2"), QStringLiteral("a"));
        QVERIFY(w->rows.isEmpty());
    }

    // Undoing chosen rows of the replace list from the kept log: each cell
    // gets back exactly what it held, of the same kind (a formula, a number,
    // a text that reads as a number, a date); a refused replacement has
    // nothing to undo. A log kept before the kinds were (older columns,
    // entries with the value text alone) keeps working, and an entry whose
    // text could be of several kinds is left alone and counted apart.
    void revertFromTheLog() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("work.mdb"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        Korvex_C01 db;
        db.Connect(path);
        db.Execute(QStringLiteral("create table w_replace_written ( book text, sheet text, range "
                                  "text, execute text, seq_no integer, before_value text, "
                                  "written text, primary key (execute, seq_no, book, sheet, "
                                  "range) );"),
                   true);
        QSqlQuery old(db.DBase());
        QVERIFY(old.exec(QStringLiteral(
            "insert into w_replace_written values ('R.xlsx', 'S', 'B1', '2000/01/01 00:00:00', 0, "
            "'x', 'y'), ('R.xlsx', 'S', 'B2', '2000/01/01 00:00:00', 1, '007', '9');")));
        old.finish();
        createReplaceLog(db);

        begin(R"(
[book R.xlsx]
active
[sheet S]
A1 = a
A2 = a
A3 = 12
A4 = ="a"&"x" | ax
A5 = '0012
A6 = 2024/2/29
B1 = y
B2 = 9
[sheet P]
protected
unlocked A2
A1 = 0
A2 = 0
[book O.xlsx]
[sheet S]
A1 = a
)",
              EngineMode::Replace, QStringLiteral("R.xlsx"), {"S", "P"}, {"S"});
        w->db = &db;
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("b");
        engine->runAllClick();
        w->opts.what = QStringLiteral("2");
        w->opts.replacement = QStringLiteral("5");
        engine->stepClick();
        w->cancel();
        w->select({"S", "P"}, {"S", "P"});
        w->opts.what = QStringLiteral("0");
        w->opts.replacement = QStringLiteral("9");
        engine->runAllClick();
        w->book = QStringLiteral("O.xlsx");
        w->select({"S"}, {"S"});
        w->opts.what = QStringLiteral("a");
        w->opts.replacement = QStringLiteral("b");
        engine->runAllClick();
        QCOMPARE(w->rows.size(), 9);
        QCOMPARE(cellText("R.xlsx", "S", "A3"), QStringLiteral("15"));
        QCOMPARE(cellText("R.xlsx", "S", "A6"), QStringLiteral("2924/92/29"));

        // Since then: one cell changed by hand, one book closed.
        M02::ExcelApp->workbook("R.xlsx")->worksheet("S")->range("A2")->setValue("zzz");
        M02::ExcelApp->workbook("O.xlsx")->close(false);

        QList<RevertRow> chosen{{"R.xlsx", "S", "B1", "2000/01/01 00:00:00", 0},
                                {"R.xlsx", "S", "B2", "2000/01/01 00:00:00", 1}};
        for (int i = 0; i < w->rows.size(); ++i)
            chosen.append({w->rowBooks[i], w->rows[i].sheet, w->rows[i].range, w->rows[i].execute,
                           w->rows[i].seqNo});
        const RevertOutcome first = revertRows(db, chosen);
        QCOMPARE(first.reverted, 7);
        QCOMPARE(first.changedSince, 1);
        QCOMPARE(first.unreachable, 1);
        QCOMPARE(first.notKept, 0);
        QCOMPARE(first.neverReplaced, 1);
        QCOMPARE(first.kindLost, 1); // B2: "007" may have been a number or a text
        const auto s = M02::ExcelApp->workbook("R.xlsx")->worksheet("S");
        const std::pair<const char*, QVariant> back[] = {
            {"A1", "a"},
            {"A2", "zzz"},
            {"A3", 12.0},
            {"A5", "0012"},
            {"A6", QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC)},
            {"B1", "x"},
            {"B2", 9.0}};
        for (const auto& [at, value] : back) {
            const QVariant now = s->range(at)->value();
            QVERIFY2(now.typeId() == value.typeId() &&
                         host::valueText(now) == host::valueText(value),
                     at);
        }
        QVERIFY(host::valueText(s->range("A4")->value()) != QStringLiteral("bx"));
        QCOMPARE(cellText("R.xlsx", "P", "A2"), QStringLiteral("0"));

        // Undone rows have nothing left to undo.
        const RevertOutcome again = revertRows(db, chosen);
        QCOMPARE(again.reverted, 0);
        QCOMPARE(again.notKept, 7);
        QCOMPARE(again.changedSince, 1);
        QCOMPARE(again.unreachable, 1);
        QCOMPARE(again.neverReplaced, 1);
        QCOMPARE(again.kindLost, 1);
        db.DisConnect();
    }
};

int korvex::enginetest::runEngineSuite(EngineWorld& world, int argc, char** argv) {
    EngineSuite suite(world);
    return QTest::qExec(&suite, argc, argv);
}

#include "engine_suite.moc"
