// The folder search on a real LibreOffice Calc: a folder of 100 workbooks
// (half .ods, half .xlsx) of two sheets of 5,000 cells each, 1,000
// occurrences in all (0 to 20 a file).
//
// Korvex: the folder search window's run (FolderSearch::run: the file list,
// each file opened hidden and read-only through the host, every sheet
// searched with the bulk find the search window uses, every occurrence a row
// of w_folder in the work database, the file closed again).
//
// Baseline: the plain UNO loop a script would write, one task per file:
// loadComponentFromURL hidden and read-only, findAll on each sheet and the
// addresses of the ranges it returns, close. It reads no values and stores
// nothing, so it is the lighter of the two.
//
// Each round runs both over the whole folder, taking turns ten files at a
// time, and prints Korvex's time against the baseline's of the same round;
// then the median ratio of the rounds (five, or KORVEX_BENCH_ROUNDS) and the
// range. A busy machine moves single figures by half; the processor time
// both processes used (Korvex's and the office's) is printed beside, as it
// moves less.
//
// The folder is hashed before and after: the files must come out unchanged,
// with no lock file left beside them.

#include "calc_bench_support.h"
#include "calc_fixtures.h"
#include "calc_model.h"
#include "folder_search.h"
#include "private_office.h"
#include "result_tables.h"
#include "uno_text.h"
#include "work_database.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <unistd.h>
#include <vector>

using namespace korvex;
using namespace korvex::bench;
namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr int Files = 100;
constexpr int Sheets = 2;
constexpr int Rows = 250;
constexpr int Columns = 20; // 5,000 cells a sheet, 10,000 a file
constexpr int Chunk = 10;   // files searched at one go

css::beans::PropertyValue property(const char* name, const Any& value) {
    css::beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

template <size_t N>
Sequence<css::beans::PropertyValue> properties(const css::beans::PropertyValue (&list)[N]) {
    return Sequence<css::beans::PropertyValue>(list, sal_Int32(N));
}

rtl::OUString urlOf(const QString& path) {
    return calc::toUno(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
}

// File `file`'s occurrences: 0, 5, 10, 15 or 20, at cells of their own
// (997 is prime to the 10,000 cells, so no two fall on one cell).
std::vector<int> hitCells(int file) {
    std::vector<int> cells;
    for (int k = 0; k < (file % 5) * 5; ++k)
        cells.push_back((file * 37 + k * 997) % (Sheets * Rows * Columns));
    return cells;
}

QString fileName(int file) {
    return QStringLiteral("book%1.%2")
        .arg(file, 3, 10, QLatin1Char('0'))
        .arg(file % 2 ? "xlsx" : "ods");
}

// The folder search's pattern for the files of `chunk` (book000 to book009...).
QString chunkPattern(int chunk) {
    static_assert(Chunk == 10, "a chunk is the files of one tens digit");
    return QStringLiteral("book%1?.*").arg(chunk, 2, 10, QLatin1Char('0'));
}

// Milliseconds of processor time used by Korvex (all its threads) and by the
// office's process.
struct Cpu {
    double own = 0;
    double office = 0;
    double total() const { return own + office; }
    Cpu operator-(const Cpu& o) const { return {own - o.own, office - o.office}; }
    Cpu& operator+=(const Cpu& o) {
        own += o.own;
        office += o.office;
        return *this;
    }
};

Cpu cpuNow(qint64 officePid) {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    Cpu c;
    c.own = double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(officePid));
    if (stat.open(QIODevice::ReadOnly)) {
        // utime and stime, the 14th and 15th fields, after the name in brackets.
        const QByteArray line = stat.readAll();
        const auto fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            c.office = double(fields[11].toLongLong() + fields[12].toLongLong()) * 1e3 /
                       double(sysconf(_SC_CLK_TCK));
    }
    return c;
}

// One book of "item n" cells saved `Files` times, each time with that file's
// cells turned into "hit n".
QStringList writeFolder(const calc::SessionPtr& session, const QString& folder) {
    QStringList paths;
    for (int f = 0; f < Files; ++f)
        paths << QDir(folder).filePath(fileName(f));
    session->run(
        [d = session->desktop(), paths] {
            Reference<css::frame::XComponentLoader> loader(d, UNO_QUERY_THROW);
            const css::beans::PropertyValue hidden[] = {property("Hidden", Any(true))};
            auto component = loader->loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                                          properties(hidden));
            Reference<css::sheet::XSpreadsheetDocument> doc(component, UNO_QUERY_THROW);
            auto sheets = doc->getSheets();
            while (Reference<css::container::XIndexAccess>(sheets, UNO_QUERY_THROW)->getCount() <
                   Sheets)
                sheets->insertNewByName(
                    rtl::OUString::number(
                        Reference<css::container::XIndexAccess>(sheets, UNO_QUERY_THROW)
                            ->getCount() +
                        1),
                    32767);
            Reference<css::container::XIndexAccess> byIndex(sheets, UNO_QUERY_THROW);
            const auto fill = [&](int file, bool hits) {
                std::vector<bool> hit(Sheets * Rows * Columns, false);
                if (hits)
                    for (const int c : hitCells(file))
                        hit[size_t(c)] = true;
                for (int s = 0; s < Sheets; ++s) {
                    Sequence<Sequence<Any>> data(Rows);
                    for (int r = 0; r < Rows; ++r) {
                        Sequence<Any> row(Columns);
                        for (int c = 0; c < Columns; ++c) {
                            const int n = (s * Rows + r) * Columns + c;
                            row.getArray()[c] <<=
                                rtl::OUString::createFromAscii(hit[size_t(n)] ? "hit " : "item ") +
                                rtl::OUString::number(n);
                        }
                        data.getArray()[r] = row;
                    }
                    Reference<css::table::XCellRange> sheet(byIndex->getByIndex(s),
                                                            UNO_QUERY_THROW);
                    Reference<css::sheet::XCellRangeData>(
                        sheet->getCellRangeByPosition(0, 0, Columns - 1, Rows - 1), UNO_QUERY_THROW)
                        ->setDataArray(data);
                }
            };
            for (int f = 0; f < paths.size(); ++f) {
                fill(f, true);
                const bool ods = paths[f].endsWith(QLatin1String(".ods"));
                const css::beans::PropertyValue args[] = {
                    property("FilterName", Any(rtl::OUString::createFromAscii(
                                               ods ? "calc8" : "Calc MS Excel 2007 XML"))),
                    property("Overwrite", Any(true))};
                Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)
                    ->storeToURL(urlOf(paths[f]), properties(args));
            }
            Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
        },
        Minutes);
    return paths;
}

