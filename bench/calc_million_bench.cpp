// The all-at-once search of a sheet of a million filled cells (20 columns of
// 50,000 rows) holding 100,000 occurrences, on a real LibreOffice Calc.
//
// Time: the search window's all-at-once search (every row into w_sort and the
// list's model), in formulas and in values, against the fastest listing UNO
// offers: findAll, the addresses of the ranges it returns and one
// getDataArray of the used area for the values. Each ratio is against the
// listing measured in the same round; the median of the rounds (five, or
// KORVEX_BENCH_ROUNDS) and their range are printed.
//
// Memory: Korvex's peak resident memory during each run above what it held
// just before it (the kernel's high-water mark, reset before the run; a
// sampling thread where that cannot be reset), per cell searched.
//
// Responsiveness: a list over the model is shown while the run goes on, a
// timer measures the longest stretch the event loop did not turn, and a
// wheel turn is posted to the list every 20 ms: the longest wait until one
// reaches it (scrolls it) is the longest the user could not scroll.
//
// The host's read alone (Sheet::findAll in formulas) is measured too, once
// in bands as the engine reads and once as a single read of the whole sheet.

#include "app_state.h"
#include "bench_window.h"
#include "calc_bench_support.h"
#include "calc_fixtures.h"
#include "calc_model.h"
#include "private_office.h"
#include "result_model.h"
#include "search_engine.h"
#include "uno_text.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <thread>

using namespace korvex;
using namespace korvex::bench;
namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr int Rows = 50000;
constexpr int Columns = 20;
constexpr int FillRows = 2500; // rows per call while the sheet is built

// Every tenth cell holds an occurrence.
void buildSheet(const calc::SessionPtr& session, const calc::DocRef& doc, int sheetIndex) {
    for (int top = 0; top < Rows; top += FillRows) {
        Sequence<Sequence<Any>> data(FillRows);
        for (int r = 0; r < FillRows; ++r) {
            Sequence<Any> row(Columns);
            for (int c = 0; c < Columns; ++c) {
                const int n = (top + r) * Columns + c;
                row.getArray()[c] <<= calc::toUno(n % 10 == 0 ? QStringLiteral("hit %1").arg(n)
                                                              : QStringLiteral("item %1").arg(n));
            }
            data.getArray()[r] = row;
        }
        session->run(
            [doc, sheetIndex, top, data] {
                Reference<css::sheet::XCellRangeData> range(
                    unoSheet(doc, sheetIndex)
                        ->getCellRangeByPosition(0, top, Columns - 1, top + FillRows - 1),
                    UNO_QUERY_THROW);
                range->setDataArray(data);
            },
            Minutes);
    }
}

// A change Korvex did not make, so that no run answers from what the one
// before it read.
void touch(const calc::SessionPtr& session, const calc::DocRef& doc, int sheetIndex, int n) {
    session->run(
        [doc, sheetIndex, n] { unoSheet(doc, sheetIndex)->getCellByPosition(0, 0)->setValue(n); });
}

