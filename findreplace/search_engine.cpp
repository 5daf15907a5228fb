#include "search_engine.h"

#include "app_state.h"
#include "cell_address.h"
#include "guarded.h"
#include "run_guard.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>

#include <exception>
#include <memory>

namespace korvex::findreplace {

using host::HostError;
namespace M02 = Korvex_M02;

namespace {

host::Application& app() {
    if (!M02::ExcelApp)
        throw HostError(QStringLiteral("no spreadsheet host is attached"));
    return *M02::ExcelApp;
}

// The row time stamp, read from the engine's clock for every row but
// formatted only when the second changes: a run records far more rows than
// seconds.
class StampClock {
public:
    QString at(qint64 msSinceEpoch) {
        const qint64 second = msSinceEpoch / 1000;
        if (second != m_second) {
            m_second = second;
            m_text = executeStamp(QDateTime::fromMSecsSinceEpoch(second * 1000));
        }
        return m_text;
    }

private:
    qint64 m_second = -1;
    QString m_text;
};

QString withoutDollars(QString address) {
    return address.remove(QLatin1Char('$'));
}

} // namespace

struct SearchEngine::Hit {
    host::RangePtr cell;
    QString address; // absolute, as the host gives it: the wrap-around test
    QString valueText;
};

// Rows waiting to be written. A search run writes them in batches (each
// time events are let through, and at the end of every sheet); the replace
// window writes each row on its own, before its cell changes.
class SearchEngine::RowSink {
public:
    RowSink(EngineWindow& window, QString book) : m_window(window), m_book(std::move(book)) {}

