#pragma once
// What the search and replace engines need from the window they run in. The
// window owns the controls, the result list and the busy look; the engine owns
// the pass and the run. Keeping the two apart lets the engines run headless
// against a stand-in window and the real host or the simulated one.

#include "host.h"
#include "host_helpers.h"
#include "result_table.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace korvex::findreplace {

enum class EngineMode { Search, Replace };

// The options as the controls hold them when a command starts. The controls
// are disabled while an engine works, so one reading serves the whole click.
struct EngineOptions {
    QString what;           // the search text as typed, never trimmed
    QString replacement;    // replace window only; may be empty
    int directionIndex = 0; // 0 "行" (by rows), otherwise by columns
    int lookInIndex = 0;    // search window only: 0 "数式", 1 "値", other "ｺﾒﾝﾄ"
    bool matchCase = false;
    bool matchByte = true;
    bool wholeCell = false;
    bool useRegex = false; // the search text is a regular expression
    bool foldKana = false; // hiragana and katakana are equal
};

// One entry of the sheet list, in list order.
struct SheetEntry {
    QString name;
    bool selected = false;
};

// One occurrence as it becomes a result row. `range` is the relative address
// without "$" (B12); `result` the cell's value as text, read before any
// replacement; `execute` the row's time stamp.
struct HitRow {
    QString sheet;
    QString range;
    QString result;
    QString execute;
    qint32 seqNo = 0;
};

// The result rows a window stores for `hits` found in `book` while it
// searched for `search` (and replaced with `replacement`).
QList<ResultRow> resultRowsOf(const QString& book, const QString& search,
                              const QString& replacement, const QList<HitRow>& hits);

// What a replacement put into a cell, kept beside its result row so that the
// row can be undone later while the cell still holds exactly that; or that
// the host refused to change the cell (a protected one), so that nothing is
// undone there.
struct ReplacedCell {
    QString sheet;
    QString range;
    QString execute;
    qint32 seqNo = 0;
    QString before;                    // the cell's value as text before the replacement
    QString written;                   // the cell's value as text right after the replacement
    host::CellContent beforeContent{}; // what the cell held, to be entered again
    bool refused = false;
};

// Where a one-by-one pass stands and whether an all-at-once run is going on.
// The window keeps it (it resets it and reads NotRunning before it agrees to
// close); the engine works on it.
struct PassState {
    bool NotRunning = true;
    int ResumeSheet = 0; // sheet-list index where the next click starts
    qint32 HitCount = 0; // rows of the open pass; 0: no pass is open
    // Replace window: cells the open pass changed, and those the host refused.
    qint32 Replaced = 0;
    qint32 Refused = 0;
    host::RangePtr CurrentHit;
    QString FirstHitAddress;
    QString FirstHitSheet;
    Korvex_M02::CellPos StartPos;

    // Closes the pass: the next click starts again at the first sheet. The
    // start position stays, for the cursor to return to.
    void reset() {
        NotRunning = true;
        ResumeSheet = 0;
        HitCount = 0;
        Replaced = 0;
        Refused = 0;
        FirstHitSheet.clear();
        CurrentHit.reset();
    }
};

// Where an all-at-once run stands; `finished` marks the final report.
struct EngineProgress {
    QString sheet;   // the sheet being worked (empty before the first)
    qint64 rows = 0; // finished replace: the cells replaced
    bool finished = false;
    qint64 elapsedMs = 0; // negative: not told (a one-by-one pass)
    bool stopped = false; // ended before the end: 検索中止 / 置換中止, or the host went away
    qint64 refused = 0;   // cells the host would not change (protected)
};

class EngineWindow {
public:
    virtual ~EngineWindow() = default;

    virtual EngineOptions options() const = 0;
    virtual QString targetBook() const = 0; // the text of Book_Combo
    virtual QList<SheetEntry> sheetEntries() const = 0;

    virtual PassState& pass() = 0;
    // Ends any one-by-one pass and marks the window as not running.
    virtual void ResetFind() = 0;
    virtual void SetBusy(bool busy) = 0;
    virtual void AddSearchHistory() = 0;
    virtual void setGridActive(bool active) = 0;
    virtual void setMainWindowEnabled(bool enabled) = 0;
    virtual void setBusyPointer(bool on) = 0;

    // The row writer: appends the rows, in order, to the window's result list
    // and shows them. The book, search and replacement texts are the window's.
    // Throws when the rows cannot be stored (none of them is then stored).
    virtual void AddResultRows(const QString& book, const QList<HitRow>& rows) = 0;
    // Replace window: what each replacement put into its cell.
    virtual void keepReplaced(const QString& book, const QList<ReplacedCell>& cells) = 0;
    virtual void commit() = 0;

    virtual void showMessage(const QString& messageId) = 0;
    // A message with its numbered places (%1, %2...) filled in.
    virtual void showMessageWith(const QString& messageId, const QStringList& args) {
        (void)args;
        showMessage(messageId);
    }
    virtual void beep() = 0;
    virtual void showProgress(const EngineProgress& progress) = 0;
    // Lets pending user-interface events through: the stop button, the grid,
    // resizing. A stop arrives here as a call of ResetFind.
    virtual void letEventsThrough() = 0;
};

} // namespace korvex::findreplace
