#pragma once
// The result tables of the search and replace windows (w_sort and w_replace in
// the work database): which table and columns each window has, how a table is
// created, and the row writer every engine records its occurrences through.
//
// Rows are written with one INSERT each (or one transaction per batch), so a
// row is either stored whole or not at all. Every text is cut to its field's
// size counted in characters, never in bytes, so a long cell value or book name
// is stored shortened instead of failing the whole row.

#include "host.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class Korvex_C01;
class QSqlDatabase;
struct sqlite3;

namespace korvex::findreplace {

// Folder: the folder search's list (w_folder), a search list whose book
// column holds the full path of the file.
enum class ResultKind { Search, Replace, Folder };
// Whether the kind lists occurrences found, not replaced (captions, print
// and CSV texts and messages as the search window's).
inline bool listsSearches(ResultKind kind) {
    return kind != ResultKind::Replace;
}

// One shown column of a result grid: the field it is bound to and its caption.
struct ResultColumn {
    const char* field;
    const char* caption; // UTF-8
    int size;            // field size in characters
};

// The shown columns of a kind, in design order (seq_no is never shown).
const QList<ResultColumn>& resultColumns(ResultKind kind);
// Index of the column bound to the cell's value ("result"): 4 in the search
// list, 5 in the replace list. Its edits are written back to the cell.
int resultColumnIndex(ResultKind kind);
QString tableName(ResultKind kind);
// "select * from w_sort;" / "select * from w_replace;".
QString selectStatement(ResultKind kind);

// Creates the table and its ordering index when the work database lacks a table
// of that exact name; a table that exists is left as it is, even if its columns
// differ. Failures are not reported: they show when the list is bound.
void CreateResultTable(Korvex_C01& db, ResultKind kind);

// One result as it is stored. `execute` and `seqNo` together form the ordering
// key the row-range deletions compare.
struct ResultRow {
    QString book;
    QString sheet;
    QString range; // relative A1 address without "$", e.g. AB100
    QString search;
    QString replace; // replace list only
    QString result;  // the cell's value as text
    QString execute; // "yyyy/mm/dd hh:mm:ss"
    qint32 seqNo = 0;

    // The text of a field by its name ("book" ... "execute"); "" for others.
    QString field(const char* name) const;

    // The row for an occurrence: reads the cell's address and value from the
    // host (HostError propagates to the engine, which skips the occurrence).
    // The time stamp is left empty; the writer stamps each row as it stores it.
    static ResultRow fromHit(const QString& book, const QString& sheet, const host::RangePtr& hit,
                             qint32 seqNo, const QString& search,
                             const QString& replace = QString());
};

// The clock reading stored in `execute`: "yyyy/mm/dd hh:mm:ss", 24-hour, in
// local time. Every stamp a row gets is made here.
QString executeStamp(const QDateTime& at = QDateTime::currentDateTime());
// The address as stored: every "$" removed ("$AB100" → "AB100").
QString relativeAddress(const QString& hostAddress);
// `text` cut to at most `size` characters (whole characters: a surrogate pair
// is never split).
QString fitField(const QString& text, int size);

// Writes rows at the end of the kind's table, all in one transaction: either
// every row is stored or none is. Rows with an empty `execute` are stamped with
// the clock as each one is written. Returns the new rows' rowids in order.
// Throws std::runtime_error (nothing stored) when the database refuses.
QList<qint64> insertResultRows(Korvex_C01& db, ResultKind kind, QList<ResultRow> rows);

// The connection's own SQLite handle, for the bulk reads and writes Qt SQL
// would make many times slower (a value object per field); null when the
// driver is not SQLite or calls another SQLite library than the program's
// (callers then go through Qt SQL).
sqlite3* nativeSqliteHandle(const QSqlDatabase& db);

} // namespace korvex::findreplace
