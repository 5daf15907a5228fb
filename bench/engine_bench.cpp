// The all-at-once search on the simulated host, every row going through the
// row writer into w_sort and into the result list's model as the window does
// it: rows recorded per second into an empty table, and the cost of a row with
// 1,000,000 rows already stored against the empty table. Prints the figures
// and their ratio. Then how responsive a run stays while a slow work database
// takes 0.3 ms a row: the longest stretches without events and without a
// progress report (goals 50 ms and 100 ms).

#include "app_state.h"
#include "bench_window.h"
#include "host_helpers.h"
#include "result_model.h"
#include "result_table.h"
#include "search_engine.h"
#include "sim_host.h"
#include "work_database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace korvex;
using namespace korvex::findreplace;

namespace {

constexpr int Hits = 200000;
constexpr int Stored = 1000000;
constexpr int SlowHits = 1000;
constexpr int SlowRowUs = 300;

// The window over a work database that takes its time over every row, noting
// when events are let through and progress is shown.
class SlowWindow : public bench::BenchWindow {
public:
    using bench::BenchWindow::BenchWindow;
    QElapsedTimer clock;
    QList<qint64> yieldsAt;
    QList<qint64> progressAt;

    void AddResultRows(const QString& book, const QList<HitRow>& rows) override {
        QThread::usleep(ulong(SlowRowUs) * ulong(rows.size()));
        bench::BenchWindow::AddResultRows(book, rows);
    }
    void showProgress(const EngineProgress&) override { progressAt.append(clock.elapsed()); }
    void letEventsThrough() override {
        yieldsAt.append(clock.elapsed());
        bench::BenchWindow::letEventsThrough();
    }
};

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Wall time of one click; `cpu` gets the processor time it took, which other
// programs on a busy machine do not inflate.
double runOnce(SearchEngine& engine, ResultModel& model, double& cpu) {
    const int before = model.rowCount();
    QElapsedTimer t;
    t.start();
    const double cpuBefore = processCpuSeconds();
    engine.runAllClick();
    cpu = processCpuSeconds() - cpuBefore;
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    if (model.rowCount() - before != Hits)
        std::printf("expected %d new rows, got %d\n", Hits, model.rowCount() - before);
    return seconds;
}

// Longest stretch without a call, from the first call to `end`.
qint64 largestGap(const QList<qint64>& at, qint64 end) {
    qint64 gap = 0;
    for (qsizetype i = 1; i < at.size(); ++i)
        gap = std::max(gap, at[i] - at[i - 1]);
    return at.isEmpty() ? end : std::max(gap, end - at.last());
}

void fillTable(Korvex_C01& db, int rows) {
    QSqlDatabase base = db.DBase();
    base.transaction();
    QSqlQuery q(base);
    q.prepare(QStringLiteral("insert into w_sort values (?, ?, ?, ?, ?, ?, ?);"));
    for (int i = 0; i < rows; ++i) {
        q.addBindValue(QStringLiteral("old.xlsx"));
        q.addBindValue(QStringLiteral("Sheet1"));
        q.addBindValue(QStringLiteral("B%1").arg(i % 1048576 + 1));
        q.addBindValue(QStringLiteral("x"));
        q.addBindValue(QStringLiteral("x%1").arg(i));
        q.addBindValue(QStringLiteral("2020/01/01 00:00:00"));
        q.addBindValue(i);
        q.exec();
    }
    base.commit();
    // Every start folds a left-over write-ahead log into the file, so a run
    // never begins with one full of old rows waiting to be copied back.
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE);"));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    QFile(path).open(QIODevice::WriteOnly);
    Korvex_C01 db;
    db.Connect(path);
    CreateResultTable(db, ResultKind::Search);

    QString fixture = QStringLiteral("[book bench.xlsx]\n[sheet S]\n");
    for (int i = 1; i <= Hits; ++i)
        fixture += QStringLiteral("A%1 = x%1\n").arg(i);
    QString error;
    auto connector = sim::SimConnector::fromFixtureText(fixture, &error);
    if (!connector) {
        std::printf("fixture: %s\n", qPrintable(error));
        return 1;
    }
    Korvex_M02::SetConnector(connector);

    ResultModel model(ResultKind::Search, db);
    model.bind();
    bench::BenchWindow window(model, db, QStringLiteral("bench.xlsx"),
                              {{QStringLiteral("S"), true}});
    window.opts.what = QStringLiteral("x");
    SearchEngine engine(EngineMode::Search, window);

    double emptyCpu = 0;
    const double empty = runOnce(engine, model, emptyCpu);
    fillTable(db, Stored - Hits);
    model.bind();
    double fullCpu = 0;
    const double full = runOnce(engine, model, fullCpu);

    std::printf("simulated host, all-at-once search of %d occurrences into w_sort and the list "
                "model\n",
                Hits);
    std::printf("  empty table:        %.3f s, %.0f rows/s, %.2f us a row\n", empty, Hits / empty,
                empty / Hits * 1e6);
    std::printf("  %d rows stored: %.3f s, %.0f rows/s, %.2f us a row\n", Stored, full, Hits / full,
                full / Hits * 1e6);
    std::printf("  ratio stored/empty: %.2f (goal <= 1.2); goal >= 100000 rows/s\n", full / empty);
    std::printf("  processor time: %.0f rows/s empty, %.0f rows/s stored, ratio %.2f\n",
                Hits / emptyCpu, Hits / fullCpu, fullCpu / emptyCpu);

    // A slow work database: the stretches the user waits for an answer.
    QString slowFixture = QStringLiteral("[book bench.xlsx]\n[sheet S]\n");
    for (int i = 1; i <= SlowHits; ++i)
        slowFixture += QStringLiteral("A%1 = x%1\n").arg(i);
    Korvex_M02::SetConnector(sim::SimConnector::fromFixtureText(slowFixture, &error));
    ResultModel slowModel(ResultKind::Search, db);
    slowModel.bind();
    SlowWindow slow(slowModel, db, QStringLiteral("bench.xlsx"), {{QStringLiteral("S"), true}});
    slow.opts.what = QStringLiteral("x");
    SearchEngine slowEngine(EngineMode::Search, slow);
    slow.clock.start();
    slowEngine.runAllClick();
    const qint64 end = slow.clock.elapsed();
    std::printf("all-at-once search of %d occurrences, %d us a row to store: %lld ms\n", SlowHits,
                SlowRowUs, (long long)end);
    std::printf("  longest stretch without events:   %lld ms (goal <= 50), %lld event pumps\n",
                (long long)largestGap(slow.yieldsAt, end), (long long)slow.yieldsAt.size());
    std::printf("  longest stretch without progress: %lld ms (goal <= 100)\n",
                (long long)largestGap(slow.progressAt, end));
    Korvex_M02::SetConnector(nullptr);
    Korvex_M02::ExcelApp.reset();
    return 0;
}
