#include "replace_log.h"

#include "app_state.h"
#include "host_helpers.h"
#include "native_statement.h"
#include "result_table.h"
#include "work_database.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <stdexcept>

namespace korvex::findreplace {

namespace {

const QString kTable = QString::fromLatin1(kReplaceLogTable);
const QString kKept = QStringLiteral("%1_deleted").arg(kTable);

bool tableIn(QSqlQuery& q, const char* schema, const QString& table) {
    q.prepare(QStringLiteral("select 1 from %1.sqlite_master where type = 'table' and name = ?")
                  .arg(QLatin1String(schema)));
    q.addBindValue(table);
    const bool found = q.exec() && q.next();
    q.finish();
    return found;
}

} // namespace

// Columns added to the table over time, each with its declaration; an
// entry made before a column existed holds NULL (refused: 0) there.
constexpr std::pair<const char*, const char*> kAddedColumns[] = {
    {"before_kind", "text"},
    {"before_content", "text"},
    {"refused", "integer not null default 0"},
};

void createReplaceLog(Korvex_C01& db) {
    // The key leads with the run's time stamp and row number, which grow as a
    // run goes, so that a run's entries go in at the end of the key's index.
    db.Execute(QStringLiteral("create table if not exists %1 ( book text, sheet text, range text, "
                              "execute text, seq_no integer, before_value text, written text, "
                              "primary key (execute, seq_no, book, sheet, range) );")
                   .arg(kTable),
               true);
    QSet<QString> have;
    QSqlQuery columns(db.DBase());
    if (columns.exec(QStringLiteral("pragma table_info(%1);").arg(kTable)))
        while (columns.next())
            have.insert(columns.value(1).toString());
    columns.finish();
    for (const auto& [name, declaration] : kAddedColumns)
        if (!have.contains(QLatin1String(name)))
            db.Execute(QStringLiteral("alter table %1 add column %2 %3;")
                           .arg(kTable, QLatin1String(name), QLatin1String(declaration)),
                       true);
}

void keepReplacedCells(Korvex_C01& db, const QString& book, const QList<ReplacedCell>& cells) {
    if (cells.isEmpty())
        return;
    QSqlDatabase base = db.DBase();
    if (!base.transaction())
        throw std::runtime_error(base.lastError().text().toStdString());
    try {
        const QString sql =
            QStringLiteral("insert or replace into %1 (book, sheet, range, execute, seq_no, "
                           "before_value, written, before_kind, before_content, refused) "
                           "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?);")
                .arg(kTable);
        const auto values = [&book](const ReplacedCell& c) {
            return QVariantList{
                book,
                c.sheet,
                c.range,
                c.execute,
                qint64(c.seqNo),
                c.before,
                c.refused ? QString() : c.written,
                host::contentKindName(c.beforeContent.kind),
                c.beforeContent.text.isNull() ? QStringLiteral("") : c.beforeContent.text,
                qint64(c.refused ? 1 : 0),
            };
        };
        if (sqlite3* h = nativeSqliteHandle(base)) {
            NativeStatement insert(h, sql, "what the replacements wrote");
            for (const ReplacedCell& c : cells) {
                int at = 1;
                for (const QVariant& v : values(c))
                    insert.bind(at++, v);
                insert.run();
            }
        } else {
            QSqlQuery insert(base);
            if (!insert.prepare(sql))
                throw std::runtime_error("cannot write what the replacements wrote: " +
                                         insert.lastError().text().toStdString());
            for (const ReplacedCell& c : cells) {
                for (const QVariant& v : values(c))
                    insert.addBindValue(v);
                if (!insert.exec())
                    throw std::runtime_error("cannot write what the replacements wrote: " +
                                             insert.lastError().text().toStdString());
            }
            insert.finish();
        }
        if (!base.commit())
            throw std::runtime_error(base.lastError().text().toStdString());
    } catch (...) {
        base.rollback();
        throw;
    }
}

bool keepEntriesOfDeletedRows(Korvex_C01& db, const QString& where, const QVariantList& binds,
                              qint64 step) {
    QSqlQuery q(db.DBase());
    if (!tableIn(q, "main", kTable))
        return true; // nothing was ever replaced here
    if (!q.exec(QStringLiteral("create temp table if not exists %1 as select 0 as undo_step, * "
                               "from main.%2 where 0")
                    .arg(kKept, kTable)) ||
        !q.exec(
            QStringLiteral("create index if not exists temp.%1_step on %1 (undo_step)").arg(kKept)))
        return false;
    const QString theirs =
        QStringLiteral("(execute, seq_no, book, sheet, range) in (select execute, seq_no, book, "
                       "sheet, range from main.%1 where %2)")
            .arg(tableName(ResultKind::Replace), where);
    QSqlQuery keep(db.DBase());
    QSqlQuery drop(db.DBase());
    if (!keep.prepare(QStringLiteral("insert into temp.%1 select ?, * from main.%2 where %3")
                          .arg(kKept, kTable, theirs)) ||
        !drop.prepare(QStringLiteral("delete from main.%1 where %2").arg(kTable, theirs)))
        return false;
    keep.addBindValue(step);
    for (const QVariant& v : binds) {
        keep.addBindValue(v);
        drop.addBindValue(v);
    }
    return keep.exec() && drop.exec();
}

bool restoreEntriesOfStep(Korvex_C01& db, qint64 step) {
    QSqlQuery q(db.DBase());
    if (!tableIn(q, "temp", kKept))
        return true; // no replace-list row was deleted since Korvex started
    if (!q.exec(QStringLiteral("select * from main.%1 where 0").arg(kTable)))
        return false;
    QStringList fields;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        fields << QLatin1Char('"') + rec.fieldName(i) + QLatin1Char('"');
    q.finish();
    const QString names = fields.join(QLatin1Char(','));
    QSqlQuery put(db.DBase());
    QSqlQuery forget(db.DBase());
    if (!put.prepare(QStringLiteral("insert or replace into main.%1 (%2) select %2 from temp.%3 "
                                    "where undo_step = ?")
                         .arg(kTable, names, kKept)) ||
        !forget.prepare(QStringLiteral("delete from temp.%1 where undo_step = ?").arg(kKept)))
        return false;
    put.addBindValue(step);
    forget.addBindValue(step);
    return put.exec() && forget.exec();
}

std::optional<QString> writtenText(Korvex_C01& db, const RevertRow& row) {
    QSqlQuery q(db.DBase());
    q.prepare(QStringLiteral("select written from %1 where execute = ? and seq_no = ? and book = ? "
                             "and sheet = ? and range = ? and refused = 0")
                  .arg(kTable));
    for (const QVariant& v : QVariantList{row.execute, row.seqNo, row.book, row.sheet, row.range})
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toString();
}

RevertOutcome revertRows(Korvex_C01& db, const QList<RevertRow>& rows) {
    RevertOutcome out;
    QList<RevertRow> order = rows;
    std::stable_sort(order.begin(), order.end(), [](const RevertRow& a, const RevertRow& b) {
        return a.execute != b.execute ? a.execute > b.execute : a.seqNo > b.seqNo;
    });

    const bool attached = Korvex_M02::AttachExcel();
    QSet<QString> openBooks;
    if (attached) {
        try {
            for (const auto& book : Korvex_M02::ExcelApp->bookList())
                openBooks.insert(book.name);
        } catch (const host::HostError&) {
        }
    }

    QSqlQuery find(db.DBase());
    find.prepare(QStringLiteral("select before_value, written, before_kind, before_content, "
                                "refused from %1 where book = ? and sheet = ? and range = ? "
                                "and execute = ? and seq_no = ?;")
                     .arg(kTable));
    QSqlQuery drop(db.DBase());
    drop.prepare(QStringLiteral("delete from %1 where book = ? and sheet = ? and range = ? and "
                                "execute = ? and seq_no = ?;")
                     .arg(kTable));
    const auto bindKey = [](QSqlQuery& q, const RevertRow& r) {
        q.addBindValue(r.book);
        q.addBindValue(r.sheet);
        q.addBindValue(r.range);
        q.addBindValue(r.execute);
        q.addBindValue(r.seqNo);
    };

    for (const RevertRow& r : order) {
        bindKey(find, r);
        if (!find.exec() || !find.next()) {
            ++out.notKept;
            continue;
        }
        const QString before = find.value(0).toString();
        const QString written = find.value(1).toString();
        const auto kind = host::contentKindNamed(find.value(2).toString());
        host::CellContent content{kind.value_or(host::CellContent::Kind::Text),
                                  find.value(3).toString()};
        const bool neverReplaced = find.value(4).toInt() != 0;
        find.finish();
        if (neverReplaced) {
            ++out.neverReplaced;
            continue;
        }
        if (!kind) {
            // Kept with its value text alone: only a text that reads as
            // nothing else can be told to be text.
            content.text = before;
            if (host::typedValue(before).typeId() != QMetaType::QString ||
                before.startsWith(QLatin1Char('='))) {
                ++out.kindLost;
                continue;
            }
        }
        if (!openBooks.contains(r.book)) {
            ++out.unreachable;
            continue;
        }
        host::RangePtr cell;
        try {
            const auto sheet = Korvex_M02::ExcelApp->workbook(r.book)->worksheet(r.sheet);
            if (sheet->name() == r.sheet)
                cell = sheet->range(r.range);
        } catch (const host::HostError&) {
        }
        if (!cell) {
            ++out.unreachable;
            continue;
        }
        QString now;
        try {
            now = host::valueText(cell->value());
        } catch (const host::HostError&) {
            ++out.unreachable;
            continue;
        }
        if (now != written) {
            ++out.changedSince;
            continue;
        }
        try {
            cell->setValue(host::entryFor(content));
        } catch (const host::HostError&) {
            ++out.refused;
            continue;
        }
        // A formula's value follows its precedents; any other content must
        // read back as the value it had.
        bool same = content.kind == host::CellContent::Kind::Formula;
        try {
            same = same || host::valueText(cell->value()) == before;
        } catch (const host::HostError&) {
        }
        ++(same ? out.reverted : out.kindLost);
        bindKey(drop, r);
        drop.exec();
        drop.finish();
    }
    return out;
}

} // namespace korvex::findreplace
