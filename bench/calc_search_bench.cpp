// All-at-once search and replace on a real LibreOffice Calc: 100,000 cells
// holding 10,000 occurrences.
//
// Search: the host's bulk find (every occurrence with its address and value
// text, from a sheet Korvex has not read yet) and the one-by-one walk (Find,
// then FindNext until the first occurrence comes round again, reading each
// value), against the fastest listing UNO offers: findAll, the addresses of
// the ranges it returns, and one getDataArray of the used area for the values.
//
// Replace: the host's bulk replace of the 10,000 cells, recording each old
// value, against UNO replaceAll on an identical sheet (which records nothing).
//
// The whole engine: the all-at-once search of the search window, every row
// written to w_sort and appended to the list's model, against the listing;
// and the all-at-once replace of the replace window (rows to w_replace, what
// each replacement wrote kept beside them), against replaceAll. The replaced
// sheet is then compared cell by cell with the one replaceAll made.
//
// A replace run is also stopped once a round, at a different moment each
// time, and the time from the click to the run's end is printed.
//
// Prints each time and its ratio to the baseline measured in the same run.
// The engine runs and their baselines are measured in rounds (five, or
// KORVEX_BENCH_ROUNDS), each on sheets of its own, each ratio against the
// baseline measured in the same round: a busy machine moves single figures by
// half, and the median of the rounds says more than any one of them.

#include "app_state.h"
#include "bench_window.h"
#include "calc_bench_support.h"
#include "calc_fixtures.h"
#include "calc_model.h"
#include "private_office.h"
#include "replace_log.h"
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
#include <com/sun/star/util/XReplaceDescriptor.hpp>
#include <com/sun/star/util/XReplaceable.hpp>
#include <com/sun/star/util/XSearchDescriptor.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace korvex;
using namespace korvex::bench;
namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr int Rows = 1000;
constexpr int Columns = 100;

host::FindOptions hits() {
    host::FindOptions options;
    options.what = QStringLiteral("hit");
    options.lookIn = host::LookIn::Values;
    return options;
}

int interfaceWalk(const host::SheetPtr& sheet) {
    const auto cells = sheet->cells();
    auto hit = cells->find(hits());
    if (!hit)
        return 0;
    const QString first = hit->address();
    int count = 0;
    do {
        ++count;
        hit->value(); // the result row records the cell's value
        hit = cells->findNext(hit);
    } while (hit && hit->address() != first);
    return count;
}

int unoReplaceAll(const calc::SessionPtr& session, const calc::DocRef& doc, int sheetIndex) {
    return session->run(
        [doc, sheetIndex] {
            Reference<css::util::XReplaceable> replaceable(unoSheet(doc, sheetIndex),
                                                           UNO_QUERY_THROW);
            auto descriptor = replaceable->createReplaceDescriptor();
            descriptor->setSearchString("hit");
            descriptor->setReplaceString("hot");
            return int(replaceable->replaceAll(
                Reference<css::util::XSearchDescriptor>(descriptor, UNO_QUERY_THROW)));
        },
        Minutes);
}

// Every cell of the used area as text, row by row.
std::vector<rtl::OUString> sheetTexts(const calc::SessionPtr& session, const calc::DocRef& doc,
                                      int sheetIndex) {
    return session->run(
        [doc, sheetIndex] {
            const auto sheet = unoSheet(doc, sheetIndex);
            auto cursor = sheet->createCursor();
            Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
            used->gotoStartOfUsedArea(false);
            used->gotoEndOfUsedArea(true);
            const auto data =
                Reference<css::sheet::XCellRangeData>(cursor, UNO_QUERY_THROW)->getDataArray();
            std::vector<rtl::OUString> out;
            for (const auto& row : data)
                for (const auto& v : row) {
                    rtl::OUString text;
                    v >>= text;
                    out.push_back(text);
                }
            return out;
        },
        Minutes);
}

