// Soak: many all-at-once cycles on a real LibreOffice Calc in one Korvex
// process, through the real search and replace windows and the program's own
// work database. Each cycle searches a sheet of 100,000 cells for its 10,000
// occurrences, replaces them ("hit" -> "hot") and replaces them back, so the
// sheet ends every cycle as it began and the lists grow by 30,000 rows.
//
// Every tenth cycle it prints the process's resident memory, threads and open
// file descriptors, the work database's integrity check (through the same
// connection the windows use) and how long each grid takes to scroll to its
// end, its middle and back. At the end: the resident memory of the last
// printed cycle against the tenth (and what it grew by for each row the lists
// gained), and whether threads and descriptors stayed flat. Then the process
// is left alone with both windows open and its CPU ticks counted.
//
// The lists keep every row, as a user's do; each row they show costs memory
// of its own (its place in the model and in the grid's row header). With
// "empty" each cycle ends with both lists' 全Row削除, so the curve shows what
// the cycles cost apart from the rows kept.
//
//   calc_soak_bench [cycles, default 100] [idle seconds, default 30] [empty]

#include "app_state.h"
#include "calc_fixtures.h"
#include "private_office.h"
#include "replace_window.h"
#include "result_grid.h"
#include "scratch_install.h"
#include "scripted_ui.h"
#include "search_window.h"
#include "work_database.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>

using namespace korvex;

