// Start-up to the main window with a 1,000,000-row w_sort, against a plain
// VACUUM INTO of the same file measured in the same run: once with no free
// pages (the start must not compact; goal <= 0.4x) and once after the older
// half of the rows was deleted (the start compacts; goal <= 1.2x). The start is
// the program's own sequence: the work database check and compaction, the
// connection and the main window over the simulated host, shown and painted.
// Every figure is the median of several rounds, each on a fresh copy of the
// file, so that a compaction in one round does not favour the next.
//
//   startup_bench [rounds, default 5] [rows, default 1000000]

#include "app_state.h"
#include "host_helpers.h"
#include "main_window.h"
#include "messages.h"
#include "result_table.h"
#include "sim_host.h"
#include "startup.h"
#include "ui_seam.h"
#include "work_database.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace korvex;

namespace {

constexpr int kRunRows = 10000; // rows one all-at-once search wrote

// Answers every box and counts them: a healthy start shows none.
class CountingUi : public UiSeam {
public:
    int shown = 0;
    int message(const MessageRequest& m) override {
        ++shown;
        std::printf("  unexpected message: %s\n", qPrintable(m.text.left(200)));
        return 0;
    }
    void beep() override {}
};

struct FileFigures {
    qint64 bytes = 0;
    qint64 pages = 0;
    qint64 freePages = 0;
};

FileFigures figuresOf(const QString& path) {
    FileFigures f;
    f.bytes = QFileInfo(path).size();
    Korvex_C01 db;
    db.Connect(path);
    const auto pragma = [&db](const char* name) {
        QSqlQuery q = db.OpenRecordset(QStringLiteral("PRAGMA %1;").arg(QLatin1String(name)));
        return q.next() ? q.value(0).toLongLong() : -1;
    };
    f.pages = pragma("page_count");
    f.freePages = pragma("freelist_count");
    db.DisConnect();
    return f;
}

// Run n's time stamp: one all-at-once search a minute.
QString stampSql(const QString& run) {
    return QStringLiteral("printf('2026/01/05 %02d:%02d:00', (%1) / 60, (%1) % 60)").arg(run);
}

// The work database as the build makes it (the message catalogue), with the
// search window's table holding `rows` rows written run after run as the
// search window writes them. One transaction: no free pages.
void buildFile(const QString& path, int rows) {
    QFile(path).open(QIODevice::WriteOnly);
    Korvex_C01 db;
    db.Connect(path);
    QFile seed(QStringLiteral(KORVEX_RESOURCE_DIR "/messages.sql"));
    seed.open(QIODevice::ReadOnly);
    QSqlDatabase con = db.DBase();
    SeedCatalogue(con, QString::fromUtf8(seed.readAll()));
    findreplace::CreateResultTable(db, findreplace::ResultKind::Search);
    con.transaction();
    QSqlQuery q(con);
    q.exec(QStringLiteral("with recursive n(x) as (select 0 union all select x + 1 from n where "
                          "x < %1) insert into w_sort select '売上_' || (x / 50000) || '.xlsx', "
                          "(x / %2 % 12 + 1) || '月', 'B' || (x % %2 + 2), 'りんご', "
                          "'りんご ' || x || ' 箱', %3, x % %2 from n;")
               .arg(rows - 1)
               .arg(kRunRows)
               .arg(stampSql(QStringLiteral("x / %1").arg(kRunRows))));
    con.commit();
    q.finish();
    db.DisConnect();
}

// The older half of the runs deleted, as the list's "delete the rows before
// this one" does.
void deleteOlderHalf(const QString& path, int rows) {
    Korvex_C01 db;
    db.Connect(path);
    db.OpenRecordset(QStringLiteral("delete from w_sort where execute < %1;")
                         .arg(stampSql(QString::number(rows / kRunRows / 2))));
    db.DisConnect();
}

void copyFresh(const QString& from, const QString& to) {
    for (const char* side : {"", "-wal", "-shm"})
        QFile::remove(to + QLatin1String(side));
    QFile::copy(from, to);
    // Written out now, so that no round pays for another's write-back.
    ::sync();
}

void flush(const QString& path, bool folder) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// VACUUM INTO of the file; with `flushed`, also the copy and its folder
// flushed to disk, which any compaction that replaces the file must wait for
// before the copy may take the file's name.
double vacuumIntoMs(const QString& path, const QString& out, bool flushed) {
    QFile::remove(out);
    QElapsedTimer t;
    t.start();
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("vacuum"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("VACUUM INTO '%1';").arg(out)))
            std::printf("  VACUUM INTO failed\n");
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("vacuum"));
    if (flushed) {
        flush(out, false);
        flush(QFileInfo(out).absolutePath(), true);
    }
    const double ms = t.nsecsElapsed() / 1e6;
    QFile::remove(out);
    ::sync();
    return ms;
}

const char kFixture[] = "[book 売上.xlsx]\nactive\n[sheet S1]\nA1 = りんご\n[sheet S2]\nB3 = 箱\n";

// Where one start spent its time.
struct Start {
    double total = 0;
    double checkAndCopy = 0; // the file checked, and compacted into a flushed copy if worth it
    double replace = 0;      // the copy renamed over the file, the folder flushed
    double connect = 0;
    double mainWindow = 0; // loaded, shown and painted
};