// The replace window with a user who clicks the stop button `stopAtMs` after
// the sheet's read, while the cells are being replaced (a click during the
// read waits for that one call). A click made while the office works is
// delivered when events next go through; the latency runs from the click
// itself to the run's end.
class StoppingWindow : public bench::BenchWindow {
public:
    using BenchWindow::BenchWindow;
    QElapsedTimer clock; // started once the sheet is read
    qint64 stopAtMs = -1;
    void letEventsThrough() override {
        BenchWindow::letEventsThrough();
        if (!clock.isValid())
            clock.start();
        else if (clock.elapsed() >= stopAtMs)
            ResetFind();
    }
};

// Replaces on `sheet` and stops the run `stopAtMs` into its replacing;
// returns the milliseconds from the click to the run's end.
double stopLatency(findreplace::ResultModel& model, Korvex_C01& db, const QString& book,
                   const QString& sheet, int stopAtMs) {
    StoppingWindow window(model, db, book, {{sheet, true}});
    window.opts.what = QStringLiteral("hit");
    window.opts.replacement = QStringLiteral("hot");
    window.stopAtMs = stopAtMs;
    findreplace::SearchEngine engine(findreplace::EngineMode::Replace, window);
    engine.runAllClick();
    return double(window.clock.nsecsElapsed()) / 1e6 - double(stopAtMs);
}

// One all-at-once click of the engine over one sheet; returns the rows it
// recorded.
// The search window looks in formulas unless told otherwise (`lookInIndex`
// 1: in values, as the listing does).
int engineRun(findreplace::EngineMode mode, findreplace::ResultModel& model, Korvex_C01& db,
              const QString& book, const QString& sheet, int lookInIndex = 0) {
    bench::BenchWindow window(model, db, book, {{sheet, true}});
    window.opts.what = QStringLiteral("hit");
    window.opts.lookInIndex = lookInIndex;
    if (mode == findreplace::EngineMode::Replace)
        window.opts.replacement = QStringLiteral("hot");
    findreplace::SearchEngine engine(mode, window);
    const int before = model.rowCount();
    engine.runAllClick();
    return model.rowCount() - before;
}

void printRatio(const char* what, int count, double ms, double baselineMs) {
    std::printf("%-44s %6d in %8.1f ms (%.4f ms each)  ratio %.2f\n", what, count, ms,
                ms / std::max(1, count), ms / baselineMs);
}

