#pragma once
// What each replacement put into its cell, kept beside the replace list so
// that chosen rows can be undone long after the spreadsheet's own undo is
// gone. The entries live in a table of their own, keyed on the values that
// name a row (book, sheet, range, execute, seq_no), never on the row's
// storage id, which compaction renumbers; the replace list's own layout stays
// as it is.

#include "engine_window.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <optional>

class Korvex_C01;

namespace korvex::findreplace {

inline constexpr char kReplaceLogTable[] = "w_replace_written";

// Creates the table when the work database lacks it, and gives a table made
// before a column was added that column (its entries keep working).
void createReplaceLog(Korvex_C01& db);
// Keeps the entries (a later entry for the same row key replaces the earlier
// one). Throws std::runtime_error when the database refuses; nothing is kept
// then.
void keepReplacedCells(Korvex_C01& db, const QString& book, const QList<ReplacedCell>& cells);

// Deleting replace-list rows takes their entries along, inside the caller's
// transaction: `where` (with its values) picks the rows of w_replace about to
// be deleted, and their entries move to a temporary table of the work
// database's connection under the deletion's undo step. Undoing the step puts
// them back; once Korvex lets go of the database they are gone, so entries
// no row can reach do not pile up. False when the database refused.
bool keepEntriesOfDeletedRows(Korvex_C01& db, const QString& where, const QVariantList& binds,
                              qint64 step);
bool restoreEntriesOfStep(Korvex_C01& db, qint64 step);

// A row of the replace list, as far as undoing it goes.
struct RevertRow {
    QString book;
    QString sheet;
    QString range;
    QString execute;
    qint32 seqNo = 0;
};

struct RevertOutcome {
    int reverted = 0;
    int changedSince = 0; // the cell no longer holds what the replacement wrote
    int unreachable = 0;  // the book is closed, the sheet or the host is gone
    int notKept = 0;      // nothing is known of what the row's replacement wrote
    int refused = 0;      // the host refused the write (a protected sheet)
    // The cell's old kind of value (text, number, date...) could not be put
    // back as it was: an entry kept without it whose text would read as
    // another kind is left alone, and a cell that reads back otherwise after
    // the write is counted here rather than as undone.
    int kindLost = 0;
    int neverReplaced = 0; // the replacement itself was refused: nothing to undo
};

// What the row's replacement left in its cell (its value as text), if
// anything is kept for the row and the replacement was not refused.
std::optional<QString> writtenText(Korvex_C01& db, const RevertRow& row);

// Puts each row's old content back into its cell (a formula as a formula, a
// text that reads as a number as text, a date as a date) where the cell
// still holds exactly what the replacement wrote; every other row is counted
// and its cell left alone. Rows are undone newest first, so a cell replaced twice goes back
// step by step. An undone row's entry is dropped: undoing it again finds
// nothing to undo.
RevertOutcome revertRows(Korvex_C01& db, const QList<RevertRow>& rows);

} // namespace korvex::findreplace
