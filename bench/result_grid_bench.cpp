// The result grid with a million rows already in its table against the same
// grid over an empty table: opening it, scrolling to the end, and appending
// 10,000 rows one at a time (as a one-by-one search writes them) and in
// batches of 500 (as an all-at-once run writes a sheet). Prints the figures and
// the per-row cost ratio of the full table to the empty one (goal: at most 1.2).
//
//   result_grid_bench [rows already there, default 1000000]

#include "app_state.h"
#include "dialog_seam.h"
#include "result_grid.h"
#include "result_model.h"
#include "work_database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

using namespace korvex::findreplace;

namespace {

struct Figures {
    double openMs = 0;
    double scrollMs = 0;
    double singleUs = 0;     // per row, one row per call
    double singleCallUs = 0; // of which inside the call (storing, the view's bookkeeping)
    double batchUs = 0;      // per row, 500 rows per call
    double firstPageMs = 0;  // print preview: the first page laid out and drawn
    double countMs = 0;      // print preview: the whole page count worked out
    int pages = 0;
    double mbBefore = 0, mbDuring = 0, mbAfter = 0; // resident memory around the preview
};

double residentMb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Plays the preview window as it opens: the first page laid out and drawn at
// screen size, then the page count worked out to the end, memory read while
// the preview is open.
class PreviewProbe : public korvex::DialogSeam {
public:
    Figures* figures = nullptr;
    int message(const korvex::MessageRequest&) override { return 0; }
    void beep() override {}

protected:
    QStringList askOpenFiles(QWidget*, const korvex::OpenFilesRequest&) override { return {}; }
    bool askFont(QWidget*, QFont&, QColor&) override { return false; }
    int execDialog(QDialog&) override { return 0; }
    bool showPrintPreview(QWidget*, const korvex::PrintPreviewRequest& request) override {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        if (request.pageLayout)
            printer.setPageLayout(*request.pageLayout);
        QElapsedTimer t;
        t.start();
        const auto doc = request.pages(&printer);
        while (doc->pagesKnown() == 0 && !doc->layOutMore(30)) {
        }
        QImage page(850, 1200, QImage::Format_RGB32);
        const int dpm = int(printer.resolution() / 0.0254);
        page.setDotsPerMeterX(dpm);
        page.setDotsPerMeterY(dpm);
        {
            QPainter p(&page);
            p.scale(850.0 / printer.pageLayout().fullRectPixels(printer.resolution()).width(),
                    850.0 / printer.pageLayout().fullRectPixels(printer.resolution()).width());
            doc->paintPage(p, 0);
        }
        figures->firstPageMs = t.nsecsElapsed() / 1e6;
        while (!doc->layOutMore(30)) {
        }
        figures->countMs = t.nsecsElapsed() / 1e6;
        figures->pages = doc->pagesKnown();
        figures->mbDuring = residentMb();
        return true;
    }
};

ResultRow sampleRow(int i) {
    ResultRow r;
    r.book = QStringLiteral("売上_2026.xlsx");
    r.sheet = QStringLiteral("%1月").arg(i % 12 + 1);
    r.range = QStringLiteral("B%1").arg(i + 2);
    r.search = QStringLiteral("りんご");
    r.result = QStringLiteral("りんご %1 箱").arg(i);
    r.seqNo = i;
    return r;
}

Figures measure(const QString& dbFile, int existing) {
    Korvex_C01 db;
    QFile(dbFile).open(QIODevice::WriteOnly);
    db.Connect(dbFile);
    CreateResultTable(db, ResultKind::Search);
    if (existing > 0) {
        QSqlDatabase con = db.DBase();
        con.transaction();
        QSqlQuery q(con);
        q.exec(QStringLiteral(
                   "with recursive n(x) as (select 0 union all select x + 1 from n where x < %1) "
                   "insert into w_sort select '売上_' || (x / 50000) || '.xlsx', (x % 12 + 1) || "
                   "'月', "
                   "'B' || (x + 2), 'りんご', 'りんご ' || x || ' 箱', "
                   "'2026/01/31 09:05:07', x from n;")
                   .arg(existing - 1));
        con.commit();
        // Every start folds a left-over write-ahead log into the file, so a
        // list never opens with one full of old rows; neither does this one.
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE);"));
    }