    void add(HitRow row) { m_rows.append(std::move(row)); }
    int pending() const { return int(m_rows.size()); }
    // False when the window could not store the rows (they are dropped).
    bool flush() {
        if (m_rows.isEmpty())
            return true;
        const QList<HitRow> rows = std::move(m_rows);
        m_rows.clear();
        const bool stored = guarded([&] { m_window.AddResultRows(m_book, rows); });
        m_failed = m_failed || !stored;
        return stored;
    }
    // Some rows could not be stored: the run must stop and say so rather than
    // go on finding occurrences whose rows are thrown away.
    bool failed() const { return m_failed; }
    QString stamp(qint64 msSinceEpoch) { return m_clock.at(msSinceEpoch); }

private:
    EngineWindow& m_window;
    QString m_book;
    QList<HitRow> m_rows;
    StampClock m_clock;
    bool m_failed = false;
};

SearchEngine::SearchEngine(EngineMode mode, EngineWindow& window) : m_mode(mode), m_window(window) {
    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    auto wallAtStart = std::make_shared<qint64>(QDateTime::currentMSecsSinceEpoch());
    m_now = [steady, wallAtStart] { return *wallAtStart + steady->elapsed(); };
    m_resync = [steady, wallAtStart] {
        *wallAtStart = QDateTime::currentMSecsSinceEpoch() - steady->elapsed();
    };
}

QString SearchEngine::messageId(const char* kind, int number) const {
    return QStringLiteral("%1_%2_%3")
        .arg(QLatin1String(kind))
        .arg(m_mode == EngineMode::Search ? QStringLiteral("F02") : QStringLiteral("F03"))
        .arg(number, 3, 10, QLatin1Char('0'));
}

bool SearchEngine::preconditionsHold() {
    // All three are looked at, as the user may have fixed one and not another.
    const bool attached = M02::AttachExcel();
    bool anySelected = false;
    for (const SheetEntry& e : m_window.sheetEntries())
        anySelected = anySelected || e.selected;
    m_options = m_window.options();
    if (!attached || !anySelected || m_options.what.isEmpty()) {
        m_window.beep();
        return false;
    }
    // Refused before any sheet is touched.
    if (const auto refusal = badExpression(findOptionsFor(m_mode, m_options))) {
        m_window.showMessageWith(messageId("E", 7), *refusal);
        return false;
    }
    m_book = m_window.targetBook();
    bool open = false;
    guarded([&] { open = M02::IsBookOpen(m_book); });
    if (!open) {
        m_window.showMessage(messageId("E", 2));
        return false;
    }
    return true;
}

host::SheetPtr SearchEngine::lookUpSheet(const host::WorkbookPtr& book, const QString& name,
                                         bool activate) {
    // The host looks names up ignoring case; a sheet that has since been
    // renamed to another spelling is not the listed sheet and is skipped
    // rather than searched under the listed name.
    host::SheetPtr sheet;
    bool reached = guarded([&] {
        auto found = book->worksheet(name);
        if (found && found->name() == name)
            sheet = std::move(found);
    });
    if (sheet && activate && !(reached = guarded([&] { sheet->activate(); })))
        sheet.reset(); // "after the active cell" would name another sheet's cell
    if (!reached)
        hostGone();
    return sheet;
}

bool SearchEngine::hostGone() {
    // A sheet renamed or a cell refused fails one call while the host still
    // answers; only a host that cannot be attached any more ends the click.
    if (!m_hostLost && !M02::AttachExcel())
        m_hostLost = true;
    return m_hostLost;
}

// The next occurrence after `after` (null: after the sheet's active cell),
// asked for with the window's own options every time. Relying on the host's
// remembered settings instead would let a search made in the other window, or
// an all-at-once run in this one, change what the open pass looks for.
host::RangePtr SearchEngine::findAfter(const host::SheetPtr& sheet, const host::RangePtr& after) {
    host::RangePtr hit;
    if (!guarded([&] {
            host::FindOptions f = findOptionsFor(m_mode, m_options);
            f.after = after ? after : app().activeCell();
            hit = sheet->cells()->find(f);
        }))
        hostGone();
    return hit;
}

SearchEngine::Hit SearchEngine::describe(const host::RangePtr& cell) const {
    Hit h;
    h.cell = cell;
    h.address = cell->address();
    h.valueText = host::valueText(cell->value());
    return h;
}

HitRow SearchEngine::rowFor(const QString& sheetName, const QString& address,
                            const QString& valueText, qint32 seqNo, RowSink& sink) const {
    HitRow row;
    row.sheet = sheetName;
    row.range = withoutDollars(address);
    row.result = valueText;
    row.execute = sink.stamp(m_now());
    row.seqNo = seqNo;
    return row;
}

SearchEngine::Done SearchEngine::replaceAndKeep(const host::SheetPtr& sheet,
                                                const QList<HitRow>& rows,
                                                const std::vector<host::CellPosition>& cells) {
    Replacing call = beginReplace(sheet, rows, cells);
    return keep(call.rows, finishReplace(call));
}

SearchEngine::Replacing SearchEngine::beginReplace(const host::SheetPtr& sheet,
                                                   const QList<HitRow>& rows,
                                                   const std::vector<host::CellPosition>& cells) {
    Replacing call;
    if (cells.empty())
        return call;
    if (guarded(
            [&] { call.finish = sheet->beginReplaceCells(replaceOptionsFor(m_options), cells); }))
        call.rows = rows;
    else
        hostGone();
    return call;
}

std::vector<host::CellReplacement> SearchEngine::finishReplace(Replacing& call) {
    std::vector<host::CellReplacement> done;
    if (!call.finish)
        return done;
    if (!guarded([&] { done = call.finish(); }))
        hostGone();
    call.finish = nullptr;
    return done;
}

SearchEngine::Done SearchEngine::keep(const QList<HitRow>& rows,
                                      const std::vector<host::CellReplacement>& done) {
    // What each cell held before is kept for undoing the row later, and a
    // cell the host refused to change is marked so, to be told and never
    // undone.
    Done count;
    using Outcome = host::CellReplacement::Outcome;
    QList<ReplacedCell> kept;
    for (size_t k = 0; k < done.size() && k < size_t(rows.size()); ++k) {
        const host::CellReplacement& c = done[k];
        if (c.outcome == Outcome::NoMatch)
            continue;
        const bool refused = c.outcome == Outcome::Refused;
        ++(refused ? count.refused : count.replaced);
        const HitRow& row = rows[int(k)];
        kept.append({row.sheet, row.range, row.execute, row.seqNo, c.oldValueText, c.newValueText,
                     c.oldContent, refused});
    }
    if (!kept.isEmpty())
        guarded([&] { m_window.keepReplaced(m_book, kept); });
    return count;
}

void SearchEngine::tellRefused(qint64 replaced, qint64 refused) {
    if (refused > 0)
        m_window.showMessageWith(messageId("N", 4),
                                 {QString::number(replaced), QString::number(refused)});
}

SearchEngine::Done SearchEngine::takeHit(const host::SheetPtr& sheet, const Hit& hit,
                                         const QString& sheetName, qint32 seqNo, RowSink& sink) {
    const HitRow row = rowFor(sheetName, hit.address, hit.valueText, seqNo, sink);
    sink.add(row);
    if (m_mode == EngineMode::Search)
        return {};
    // Replace: make the occurrence the active cell, store its row with the old
    // value, then replace inside that one cell. A cell that cannot be made
    // active is left as it is: no other cell may change in its place. Nor is
    // a cell changed whose row could not be stored, as its old value would
    // then be known nowhere.
    const bool active = guarded([&] { hit.cell->activate(); });
    const bool stored = sink.flush();
    if (const auto at = a1::parseCell(hit.address); active && stored && at)
        return replaceAndKeep(sheet, {row}, {*at});
    return {};
}

void SearchEngine::restoreStartPos() {
    if (!m_startPosKnown)
        return;
    // Reading where the cursor is costs a few quick calls; moving it makes the
    // office draw the sheet again, which takes several times as long.
    const M02::CellPos& start = m_window.pass().StartPos;
    M02::CellPos now;
    if (guarded([&] { M02::GetCurrentPos(now); }) && now.Book == start.Book &&
        now.Sheet == start.Sheet && now.Row == start.Row && now.Col == start.Col)
        return;
    guarded([&] { M02::GoToPos(start); });
}

void SearchEngine::stepClick() {
    PassState& p = m_window.pass();
    const RunGuard run;
    if (!run.granted()) { // a run is in progress, in this window or another
        m_window.beep();
        return;
    }
    if (!preconditionsHold())
        return;
    if (m_resync)
        m_resync();
    m_hostLost = false;
    m_window.AddSearchHistory();
    m_window.SetBusy(true);
    m_window.setGridActive(true);
    m_startPosKnown = guarded([&] { M02::GetCurrentPos(p.StartPos); });

    host::WorkbookPtr book;
    guarded([&] {
        book = app().workbook(m_book);
        M02::ActivateBook(*book);
    });
    m_window.setBusyPointer(true);

    const QList<SheetEntry> entries = m_window.sheetEntries();
    RowSink sink(m_window, m_book);
    const auto sheetDone = [&] {
        p.CurrentHit.reset();
        p.FirstHitSheet.clear();
    };
    bool found = false;
    int i = p.ResumeSheet;
    if (!book)
        hostGone();
    for (; book && !m_hostLost && i < entries.size(); ++i) {
        if (!entries[i].selected)
            continue;
        const QString& name = entries[i].name;
        if (p.CurrentHit && p.FirstHitSheet != name)
            sheetDone();
        const host::SheetPtr sheet = lookUpSheet(book, name);
        if (!sheet) {
            sheetDone();
            continue;
        }
        const bool firstOnSheet = !p.CurrentHit;
        if (firstOnSheet)
            m_passSeen.clear();
        const host::RangePtr cell = findAfter(sheet, p.CurrentHit);
        Hit hit;
        if (!cell || !guarded([&] { hit = describe(cell); }) ||
            (!firstOnSheet &&
             (hit.address == p.FirstHitAddress || m_passSeen.contains(hit.address)))) {
            // The sheet is done: nothing found, or the search came round again.
            sheetDone();
            continue;
        }
        found = true;
        p.CurrentHit = cell;
        if (firstOnSheet) {
            p.FirstHitSheet = name;
            p.FirstHitAddress = hit.address;
        }
        m_passSeen.insert(hit.address);
        const Done done = takeHit(sheet, hit, name, p.HitCount, sink);
        if (!sink.flush() || sink.failed())
            m_window.showMessage(messageId("E", 5));
        ++p.HitCount;
        guarded([&] { m_window.commit(); });
        if (m_mode == EngineMode::Replace) {
            // The pass so far, as the status line of a run tells it.
            p.Replaced += done.replaced;
            p.Refused += done.refused;
            m_window.showProgress({name, p.Replaced, true, -1, false, p.Refused});
            if (done.refused > 0)
                tellRefused(p.Replaced, p.Refused);
        }
        break;
    }
    m_window.setBusyPointer(false);

    if (found) {
        p.ResumeSheet = i;
        M02::ActivateExcel();
        return;
    }
    if (m_hostLost) {
        // The pass cannot go on in a host that is gone; its rows stay.
        m_window.showMessage(messageId("E", 6));
    } else if (p.HitCount != 0) {
        m_window.showMessage(messageId("N", 2));
    } else {
        m_window.showMessage(messageId("N", 1));
        restoreStartPos();
    }
    m_window.ResetFind();
    m_window.SetBusy(false);
}

void SearchEngine::letEventsThrough(const QString& sheetName, qint64 rows) {
    m_window.showProgress({sheetName, rows, false, 0});
    m_window.letEventsThrough();
    m_lastYield = m_now();
}

void SearchEngine::allAtOnceOnSheet(const host::SheetPtr& sheet, const QString& sheetName,
                                    qint64& n, RowSink& sink) {
    // Every occurrence of the sheet in one host call, in the order the find
    // would give them one by one from the sheet's active cell. Reading a
    // large sheet takes a while: the status line names it meanwhile.
    m_window.showProgress({sheetName, n, false, 0});
    std::vector<host::FoundCell> found;
    if (!guarded([&] {
            host::FindOptions f = findOptionsFor(m_mode, m_options);
            // The sheet's active cell, whether the sheet is shown or not.
            f.after = sheet->cursorCell();
            // A large sheet is read a band at a time, events going through
            // between bands: the list scrolls and the stop button answers
            // while the host reads.
            host::ReadInBands bands;
            bands.between = [&] {
                letEventsThrough(sheetName, n);
                return !m_window.pass().NotRunning;
            };
            found = sheet->findAll(f, bands);
        }))
        hostGone();
    // Events go through once the read is done, before the first row: going
    // through after it would make a call of that one row.
    if (m_now() - m_lastYield >= m_yieldIntervalMs) {
        letEventsThrough(sheetName, n);
        if (m_window.pass().NotRunning)
            return;
    }
    if (found.empty())
        return;
    const bool replace = m_mode == EngineMode::Replace;
    // Replace: the rows waiting are stored first, then their cells are
    // replaced in one call, each time events are let through. Where the host
    // works in a process of its own (its calls let the windows paint), the
    // next batch's rows are stored and what the batch before wrote is kept
    // while it replaces inside one batch's cells: it takes one call at a
    // time, so a batch's call ends before the next one's begins, and every
    // row is still stored before its own cell changes.
    QList<HitRow> waiting;
    std::vector<host::CellPosition> cells;
    Replacing inFlight;
    qint64 storing = 0; // of the last settle, the time the rows took to store
    const auto land = [&](Replacing& call) {
        const QList<HitRow> rows = call.rows;
        const Done done = keep(rows, finishReplace(call));
        m_run.replaced += done.replaced;
        m_run.refused += done.refused;
    };
    const auto settle = [&] {
        if (sink.pending() == 0 && cells.empty())
            return; // a batch in flight goes on while events go through
        const qint64 started = m_now();
        const bool stored = sink.flush();
        storing = m_now() - started;
        Replacing landed = std::move(inFlight);
        inFlight = {};
        std::vector<host::CellReplacement> done = finishReplace(landed);
        if (replace && stored && !cells.empty() && !m_hostLost) {
            // The list shows the stored rows while the host replaces their
            // cells; the count beside it says so too.
            m_window.showProgress({sheetName, n, false, 0});
            inFlight = beginReplace(sheet, waiting, cells);
        }
        const Done kept = keep(landed.rows, done);
        m_run.replaced += kept.replaced;
        m_run.refused += kept.refused;
        if (!m_overlapCalls)
            land(inFlight);
        waiting.clear();
        cells.clear();
    };
    for (const host::FoundCell& c : found) {
        HitRow row = rowFor(sheetName, c.address, c.valueText, qint32(n), sink);
        if (replace) {
            waiting.append(row);
            cells.push_back(c.cell);
        }
        sink.add(std::move(row));
        ++n;
        // Rows go out in batches: one transaction and one host call per
        // batch rather than per row, each batch small enough that with
        // events let through every 15 ms no stretch reaches 50 ms.
        if (sink.pending() >= m_batchRows) {
            const int rows = sink.pending();
            const qint64 started = m_now();
            settle();
            sizeNextBatch(rows, m_now() - started, storing);
            if (sink.failed() || m_hostLost)
                break;
        }
        if (m_now() - m_lastYield >= m_yieldIntervalMs) {
            settle();
            letEventsThrough(sheetName, n);
            if (m_window.pass().NotRunning || sink.failed() || m_hostLost)
                break;
        }
    }
    settle();
    land(inFlight);
    guarded([&] { m_window.commit(); });
}

void SearchEngine::runAllClick() {
    PassState& p = m_window.pass();
    const RunGuard run;
    if (!run.granted()) { // a click while a run, here or elsewhere, lets events through
        m_window.beep();
        return;
    }
    if (!preconditionsHold())
        return;
    if (m_resync)
        m_resync();
    const qint64 started = m_now();
    m_hostLost = false;
    m_window.AddSearchHistory();
    m_window.setGridActive(false);
    m_window.setMainWindowEnabled(false);
    m_window.SetBusy(true);
    m_startPosKnown = guarded([&] { M02::GetCurrentPos(p.StartPos); });
    host::WorkbookPtr book;
    bool paints = false;
    guarded([&] {
        book = app().workbook(m_book);
        M02::ActivateBook(*book);
        paints = app().paintsDuringCalls();
    });
    const bool paintedCalls = m_mode == EngineMode::Replace && paints;
    m_batchBudgetMs = paintedCalls ? PaintedBatchBudgetMs : BatchBudgetMs;
    m_overlapCalls = paintedCalls;
    if (paintedCalls)
        m_batchRows = std::max(m_batchRows, 64); // fewer calls spent finding the size
    m_window.setBusyPointer(true);

    p.NotRunning = false;
    m_lastYield = m_now();
    m_run = {};
    qint64 n = 0;
    const QList<SheetEntry> entries = m_window.sheetEntries();
    RowSink sink(m_window, m_book);
    QString current;
    // A run that puts the cursor back where it was at the click has no need
    // to show each sheet it works (and the office to draw it twice); one that
    // leaves the cursor where it ends, as with a pass open, shows them.
    const bool showSheets = !(p.HitCount == 0 && m_startPosKnown);
    if (!book)
        hostGone();
    for (int i = 0; book && i < entries.size(); ++i) {
        if (!entries[i].selected)
            continue;
        current = entries[i].name;
        if (const host::SheetPtr sheet = lookUpSheet(book, current, showSheets))
            allAtOnceOnSheet(sheet, current, n, sink);
        if (p.NotRunning || sink.failed() || m_hostLost)
            break;
    }
    if (sink.pending() != 0) {
        sink.flush();
        guarded([&] { m_window.commit(); });
    }

    m_window.setBusyPointer(false);
    const bool stopped = p.NotRunning; // set by the stop button meanwhile
    p.NotRunning = true;
    m_window.setMainWindowEnabled(true);
    if (m_hostLost) {
        // An open one-by-one pass points into the host that went away.
        m_window.ResetFind();
        m_window.SetBusy(false);
    } else if (p.HitCount == 0) {
        m_window.SetBusy(false);
        restoreStartPos();
    }
    // The replace window counts what changed: refused cells keep their rows
    // but are told apart.
    const bool replace = m_mode == EngineMode::Replace;
    m_window.showProgress({current, replace ? m_run.replaced : n, true, m_now() - started,
                           stopped || m_hostLost, replace ? m_run.refused : 0});
    if (sink.failed())
        m_window.showMessage(messageId("E", 5));
    else if (m_hostLost)
        m_window.showMessage(messageId("E", 6));
    else if (n == 0 && !stopped) // a run stopped while reading found nothing yet
        m_window.showMessage(messageId("N", 1));
    else if (replace)
        tellRefused(m_run.replaced, m_run.refused);
}

} // namespace korvex::findreplace