namespace {

constexpr int Rows = 1000;
constexpr int Columns = 100;
constexpr int Hits = Rows * Columns / 10;

double millisecondsOf(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

// A "Name:  value kB" line of /proc/self/status, in MB.
double statusMb(const char* name) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

int entriesIn(const char* folder) {
    return int(QDir(QString::fromLatin1(folder))
                   .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

// utime + stime of this process, in clock ticks.
long long cpuTicks() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold spaces: state is field 3,
    // utime and stime fields 14 and 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

QString integrityCheck(double* ms) {
    QStringList out;
    *ms = millisecondsOf([&] {
        QSqlQuery q = Korvex_M01::WorkDb().OpenRecordset(QStringLiteral("PRAGMA integrity_check;"));
        while (q.next())
            out << q.value(0).toString();
    });
    return out.join(QStringLiteral("; "));
}

// The grid scrolled to its last row, to its middle (rows no view has asked
// for yet, read from the database) and back to its first, painted each time.
double gridScroll(findreplace::ResultGrid* grid) {
    return millisecondsOf([grid] {
        grid->scrollToBottom();
        grid->viewport()->repaint();
        grid->scrollTo(grid->model()->index(grid->rowCount() / 2, 0),
                       QAbstractItemView::PositionAtTop);
        grid->viewport()->repaint();
        grid->scrollToTop();
        grid->viewport()->repaint();
    });
}

findreplace::FindReplaceWindow* openWindow(bool replace) {
    findreplace::FindReplaceWindow* w =
        replace ? static_cast<findreplace::FindReplaceWindow*>(new Korvex_F03) : new Korvex_F02;
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->resize(1000, 700);
    w->show();
    QCoreApplication::processEvents();
    w->SelectSheets(true);
    return w;
}

// One all-at-once click; returns the rows it added to the window's list.
int runAll(findreplace::FindReplaceWindow* w, const QString& what, const QString& replacement) {
    w->findChild<QComboBox*>(QStringLiteral("Search_Combo"))->setEditText(what);
    if (auto* r = w->findChild<QComboBox*>(QStringLiteral("Replace_Combo")))
        r->setEditText(replacement);
    const int before = w->grid()->rowCount();
    w->findChild<QPushButton*>(replacement.isNull() ? QStringLiteral("Cmd_SumSearch")
                                                    : QStringLiteral("Cmd_SumReplace"))
        ->click();
    return w->grid()->rowCount() - before;
}

struct Sample {
    int cycle = 0;
    double rssMb = 0;
    int threads = 0;
    int fds = 0;
    int listRows = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int idleSeconds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 30;
    const bool emptyLists = argc > 3 && QByteArray(argv[3]) == "empty";

    QTemporaryDir dir;
    bench::installScratch(dir.path());
    test::ScriptedUi ui; // the notices at a run's end would otherwise wait for a click

    calc::PrivateOffice office(QStringLiteral("soak"));
    QString error;
    if (!office.start(&error))
        qFatal("cannot start LibreOffice: %s", qPrintable(error));
    Korvex_M02::SetConnector(office.connector());
    if (!Korvex_M02::AttachExcel())
        qFatal("no office");
    const auto app = Korvex_M02::ExcelApp;
    QString parseError;
    calc::loadFixture(app, *sim::parseFixture(QStringLiteral("[book soak.xlsx]\nactive\n"
                                                             "[sheet data]\n"),
                                              &parseError));
    std::vector<QStringList> rows(Rows);
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Columns; ++c) {
            const int n = r * Columns + c;
            rows[size_t(r)] << (n % 10 == 0 ? QStringLiteral("hit %1").arg(n)
                                            : QStringLiteral("item %1").arg(n));
        }
    calc::fillSheet(app, QStringLiteral("soak.xlsx"), QStringLiteral("data"), rows);

    auto* search = openWindow(false);
    auto* replace = openWindow(true);

    std::printf("%d cycles of: all-at-once search (%d hits), replace hit->hot, replace back%s\n",
                cycles, Hits, emptyLists ? ", both lists emptied" : "");
    std::printf("%6s %9s %9s %8s %4s %8s %10s %12s %11s %11s  %s\n", "cycle", "cycle ms", "RSS MB",
                "threads", "fds", "list rows", "db+wal MB", "integrity ms", "search grid",
                "replace grid", "integrity");
    std::vector<Sample> samples;
    bool countsRight = true;
    bool integrityOk = true;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        int found = 0, replaced = 0, back = 0;
        const double cycleMs = millisecondsOf([&] {
            found = runAll(search, QStringLiteral("hit"), QString());
            replaced = runAll(replace, QStringLiteral("hit"), QStringLiteral("hot"));
            back = runAll(replace, QStringLiteral("hot"), QStringLiteral("hit"));
        });
        if (emptyLists) {
            search->grid()->deleteAll();
            replace->grid()->deleteAll();
        }
        ui.clear(); // the test seam keeps every notice; a user's box is gone once closed
        if (found != Hits || replaced != Hits || back != Hits) {
            countsRight = false;
            std::printf("cycle %d: %d found, %d replaced, %d back (expected %d each)\n", cycle,
                        found, replaced, back, Hits);
        }
        if (cycle % 10 != 0 && cycle != 1 && cycle != cycles)
            continue;
        double integrityMs = 0;
        const QString integrity = integrityCheck(&integrityMs);
        integrityOk = integrityOk && integrity == QStringLiteral("ok");
        const double searchGrid = gridScroll(search->grid());
        const double replaceGrid = gridScroll(replace->grid());
        Sample s{cycle, statusMb("VmRSS"), entriesIn("/proc/self/task"), entriesIn("/proc/self/fd"),
                 search->grid()->rowCount() + replace->grid()->rowCount()};
        samples.push_back(s);
        std::printf("%6d %9.0f %9.1f %8d %4d %8d %10.1f %12.0f %9.1f ms %9.1f ms  %s\n", cycle,
                    cycleMs, s.rssMb, s.threads, s.fds, s.listRows,
                    double(QFileInfo(Korvex_M01::DbFile).size() +
                           QFileInfo(Korvex_M01::DbFile + QStringLiteral("-wal")).size()) /
                        (1024.0 * 1024.0),
                    integrityMs, searchGrid, replaceGrid, qPrintable(integrity));
        std::fflush(stdout);
    }

    // The tenth cycle against the last, or the first when there were fewer.
    const Sample& from = samples.size() > 1 ? samples[1] : samples.front();
    const Sample& to = samples.back();
    std::printf("\nRSS after cycle %d %.1f MB vs cycle %d %.1f MB: %+.1f%% (goal within 10%%)\n",
                to.cycle, to.rssMb, from.cycle, from.rssMb,
                100.0 * (to.rssMb - from.rssMb) / from.rssMb);
    if (to.listRows > from.listRows)
        std::printf("the lists gained %d rows meanwhile: %.1f bytes of resident memory a row\n",
                    to.listRows - from.listRows,
                    (to.rssMb - from.rssMb) * 1024 * 1024 / (to.listRows - from.listRows));
    std::printf("threads %d -> %d, fds %d -> %d: %s\n", from.threads, to.threads, from.fds, to.fds,
                from.threads == to.threads && from.fds == to.fds ? "flat" : "NOT FLAT");
    std::printf("integrity check %s, every run %s\n", integrityOk ? "ok every time" : "FAILED",
                countsRight ? "recorded all 10,000 rows" : "DID NOT RECORD ALL ROWS");

    if (idleSeconds > 0) {
        // Left alone with both windows open and the office attached.
        const long long before = cpuTicks();
        QEventLoop idle;
        QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
        idle.exec();
        std::printf("left alone %d s: %lld CPU ticks (utime+stime, %ld a second), RSS %.1f MB\n",
                    idleSeconds, cpuTicks() - before, sysconf(_SC_CLK_TCK), statusMb("VmRSS"));
    }

    search->close();
    replace->close();
    delete search;
    delete replace;
    Korvex_M02::ExcelApp.reset();
    Korvex_M02::SetConnector(nullptr);
    Korvex_M01::WorkDb().DisConnect();
    return countsRight && integrityOk ? 0 : 2;
}