qint64 statusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The peak resident memory of a stretch of work above what was resident when
// it began.
class PeakMemory {
public:
    void start() {
        malloc_trim(0);
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        m_kernel = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        m_idleKb = statusKb("VmRSS");
        m_peakKb = m_idleKb;
        if (m_kernel)
            return;
        m_sampling = true;
        m_sampler = std::thread([this] {
            while (m_sampling) {
                m_peakKb = std::max(m_peakKb.load(), statusKb("VmRSS"));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    // Kilobytes above the start.
    qint64 stop() {
        if (m_kernel) {
            m_peakKb = statusKb("VmHWM");
        } else {
            m_sampling = false;
            m_sampler.join();
        }
        return m_peakKb - m_idleKb;
    }
    bool kernel() const { return m_kernel; }
    qint64 idleKb() const { return m_idleKb; }

private:
    bool m_kernel = false;
    qint64 m_idleKb = 0;
    std::atomic<qint64> m_peakKb{0};
    std::atomic<bool> m_sampling{false};
    std::thread m_sampler;
};

// The event loop's longest pause and the longest wait of a wheel turn on the
// list, while alive.
class Responsiveness : public QObject {
public:
    explicit Responsiveness(QTableView& view) : m_view(view) {
        m_view.viewport()->installEventFilter(this);
        m_clock.start();
        m_lastTick = 0;
        m_ticker.setInterval(5);
        connect(&m_ticker, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            longestStallMs = std::max(longestStallMs, now - m_lastTick);
            m_lastTick = now;
        });
        m_wheel.setInterval(20);
        connect(&m_wheel, &QTimer::timeout, this, [this] {
            const QPointF at(10, 10);
            m_posted.push_back(m_clock.elapsed());
            QCoreApplication::postEvent(m_view.viewport(),
                                        new QWheelEvent(at, m_view.viewport()->mapToGlobal(at),
                                                        QPoint(), QPoint(0, -120), Qt::NoButton,
                                                        Qt::NoModifier, Qt::NoScrollPhase, false));
        });
        m_ticker.start();
        m_wheel.start();
    }
    ~Responsiveness() override { m_view.viewport()->removeEventFilter(this); }
    void stop() {
        m_ticker.stop();
        m_wheel.stop();
        // Turns still held are waiting still: count them at the end.
        const qint64 now = m_clock.elapsed();
        for (qint64 posted : m_posted)
            longestWheelMs = std::max(longestWheelMs, now - posted);
        m_posted.clear();
    }
    qint64 longestStallMs = 0;
    qint64 longestWheelMs = 0;
    int wheelsDelivered = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Wheel && !m_posted.empty()) {
            longestWheelMs = std::max(longestWheelMs, m_clock.elapsed() - m_posted.front());
            m_posted.pop_front();
            ++wheelsDelivered;
        }
        return false;
    }

private:
    QTableView& m_view;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    QTimer m_ticker;
    QTimer m_wheel;
    std::deque<qint64> m_posted;
};

struct RunFigures {
    int rows = 0;
    double ms = 0;
    qint64 peakKb = 0;
    qint64 stallMs = 0;
    qint64 wheelMs = 0;
    int wheels = 0;
    int scrolled = 0; // the list's scroll position moved by this much
    bool kernelPeak = false;
};

// Measures `work` (which returns the rows it recorded) with the list shown.
RunFigures measured(QTableView& view, const std::function<int()>& work) {
    view.scrollToTop();
    QCoreApplication::processEvents();
    RunFigures f;
    PeakMemory memory;
    memory.start();
    {
        Responsiveness watch(view);
        f.ms = millisecondsOf([&] { f.rows = work(); });
        f.peakKb = memory.stop();
        f.kernelPeak = memory.kernel();
        watch.stop();
        f.stallMs = watch.longestStallMs;
        f.wheelMs = watch.longestWheelMs;
        f.wheels = watch.wheelsDelivered;
    }
    f.scrolled = view.verticalScrollBar()->value();
    // Turns still queued go through now, outside the figures.
    QCoreApplication::processEvents();
    return f;
}

RunFigures engineRun(findreplace::ResultModel& model, Korvex_C01& db, QTableView& view,
                     const QString& book, const QString& sheet, int lookInIndex) {
    bench::BenchWindow window(model, db, book, {{sheet, true}});
    window.opts.what = QStringLiteral("hit");
    window.opts.lookInIndex = lookInIndex;
    findreplace::SearchEngine engine(findreplace::EngineMode::Search, window);
    return measured(view, [&] {
        const int before = model.rowCount();
        engine.runAllClick();
        return model.rowCount() - before;
    });
}

// The host's own read alone, in formulas, with events let through between
// bands as the engine lets them: in bands of `maxCells`.
RunFigures hostRun(QTableView& view, const host::SheetPtr& sheet, int maxCells) {
    host::FindOptions options;
    options.what = QStringLiteral("hit");
    host::ReadInBands bands;
    bands.maxCells = maxCells;
    bands.between = [] {
        QCoreApplication::processEvents();
        return true;
    };
    return measured(view, [&] { return int(sheet->findAll(options, bands).size()); });
}

struct Series {
    explicit Series(const char* w) : what(w) {}
    const char* what;
    std::vector<RunFigures> runs;
    std::vector<double> baselineMs;
    void print() const {
        std::vector<double> ratios, peaks, stalls, wheels;
        std::printf("%s\n", what);
        for (size_t r = 0; r < runs.size(); ++r) {
            const RunFigures& f = runs[r];
            ratios.push_back(f.ms / baselineMs[r]);
            peaks.push_back(double(f.peakKb) * 1024.0 / double(Rows * Columns));
            stalls.push_back(double(f.stallMs));
            wheels.push_back(double(f.wheelMs));
            std::printf("  round %zu: %6d rows in %7.1f ms against %7.1f ms  ratio %.2f | peak "
                        "+%6.1f MB (%5.1f B/cell) | loop stall %4lld ms | wheel wait %5lld ms "
                        "(%d turns, scrolled %d)\n",
                        r + 1, f.rows, f.ms, baselineMs[r], ratios.back(),
                        double(f.peakKb) / 1024.0, peaks.back(), static_cast<long long>(f.stallMs),
                        static_cast<long long>(f.wheelMs), f.wheels, f.scrolled);
        }
        const auto range = [](const std::vector<double>& v) {
            return std::make_pair(*std::min_element(v.begin(), v.end()),
                                  *std::max_element(v.begin(), v.end()));
        };
        std::printf("  median ratio %.2f (%.2f to %.2f)\n", median(ratios), range(ratios).first,
                    range(ratios).second);
        std::printf("  median peak above idle %.1f bytes per cell (%.1f to %.1f)\n", median(peaks),
                    range(peaks).first, range(peaks).second);
        std::printf("  longest event-loop stall median %.0f ms (%.0f to %.0f), longest wheel wait "
                    "median %.0f ms (%.0f to %.0f)\n",
                    median(stalls), range(stalls).first, range(stalls).second, median(wheels),
                    range(wheels).first, range(wheels).second);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    calc::PrivateOffice office(QStringLiteral("million"));
    const auto connector = connectToOffice(office);
    if (!connector)
        return 1;
    const auto app = connector->attach();
    const QString book = QStringLiteral("million.xlsx");
    const int rounds = benchRounds();
    QString parseError;
    calc::loadFixture(app, *sim::parseFixture(
                               QStringLiteral("[book million.xlsx]\n[sheet data]\n[sheet other]\n"),
                               &parseError));
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(app->workbook(book))->document();
    // The search starts after the active cell, A1 of the first sheet.
    const double buildMs = millisecondsOf([&] { buildSheet(session, doc, 0); });

    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("bench.mdb"));
    QFile(dbPath).open(QIODevice::WriteOnly);
    Korvex_C01 db;
    db.Connect(dbPath);
    findreplace::CreateResultTable(db, findreplace::ResultKind::Search);
    findreplace::ResultModel model(findreplace::ResultKind::Search, db);
    model.bind();
    QTableView view;
    view.setModel(&model);
    view.resize(900, 500);
    view.show();
    Korvex_M02::SetConnector(connector);