// One start, from the sequence's first step to the main window shown and
// painted; the window then closes as the user closes it.
Start startup(CountingUi& ui) {
    QString error;
    Korvex_M02::SetConnector(
        sim::SimConnector::fromFixtureText(QString::fromUtf8(kFixture), &error));
    QElapsedTimer t;
    t.start();
    QList<double> steps;
    double copied = -1;
    Korvex_C01::CompactionHook = [&](Korvex_C01::CompactStep s) {
        if (s == Korvex_C01::CompactStep::CopyWritten)
            copied = t.nsecsElapsed() / 1e6;
    };
    Korvex_M01::StartupSequence sequence([] { return new Korvex_F01; });
    sequence.onStep = [&](const QString&) { steps << t.nsecsElapsed() / 1e6; };
    const int code = sequence.Run();
    QApplication::processEvents();
    if (QWidget* main = sequence.mainWindow())
        main->repaint();
    Start s;
    s.total = t.nsecsElapsed() / 1e6;
    Korvex_C01::CompactionHook = nullptr;
    if (code != 0 || ui.shown != 0 || steps.size() != 3) {
        std::printf("  the start failed (exit code %d)\n", code);
    } else {
        const double connectAt = steps[1];
        s.checkAndCopy = (copied >= 0 ? copied : connectAt) - steps[0];
        s.replace = copied >= 0 ? connectAt - copied : 0;
        s.connect = steps[2] - connectAt;
        s.mainWindow = s.total - steps[2];
    }
    if (QWidget* main = sequence.mainWindow()) {
        main->close();
        delete main;
    }
    Korvex_M01::Shutdown();
    return s;
}

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void printLine(const char* what, const QList<double>& v) {
    std::printf("  %-40s median %8.1f ms  (%.1f-%.1f)\n", what, median(v),
                *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
}

// `withFloor`: also measures the floor of a compaction that replaces the file
// safely (VACUUM INTO plus the flushes).
void measure(const char* title, const QString& master, int rounds, double goal, bool withFloor,
             CountingUi& ui) {
    const FileFigures before = figuresOf(master);
    const QString db = Korvex_M01::DbFile;
    const QString out = QFileInfo(db).absolutePath() + QStringLiteral("/vacuum_out.mdb");
    QList<double> vacuum, floor, total, checkAndCopy, replace, connect, mainWindow, ratios,
        floorRatios;
    FileFigures after;
    for (int r = 0; r < rounds; ++r) {
        copyFresh(master, db);
        double v = 0, f = 0;
        Start s;
        // Alternating the order evens out what one leaves in the caches for the other.
        if (r % 2 == 0) {
            v = vacuumIntoMs(master, out, false);
            f = withFloor ? vacuumIntoMs(master, out, true) : 0;
            s = startup(ui);
        } else {
            s = startup(ui);
            f = withFloor ? vacuumIntoMs(master, out, true) : 0;
            v = vacuumIntoMs(master, out, false);
        }
        after = figuresOf(db);
        vacuum << v;
        floor << f;
        total << s.total;
        checkAndCopy << s.checkAndCopy;
        replace << s.replace;
        connect << s.connect;
        mainWindow << s.mainWindow;
        ratios << s.total / v;
        floorRatios << (f > 0 ? f / v : 0);
    }
    std::printf("%s: %.1f MB, %lld pages, %lld free (%.1f%%)\n", title, before.bytes / 1048576.0,
                (long long)before.pages, (long long)before.freePages,
                100.0 * double(before.freePages) / double(std::max<qint64>(1, before.pages)));
    printLine("VACUUM INTO of the file (baseline)", vacuum);
    if (withFloor)
        printLine("VACUUM INTO, copy and folder flushed", floor);
    printLine("start-up to the main window", total);
    printLine("  check, compaction to a flushed copy", checkAndCopy);
    printLine("  copy renamed over the file, flushed", replace);
    printLine("  connection", connect);
    printLine("  main window loaded, shown, painted", mainWindow);
    std::printf("  compacted by the start: %s (after it %.1f MB, %lld free pages)\n",
                after.bytes < before.bytes ? "yes" : "no", after.bytes / 1048576.0,
                (long long)after.freePages);
    std::printf("  ratio start-up / VACUUM INTO: median %.2f (rounds %.2f-%.2f), goal <= %.1f\n",
                median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), goal);
    if (withFloor)
        std::printf("  floor (VACUUM INTO with the flushes) / VACUUM INTO: median %.2f\n",
                    median(floorRatios));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int rows = argc > 2 ? std::max(2 * kRunRows, atoi(argv[2])) : 1000000;
    CountingUi ui;
    UiSeam* const before = setUi(&ui);

    QTemporaryDir dir;
    const QString full = dir.filePath(QStringLiteral("full.mdb"));
    const QString half = dir.filePath(QStringLiteral("half.mdb"));
    buildFile(full, rows);
    QFile::copy(full, half);
    deleteOlderHalf(half, rows);

    const QString program = dir.filePath(QStringLiteral("bin"));
    QDir().mkpath(program);
    Korvex_M01::InitPaths(program + QStringLiteral("/korvex"));
    // The first window of a process loads fonts and styles: not part of any round.
    buildFile(Korvex_M01::DbFile, kRunRows);
    startup(ui);

    std::printf("start-up with %d rows in w_sort, median of %d rounds\n", rows, rounds);
    measure("no free pages", full, rounds, 0.4, false, ui);
    measure("older half of the rows deleted", half, rounds, 1.2, true, ui);
    setUi(before);
    return ui.shown == 0 ? 0 : 1;
}