    Figures f;
    QElapsedTimer t;
    t.start();
    auto grid = std::make_unique<ResultGrid>(ResultKind::Search, db);
    grid->resize(900, 500);
    grid->bind();
    grid->show();
    grid->windowActivated(); // the newest row becomes current, as the window does
    QApplication::processEvents();
    grid->viewport()->repaint();
    f.openMs = t.nsecsElapsed() / 1e6;

    t.restart();
    grid->scrollToTop();
    QScrollBar* bar = grid->verticalScrollBar();
    // Ten page-downs from the top, then straight to the end, painting each.
    for (int i = 0; i < 10; ++i) {
        bar->setValue(bar->value() + bar->pageStep());
        grid->viewport()->repaint();
    }
    grid->scrollToBottom();
    grid->viewport()->repaint();
    f.scrollMs = t.nsecsElapsed() / 1e6;

    constexpr int kRows = 10000;
    t.restart();
    QElapsedTimer call;
    qint64 inCalls = 0;
    for (int i = 0; i < kRows; ++i) {
        call.start();
        grid->addResultRows({sampleRow(i)});
        inCalls += call.nsecsElapsed();
        if (i % 100 == 0)
            QApplication::processEvents();
    }
    grid->viewport()->repaint();
    f.singleUs = t.nsecsElapsed() / 1e3 / kRows;
    f.singleCallUs = inCalls / 1e3 / kRows;

    t.restart();
    for (int i = 0; i < kRows; i += 500) {
        QList<ResultRow> batch;
        for (int j = i; j < i + 500; ++j)
            batch << sampleRow(j);
        grid->addResultRows(batch);
        QApplication::processEvents();
    }
    grid->viewport()->repaint();
    f.batchUs = t.nsecsElapsed() / 1e3 / kRows;

    grid->clearSelection();
    PreviewProbe probe;
    probe.figures = &f;
    korvex::UiSeam* before = korvex::setUi(&probe);
    f.mbBefore = residentMb();
    grid->print();
    f.mbAfter = residentMb();
    korvex::setUi(before);
    grid.reset();
    db.DisConnect();
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int existing = argc > 1 ? std::max(1, atoi(argv[1])) : 1000000;
    QTemporaryDir dir;
    const Figures empty = measure(dir.filePath(QStringLiteral("empty.mdb")), 0);
    const Figures full = measure(dir.filePath(QStringLiteral("full.mdb")), existing);

    std::printf("result grid: empty table vs %d rows already there\n", existing);
    std::printf("  open and first paint        %9.1f ms  %9.1f ms\n", empty.openMs, full.openMs);
    std::printf("  ten pages down, then end    %9.1f ms  %9.1f ms\n", empty.scrollMs,
                full.scrollMs);
    std::printf("  append one row per call     %9.1f us  %9.1f us per row\n", empty.singleUs,
                full.singleUs);
    std::printf("    of which inside the call    %9.1f us  %9.1f us per row\n", empty.singleCallUs,
                full.singleCallUs);
    std::printf("  append 500 rows per call    %9.1f us  %9.1f us per row\n", empty.batchUs,
                full.batchUs);
    std::printf(
        "per-row cost ratio (full / empty): one per call %.2f, batched %.2f (goal <= 1.2)\n",
        full.singleUs / empty.singleUs, full.batchUs / empty.batchUs);
    std::printf("print preview of the whole list (%d pages vs %d pages)\n", empty.pages,
                full.pages);
    std::printf("  first page laid out and drawn %7.1f ms  %9.1f ms\n", empty.firstPageMs,
                full.firstPageMs);
    std::printf("  page count worked out       %9.1f ms  %9.1f ms\n", empty.countMs, full.countMs);
    std::printf("  resident before/during/after  %.0f/%.0f/%.0f MB  %.0f/%.0f/%.0f MB\n",
                empty.mbBefore, empty.mbDuring, empty.mbAfter, full.mbBefore, full.mbDuring,
                full.mbAfter);
    std::printf("first-page time ratio (full / empty) %.2f (goal: under 1 s however long); "
                "memory kept after the preview %.0f MB (goal <= 50)\n",
                full.firstPageMs / std::max(0.001, empty.firstPageMs),
                full.mbAfter - full.mbBefore);
    return 0;
}
