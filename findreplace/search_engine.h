#pragma once
// The search and replace engine: one machine for both windows. It drives the
// host's find sheet by sheet in the order of the sheet list and hands every
// occurrence to the window's row writer; in the replace window each occurrence
// is then replaced inside its cell. Two commands run it: one occurrence per
// click (a pass that stays open between clicks) and every occurrence at once
// (a run that lets events through so that it can be stopped).

#include "engine_window.h"
#include "host.h"
#include "host_helpers.h"

#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace korvex::findreplace {

// The host's find and replace arguments for the options as the controls hold
// them. The replace window always looks in formulas.
host::FindOptions findOptionsFor(EngineMode mode, const EngineOptions& options);
host::ReplaceOptions replaceOptionsFor(const EngineOptions& options);

// What a window's refusal message ("E_F02_007"...) names when the search
// text is a regular expression that does not parse: the text, the parser's
// words and the character where it stopped (from 1; the last one when it ran
// off the end). Nothing when the search can run.
std::optional<QStringList> badExpression(const host::FindOptions& options);

// The line a window shows while a run works and after it: the sheet being
// worked and the rows recorded so far, then the total and the time taken.
QString progressText(EngineMode mode, const EngineProgress& progress);

class SearchEngine {
public:
    SearchEngine(EngineMode mode, EngineWindow& window);

    // "検索実行" / "置換実行": records (and replaces) the next occurrence.
    void stepClick();
    // "一括検索" / "一括置換": records (and replaces) every occurrence.
    void runAllClick();
    // A run in progress stops after its current row once the window's
    // ResetFind has set NotRunning.

    // How long a run may go without letting events through. Tests set 0 to
    // let them through after every row.
    void setYieldIntervalMs(int ms) { m_yieldIntervalMs = ms; }
    // The clock a run is paced and timed by and its rows are stamped with, in
    // milliseconds since the epoch: tests drive it themselves. Unless set, it
    // is the wall clock read at the start of each click and carried on by a
    // steady clock during the click, so that a clock set back meanwhile never
    // stalls the run's pacing.
    void setClock(std::function<qint64()> nowMs) {
        m_now = std::move(nowMs);
        m_resync = nullptr;
    }
    EngineMode mode() const { return m_mode; }

private:
    struct Hit;
    class RowSink;
    // Cells a replace call changed, and those the host refused to change.
    struct Done {
        qint64 replaced = 0;
        qint64 refused = 0;
    };

    QString messageId(const char* kind, int number) const;
    bool preconditionsHold();
    // The listed sheet `name`, activated unless `activate` is false; null
    // when it is gone or cannot be activated.
    host::SheetPtr lookUpSheet(const host::WorkbookPtr& book, const QString& name,
                               bool activate = true);
    host::RangePtr findAfter(const host::SheetPtr& sheet, const host::RangePtr& after);
    // Called when a host call failed: true (and remembered for the rest of
    // the click) when the host itself is no longer reachable.
    bool hostGone();
    Hit describe(const host::RangePtr& cell) const;
    HitRow rowFor(const QString& sheetName, const QString& address, const QString& valueText,
                  qint32 seqNo, RowSink& sink) const;
    // Records one occurrence of the one-by-one pass; in the replace window
    // also activates and replaces its cell. The row is stored before the cell
    // changes.
    Done takeHit(const host::SheetPtr& sheet, const Hit& hit, const QString& sheetName,
                 qint32 seqNo, RowSink& sink);
    // A replace call the host works on, for the cells of stored rows.
    struct Replacing {
        QList<HitRow> rows;
        std::function<std::vector<host::CellReplacement>()> finish;
    };
    // Replaces inside the cells of stored rows and keeps what each held and
    // what was written, or that it was refused.
    Done replaceAndKeep(const host::SheetPtr& sheet, const QList<HitRow>& rows,
                        const std::vector<host::CellPosition>& cells);
    Replacing beginReplace(const host::SheetPtr& sheet, const QList<HitRow>& rows,
                           const std::vector<host::CellPosition>& cells);
    std::vector<host::CellReplacement> finishReplace(Replacing& call);
    Done keep(const QList<HitRow>& rows, const std::vector<host::CellReplacement>& done);
    // The notice that protected cells were left as they were.
    void tellRefused(qint64 replaced, qint64 refused);
    void allAtOnceOnSheet(const host::SheetPtr& sheet, const QString& sheetName, qint64& n,
                          RowSink& sink);
    void letEventsThrough(const QString& sheetName, qint64 rows);
    void sizeNextBatch(int rows, qint64 ms, qint64 storingMs);
    void restoreStartPos();

    EngineMode m_mode;
    EngineWindow& m_window;
    EngineOptions m_options;
    QString m_book;
    bool m_startPosKnown = false;
    // The host went away during this click: the click stops where it is and
    // says so, rather than fail every later call and report what it has as
    // the whole result.
    bool m_hostLost = false;
    Done m_run; // of the all-at-once run going on
    // Cells of the sheet being worked that the open pass has already recorded:
    // a cell that keeps matching after its replacement failed is never taken
    // twice, even when the first occurrence itself stopped matching.
    QSet<QString> m_passSeen;
    int m_yieldIntervalMs = 15;
    int m_batchRows = 8;
    // How long one batch may take: rows stored and, when replacing, their
    // cells replaced in one host call.
    static constexpr double BatchBudgetMs = 24;        // no events while it lasts
    static constexpr double PaintedBatchBudgetMs = 60; // the windows paint during host calls
    double m_batchBudgetMs = BatchBudgetMs;
    // Rows are stored while the host replaces the batch before (see
    // allAtOnceOnSheet).
    bool m_overlapCalls = false;
    // The last batch measured, and the cost of one more row in a batch
    // learnt from it (negative until two sizes have been measured).
    struct {
        int rows = 0;
        qint64 ms = 0;
    } m_lastBatch;
    double m_perRowMs = -1;
    int m_sameSizeBatches = 0;
    std::function<qint64()> m_now;
    std::function<void()> m_resync; // sets the unset clock to the wall clock
    qint64 m_lastYield = 0;
};

} // namespace korvex::findreplace
