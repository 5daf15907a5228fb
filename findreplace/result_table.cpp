#include "result_table.h"

#include "host_helpers.h"
#include "native_statement.h"
#include "result_tables.h"
#include "work_database.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <stdexcept>

namespace korvex::findreplace {

namespace {

const QList<ResultColumn> kSearchColumns = {
    {"book", "ﾌﾞｯｸ名", 128},       {"sheet", "ｼｰﾄ名", 128},     {"range", "位置", 10},
    {"search", "検索文字列", 255}, {"result", "検索結果", 255}, {"execute", "実行日時", 19},
};

const QList<ResultColumn> kFolderColumns = {
    {"book", "ﾌｧｲﾙ", 1024},        {"sheet", "ｼｰﾄ名", 128},     {"range", "位置", 10},
    {"search", "検索文字列", 255}, {"result", "検索結果", 255}, {"execute", "実行日時", 19},
};

const QList<ResultColumn> kReplaceColumns = {
    {"book", "ﾌﾞｯｸ名", 128},     {"sheet", "ｼｰﾄ名", 128},      {"range", "位置", 10},
    {"search", "検索文字", 255}, {"replace", "置換文字", 255}, {"result", "検索結果", 255},
    {"execute", "実行日時", 19},
};

// Writes the rows inside the caller's transaction.
void insertNative(sqlite3* h, const QString& sql, ResultKind kind, QList<ResultRow>& rows,
                  QList<qint64>& ids) {
    NativeStatement insert(h, sql, "result rows");
    const auto& cols = resultColumns(kind);
    for (ResultRow& r : rows) {
        if (r.execute.isEmpty())
            r.execute = executeStamp();
        int at = 1;
        for (const ResultColumn& c : cols)
            insert.bind(at++, fitField(r.field(c.field), c.size));
        insert.bind(at, qint64(r.seqNo));
        insert.run();
        ids.append(sqlite3_last_insert_rowid(h));
    }
}

} // namespace

sqlite3* nativeSqliteHandle(const QSqlDatabase& db) {
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
        return nullptr;
    // Every SQLite connection comes from the one driver plugin: ask once.
    static const bool shared = sameSqliteLibrary(programSqlite(), driverSqlite(db.driver()));
    return shared ? *static_cast<sqlite3* const*>(h.constData()) : nullptr;
}

const QList<ResultColumn>& resultColumns(ResultKind kind) {
    return kind == ResultKind::Search   ? kSearchColumns
           : kind == ResultKind::Folder ? kFolderColumns
                                        : kReplaceColumns;
}

int resultColumnIndex(ResultKind kind) {
    return listsSearches(kind) ? 4 : 5;
}

QString tableName(ResultKind kind) {
    return QLatin1String(kind == ResultKind::Search   ? results::kSortTable
                         : kind == ResultKind::Folder ? results::kFolderTable
                                                      : results::kReplaceTable);
}

QString selectStatement(ResultKind kind) {
    return kind == ResultKind::Folder
               ? QStringLiteral("select * from %1;").arg(QLatin1String(results::kFolderTable))
               : QLatin1String(kind == ResultKind::Search ? results::kSelectSort
                                                          : results::kSelectReplace);
}

void CreateResultTable(Korvex_C01& db, ResultKind kind) {
    // The name is compared exactly, as the window names its table.
    const QSqlDatabase con = db.DBase();
    if (con.isValid() && con.tables(QSql::Tables).contains(tableName(kind), Qt::CaseSensitive))
        return;
    if (kind == ResultKind::Folder) {
        db.Execute(QLatin1String(results::kCreateFolderTable), true);
        db.Execute(QLatin1String(results::kCreateFolderIndex), true);
        return;
    }
    const bool search = kind == ResultKind::Search;
    // Neither result is examined: a failure shows when the list is bound, and
    // the index statement runs even if the table statement failed.
    db.Execute(QLatin1String(search ? results::kCreateSortTable : results::kCreateReplaceTable),
               true);
    db.Execute(QLatin1String(search ? results::kCreateSortIndex : results::kCreateReplaceIndex),
               true);
}

QString executeStamp(const QDateTime& at) {
    return at.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QString relativeAddress(const QString& hostAddress) {
    QString a = hostAddress;
    a.remove(QLatin1Char('$'));
    return a;
}

QString fitField(const QString& text, int size) {
    if (text.size() <= size)
        return text;
    int chars = 0;
    qsizetype i = 0;
    while (i < text.size() && chars < size) {
        i +=
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
        ++chars;
    }
    return text.left(i);
}

QString ResultRow::field(const char* name) const {
    const QLatin1String f(name);
    if (f == QLatin1String("book"))
        return book;
    if (f == QLatin1String("sheet"))
        return sheet;
    if (f == QLatin1String("range"))
        return range;
    if (f == QLatin1String("search"))
        return search;
    if (f == QLatin1String("replace"))
        return replace;
    if (f == QLatin1String("result"))
        return result;
    if (f == QLatin1String("execute"))
        return execute;
    return QString();
}

ResultRow ResultRow::fromHit(const QString& book, const QString& sheet, const host::RangePtr& hit,
                             qint32 seqNo, const QString& search, const QString& replace) {
    if (!hit)
        throw host::HostError(QStringLiteral("no cell to record"));
    ResultRow r;
    r.book = book;
    r.sheet = sheet;
    r.range = relativeAddress(hit->address(false, false));
    r.search = search;
    r.replace = replace;
    r.result = host::valueText(hit->value());
    r.seqNo = seqNo;
    return r;
}

QList<qint64> insertResultRows(Korvex_C01& db, ResultKind kind, QList<ResultRow> rows) {
    QList<qint64> ids;
    if (rows.isEmpty())
        return ids;
    QSqlDatabase con = db.DBase();
    if (!con.isValid() || !con.isOpen())
        throw std::runtime_error("the work database is not connected");

    const auto& cols = resultColumns(kind);
    QStringList names;
    QStringList marks;
    for (const ResultColumn& c : cols) {
        names << QLatin1String(c.field);
        marks << QStringLiteral("?");
    }
    names << QStringLiteral("seq_no");
    marks << QStringLiteral("?");
    const QString sql =
        QStringLiteral("insert into %1 (%2) values (%3)")
            .arg(tableName(kind), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));

    // One transaction per call: a batch is stored whole or not at all, and a
    // sheet's worth of rows costs one sync instead of one per row.
    if (!con.transaction())
        throw std::runtime_error("cannot start a transaction: " +
                                 con.lastError().text().toStdString());
    ids.reserve(rows.size());
    if (sqlite3* h = nativeSqliteHandle(con)) {
        try {
            insertNative(h, sql, kind, rows, ids);
        } catch (...) {
            con.rollback();
            throw;
        }
    } else {
        QSqlQuery q(con);
        if (!q.prepare(sql)) {
            const std::string why = q.lastError().text().toStdString();
            con.rollback();
            throw std::runtime_error("cannot write result rows: " + why);
        }
        for (ResultRow& r : rows) {
            if (r.execute.isEmpty())
                r.execute = executeStamp();
            for (const ResultColumn& c : cols)
                q.addBindValue(fitField(r.field(c.field), c.size));
            q.addBindValue(r.seqNo);
            if (!q.exec()) {
                const std::string why = q.lastError().text().toStdString();
                q.finish();
                con.rollback();
                throw std::runtime_error("cannot write a result row: " + why);
            }
            ids.append(q.lastInsertId().toLongLong());
        }
        q.finish();
    }
    if (!con.commit()) {
        const std::string why = con.lastError().text().toStdString();
        con.rollback();
        throw std::runtime_error("cannot store result rows: " + why);
    }
    return ids;
}

} // namespace korvex::findreplace