// One engine figure over the rounds: each round's time and ratio, then the
// median ratio and the range.
struct Rounds {
    explicit Rounds(const char* w) : what(w) {}
    const char* what;
    std::vector<double> ms, baselineMs;
    void add(double m, double base) {
        ms.push_back(m);
        baselineMs.push_back(base);
    }
    void print() const {
        std::vector<double> ratios;
        std::printf("%s\n", what);
        for (size_t r = 0; r < ms.size(); ++r) {
            ratios.push_back(ms[r] / baselineMs[r]);
            std::printf("  round %zu: %7.1f ms against %7.1f ms  ratio %.2f\n", r + 1, ms[r],
                        baselineMs[r], ratios.back());
        }
        std::printf("  median ratio %.2f (%.2f to %.2f over %zu rounds)\n", median(ratios),
                    *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()), ratios.size());
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    calc::PrivateOffice office(QStringLiteral("bench"));
    const auto connector = connectToOffice(office);
    if (!connector)
        return 1;
    const auto app = connector->attach();
    const QString book = QStringLiteral("bench.xlsx");
    const int rounds = benchRounds();
    QStringList sheetNames{"data", "walk"};
    const auto roundSheet = [](const char* kind, int round) {
        return QStringLiteral("%1%2").arg(QLatin1String(kind)).arg(round + 1);
    };
    for (int r = 0; r < rounds; ++r)
        sheetNames << roundSheet("uno", r) << roundSheet("engine", r) << roundSheet("enval", r)
                   << roundSheet("engrep", r) << roundSheet("stop", r);
    QString fixtureText = QStringLiteral("[book bench.xlsx]\n");
    for (const QString& name : sheetNames)
        fixtureText += QStringLiteral("[sheet %1]\n").arg(name);
    QString parseError;
    calc::loadFixture(app, *sim::parseFixture(fixtureText, &parseError));
    std::vector<QStringList> rows(Rows);
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Columns; ++c) {
            const int n = r * Columns + c;
            rows[size_t(r)] << (n % 10 == 0 ? QStringLiteral("hit %1").arg(n)
                                            : QStringLiteral("item %1").arg(n));
        }
    for (const QString& name : sheetNames)
        calc::fillSheet(app, book, name, rows);

    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const auto workbook = app->workbook(book);
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(workbook)->document();
    const auto data = workbook->worksheet(QStringLiteral("data"));

    // The listing reads the sheet the walk only reads.
    const int walkIndex = int(sheetNames.indexOf(QStringLiteral("walk")));
    // The one-by-one walk first, on a sheet of its own.
    int walked = 0;
    const double walkMs = millisecondsOf(
        [&] { walked = interfaceWalk(workbook->worksheet(QStringLiteral("walk"))); });
    int listed = 0;
    const double listingMs = millisecondsOf([&] { listed = unoListing(session, doc, walkIndex); });
    int replacedByUno = 0;
    const double replaceAllMs = millisecondsOf([&] {
        replacedByUno = unoReplaceAll(session, doc, int(sheetNames.indexOf(roundSheet("uno", 0))));
    });

    std::vector<host::FoundCell> found;
    const double findAllMs = millisecondsOf([&] { found = data->findAll(hits()); });
    // The replace window looks in formulas.
    host::FindOptions inFormulas = hits();
    inFormulas.lookIn = host::LookIn::Formulas;
    std::vector<host::FoundCell> toReplace;
    const double findFormulasMs = millisecondsOf([&] { toReplace = data->findAll(inFormulas); });
    std::vector<host::CellPosition> cells;
    for (const auto& f : toReplace)
        cells.push_back(f.cell);
    host::ReplaceOptions replace;
    replace.what = QStringLiteral("hit");
    replace.replacement = QStringLiteral("hot");
    std::vector<host::CellReplacement> done;
    const double replaceCellsMs =
        millisecondsOf([&] { done = data->replaceCells(replace, cells); });
    int replaced = 0;
    for (const auto& r : done)
        replaced += r.outcome == host::CellReplacement::Outcome::Replaced &&
                            r.oldValueText.startsWith(QStringLiteral("hit"))
                        ? 1
                        : 0;
    // What Korvex knows of the sheet after its own writes: no read again.
    std::vector<host::FoundCell> after;
    const double findAgainMs = millisecondsOf([&] { after = data->findAll(inFormulas); });

    // The engine, through the program's own work database.
    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("bench.mdb"));
    QFile(dbPath).open(QIODevice::WriteOnly);
    Korvex_C01 db;
    db.Connect(dbPath);
    findreplace::CreateResultTable(db, findreplace::ResultKind::Search);
    findreplace::CreateResultTable(db, findreplace::ResultKind::Replace);
    findreplace::createReplaceLog(db);
    findreplace::ResultModel searchModel(findreplace::ResultKind::Search, db);
    findreplace::ResultModel replaceModel(findreplace::ResultKind::Replace, db);
    searchModel.bind();
    replaceModel.bind();
    Korvex_M02::SetConnector(connector);
    Rounds searchRounds("all-at-once search vs UNO listing");
    Rounds valuesRounds("all-at-once search in values vs UNO listing");
    Rounds replaceRounds("all-at-once replace vs UNO replaceAll");
    bool engineSame = true;
    std::vector<double> stopLatencies;
    for (int r = 0; r < rounds; ++r) {
        // The first round's replaceAll is the one measured above.
        const double listing =
            r == 0 ? listingMs : millisecondsOf([&] { unoListing(session, doc, walkIndex); });
        // One click of the engine on this round's sheet of `kind`, timed.
        const auto timed = [&](findreplace::EngineMode mode, findreplace::ResultModel& model,
                               const char* kind, int lookInIndex, int& rows) {
            return millisecondsOf(
                [&] { rows = engineRun(mode, model, db, book, roundSheet(kind, r), lookInIndex); });
        };
        int engineFound = 0;
        int valuesFound = 0;
        int engineReplaced = 0;
        const double engineSearchMs =
            timed(findreplace::EngineMode::Search, searchModel, "engine", 0, engineFound);
        const double valuesSearchMs =
            timed(findreplace::EngineMode::Search, searchModel, "enval", 1, valuesFound);
        const int unoIndex = int(sheetNames.indexOf(roundSheet("uno", r)));
        const double replaceAll =
            r == 0 ? replaceAllMs : millisecondsOf([&] { unoReplaceAll(session, doc, unoIndex); });
        const double engineReplaceMs =
            timed(findreplace::EngineMode::Replace, replaceModel, "engrep", 0, engineReplaced);
        const bool sameCells =
            sheetTexts(session, doc, int(sheetNames.indexOf(roundSheet("engrep", r)))) ==
            sheetTexts(session, doc, unoIndex);
        if (!sameCells)
            std::printf("round %d: the replaced sheet DIFFERS FROM the one replaceAll made\n",
                        r + 1);
        engineSame = engineSame && sameCells && engineFound == listed && valuesFound == listed &&
                     engineReplaced == listed;
        // A stop at a different moment of each round.
        stopLatencies.push_back(
            stopLatency(replaceModel, db, book, roundSheet("stop", r), 20 + 50 * (r % 4) + 11 * r));
        searchRounds.add(engineSearchMs, listing);
        valuesRounds.add(valuesSearchMs, listing);
        replaceRounds.add(engineReplaceMs, replaceAll);
    }

    std::printf("cells searched: %d, occurrences: %d\n\n", Rows * Columns, listed);
    std::printf("%-44s %6d in %8.1f ms (%.4f ms each)\n",
                "UNO findAll + addresses + one getDataArray", listed, listingMs,
                listingMs / std::max(1, listed));
    printRatio("Sheet::findAll (sheet not read before)", int(found.size()), findAllMs, listingMs);
    printRatio("Range::find + findNext + value per hit", walked, walkMs, listingMs);
    std::printf("\n%-44s %6d in %8.1f ms (%.4f ms each)\n", "UNO replaceAll (records nothing)",
                replacedByUno, replaceAllMs, replaceAllMs / std::max(1, replacedByUno));
    printRatio("Sheet::replaceCells (old values recorded)", replaced, replaceCellsMs, replaceAllMs);
    printRatio("  findAll (formulas) + replaceCells", replaced, findFormulasMs + replaceCellsMs,
               replaceAllMs);
    std::printf("\n%-44s %6d in %8.1f ms (after Korvex's own writes)\n", "Sheet::findAll again",
                int(after.size()), findAgainMs);
    std::printf("\nthe engine, rows into the work database and the list's model:\n");
    searchRounds.print();
    valuesRounds.print();
    replaceRounds.print();
    std::printf("stop latency while replacing, click to run's end: median %.1f ms, worst %.1f ms "
                "over %zu runs\n",
                median(stopLatencies),
                *std::max_element(stopLatencies.begin(), stopLatencies.end()),
                stopLatencies.size());
    std::printf("replaced sheets %s the ones replaceAll made, every row recorded\n",
                engineSame ? "equal" : "DO NOT ALL EQUAL");
    Korvex_M02::SetConnector(nullptr);
    Korvex_M02::ExcelApp.reset();
    const bool same = listed == int(found.size()) && walked == listed && replaced == listed &&
                      replacedByUno == listed && after.empty() && engineSame;
    return same ? 0 : 2;
}