// Every name in the folder with its size, modification time and content hash.
QByteArray folderPrint(const QString& folder) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
        hash.addData(info.fileName().toUtf8());
        hash.addData(QByteArray::number(info.size()));
        hash.addData(QByteArray::number(info.lastModified().toMSecsSinceEpoch()));
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            hash.addData(&file);
    }
    return hash.result();
}

// The plain UNO loop: one task per file. Returns the occurrences found.
int unoLoop(const calc::SessionPtr& session, const QStringList& paths) {
    int found = 0;
    for (const QString& path : paths)
        found += session->run(
            [d = session->desktop(), url = urlOf(path)] {
                Reference<css::frame::XComponentLoader> loader(d, UNO_QUERY_THROW);
                const css::beans::PropertyValue args[] = {property("Hidden", Any(true)),
                                                          property("ReadOnly", Any(true))};
                auto component = loader->loadComponentFromURL(url, "_blank", 0, properties(args));
                Reference<css::sheet::XSpreadsheetDocument> doc(component, UNO_QUERY_THROW);
                Reference<css::container::XIndexAccess> sheets(doc->getSheets(), UNO_QUERY_THROW);
                int count = 0;
                for (sal_Int32 s = 0, n = sheets->getCount(); s < n; ++s) {
                    Reference<css::util::XSearchable> searchable(sheets->getByIndex(s),
                                                                 UNO_QUERY_THROW);
                    auto descriptor = searchable->createSearchDescriptor();
                    descriptor->setSearchString("hit");
                    Reference<css::sheet::XSheetCellRanges> ranges(searchable->findAll(descriptor),
                                                                   css::uno::UNO_QUERY);
                    if (!ranges.is())
                        continue;
                    for (const auto& a : ranges->getRangeAddresses())
                        count += (a.EndRow - a.StartRow + 1) * (a.EndColumn - a.StartColumn + 1);
                }
                Reference<css::util::XCloseable>(component, UNO_QUERY_THROW)->close(true);
                return count;
            },
            Minutes);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    calc::PrivateOffice office(QStringLiteral("folderbench"));
    const auto connector = connectToOffice(office);
    if (!connector)
        return 1;
    const auto app = connector->attach();
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const int rounds = benchRounds();

    QTemporaryDir work;
    const QString folder = work.filePath(QStringLiteral("books"));
    QDir().mkpath(folder);
    QStringList paths;
    const double writeMs = millisecondsOf([&] { paths = writeFolder(session, folder); });
    int expected = 0;
    for (int f = 0; f < Files; ++f)
        expected += int(hitCells(f).size());
    const QByteArray before = folderPrint(folder);

    const QString dbPath = work.filePath(QStringLiteral("bench.mdb"));
    QFile(dbPath).open(QIODevice::WriteOnly);
    Korvex_C01 db;
    db.Connect(dbPath);

    host::FindOptions find;
    find.what = QStringLiteral("hit");
    // Both once before the rounds: the office's filters and caches warm.
    unoLoop(session, paths.mid(0, 4));
    const qint64 warmRows =
        findreplace::FolderSearch(*app, db.DBase())
            .run({false, folder, QStringLiteral("book00[0-3].*"), false}, find, {})
            .rows;

    std::printf("%d files of %d cells (%d sheets), %d occurrences; written in %.1f s\n", Files,
                Sheets * Rows * Columns, Sheets, expected, writeMs / 1000);
    // Korvex and the loop take turns ten files at a time, the first to go
    // changing each time, so that a burst of other work on the machine falls
    // on both alike.
    std::vector<double> ratios;
    std::vector<double> cpuRatios;
    bool same = true;
    for (int r = 0; r < rounds; ++r) {
        double korvexMs = 0;
        double unoMs = 0;
        Cpu korvexCpu;
        Cpu unoCpu;
        int unoFound = 0;
        findreplace::FolderSummary total;
        for (int chunk = 0; chunk < Files / Chunk; ++chunk) {
            const auto korvex = [&] {
                const Cpu start = cpuNow(office.processId());
                korvexMs += millisecondsOf([&] {
                    findreplace::FolderSearch search(*app, db.DBase());
                    const auto s = search.run({false, folder, chunkPattern(chunk), false}, find,
                                              [](const findreplace::FolderProgress&) {});
                    total.rows += s.rows;
                    total.filesDone += s.filesDone;
                    total.skipped += s.skipped;
                });
                korvexCpu += cpuNow(office.processId()) - start;
            };
            const auto uno = [&] {
                const Cpu start = cpuNow(office.processId());
                unoMs += millisecondsOf(
                    [&] { unoFound += unoLoop(session, paths.mid(chunk * Chunk, Chunk)); });
                unoCpu += cpuNow(office.processId()) - start;
            };
            if ((r + chunk) % 2 == 0) {
                korvex();
                uno();
            } else {
                uno();
                korvex();
            }
        }
        ratios.push_back(korvexMs / unoMs);
        cpuRatios.push_back(korvexCpu.total() / unoCpu.total());
        std::printf("round %d: folder search %8.1f ms (%lld rows, %d files, %lld skipped)  "
                    "UNO loop %8.1f ms (%d)  ratio %.2f;  cpu Korvex+office %6.1f+%6.1f s "
                    "against %6.1f+%6.1f s  ratio %.2f\n",
                    r + 1, korvexMs, total.rows, total.filesDone, qlonglong(total.skipped.size()),
                    unoMs, unoFound, ratios.back(), korvexCpu.own / 1000, korvexCpu.office / 1000,
                    unoCpu.own / 1000, unoCpu.office / 1000, cpuRatios.back());
        for (const auto& s : total.skipped)
            std::printf("  skipped %s: %s\n", qPrintable(s.path), qPrintable(s.detail));
        same = same && total.rows == expected && unoFound == expected && total.filesDone == Files &&
               total.skipped.isEmpty();
    }
    QSqlQuery count(db.DBase());
    count.exec(QStringLiteral("select count(*) from %1").arg(QLatin1String(results::kFolderTable)));
    const qint64 stored = count.next() ? count.value(0).toLongLong() : -1;
    const bool untouched = folderPrint(folder) == before;
    std::printf("median ratio %.2f (%.2f to %.2f over %d rounds); goal 1.30\n", median(ratios),
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), rounds);
    std::printf("median cpu ratio %.2f (%.2f to %.2f)\n", median(cpuRatios),
                *std::min_element(cpuRatios.begin(), cpuRatios.end()),
                *std::max_element(cpuRatios.begin(), cpuRatios.end()));
    same = same && stored == warmRows + qint64(rounds) * expected;
    std::printf("rows in w_folder: %lld (%s); files and names in the folder %s\n", stored,
                same ? "every occurrence, every round" : "ROWS MISSING OR EXTRA",
                untouched ? "unchanged, no lock file" : "CHANGED");
    return same && untouched ? 0 : 2;
}
