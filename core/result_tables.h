#pragma once
// The result tables of the work database, w_sort (search window),
// w_replace (replace window) and w_folder (folder search), and the ordering key their rows are
// compared by. Both tables carry the ordering index CustID; SQLite keeps index names in one
// namespace per database, so each table's index is named after its table.

#include <QString>

namespace korvex::results {

inline constexpr char kSortTable[] = "w_sort";
inline constexpr char kReplaceTable[] = "w_replace";

inline constexpr char kCreateSortTable[] =
    "create table w_sort ( book     varchar(128) ,sheet   varchar(128) ,range   varchar(10) "
    ",search  varchar(255) ,result  varchar(255) ,execute char(19) ,seq_no  integer );";
inline constexpr char kCreateSortIndex[] =
    "create index w_sort_CustID on w_sort ( execute ,seq_no ) ;";

inline constexpr char kCreateReplaceTable[] =
    "create table w_replace ( book     varchar(128) ,sheet   varchar(128) ,range   varchar(10) "
    ",search  varchar(255) ,replace varchar(255) ,result  varchar(255) ,execute char(19) "
    ",seq_no  integer );";
inline constexpr char kCreateReplaceIndex[] =
    "create index w_replace_CustID on w_replace ( execute ,seq_no ) ;";

// The folder search's list: every occurrence in every file of a run, shaped
// like w_sort so that the same grid shows it; `book` holds the file's full
// path (an open book's name when the run searched the open books).
inline constexpr char kFolderTable[] = "w_folder";
inline constexpr char kCreateFolderTable[] =
    "create table if not exists w_folder ( book varchar(1024) ,sheet varchar(128) "
    ",range varchar(10) ,search varchar(255) ,result varchar(255) ,execute char(19) "
    ",seq_no integer );";
inline constexpr char kCreateFolderIndex[] =
    "create index if not exists w_folder_CustID on w_folder ( execute ,seq_no ) ;";

inline constexpr char kSelectSort[] = "select * from w_sort;";
inline constexpr char kSelectReplace[] = "select * from w_replace;";

// SQL expression of a row's ordering key: the 19-character time stamp followed
// by seq_no as eight digits with leading zeros ("2000/01/31 09:05:0700000003").
inline QString OrderKeyExpression() {
    return QStringLiteral("execute || printf('%08d', seq_no)");
}

// The same key built from a row's values, for comparison against the expression.
inline QString OrderKey(const QString& execute, qint32 seqNo) {
    return execute + QStringLiteral("%1").arg(seqNo, 8, 10, QLatin1Char('0'));
}

} // namespace korvex::results