    Series formulas("all-at-once search in formulas vs UNO listing");
    Series values("all-at-once search in values vs UNO listing");
    Series whole("Sheet::findAll in formulas, the whole sheet in one read, vs UNO listing");
    Series banded("Sheet::findAll in formulas, in bands of 65,536 cells, vs UNO listing");
    const auto dataSheet = app->workbook(book)->worksheet(QStringLiteral("data"));
    bool same = true;
    int listed = 0;
    for (int r = 0; r < rounds; ++r) {
        const double listingMs = millisecondsOf([&] { listed = unoListing(session, doc, 0); });
        touch(session, doc, 1, r);
        const RunFigures inFormulas = engineRun(model, db, view, book, QStringLiteral("data"), 0);
        touch(session, doc, 1, r);
        const RunFigures inValues = engineRun(model, db, view, book, QStringLiteral("data"), 1);
        formulas.runs.push_back(inFormulas);
        formulas.baselineMs.push_back(listingMs);
        values.runs.push_back(inValues);
        values.baselineMs.push_back(listingMs);
        touch(session, doc, 1, r);
        const RunFigures oneRead = hostRun(view, dataSheet, Rows * Columns);
        touch(session, doc, 1, r);
        const RunFigures inBands = hostRun(view, dataSheet, host::ReadInBands::DefaultMaxCells);
        whole.runs.push_back(oneRead);
        whole.baselineMs.push_back(listingMs);
        banded.runs.push_back(inBands);
        banded.baselineMs.push_back(listingMs);
        same = same && inFormulas.rows == listed && inValues.rows == listed &&
               oneRead.rows == listed && inBands.rows == listed;
    }
    std::printf("cells searched: %d (%d columns x %d rows), occurrences: %d; sheet built in %.0f "
                "ms\n",
                Rows * Columns, Columns, Rows, listed, buildMs);
    std::printf("peak memory from %s\n\n", formulas.runs.front().kernelPeak
                                               ? "the kernel's high-water mark (reset per run)"
                                               : "a thread sampling every 5 ms");
    formulas.print();
    values.print();
    std::printf("\nthe host's read alone, events let through between bands:\n");
    whole.print();
    banded.print();
    std::printf("every run recorded %s\n", same ? "every occurrence" : "A DIFFERENT COUNT");
    Korvex_M02::SetConnector(nullptr);
    Korvex_M02::ExcelApp.reset();
    return same ? 0 : 2;
}
