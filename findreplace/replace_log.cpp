#include "replace_log.h"

#include "app_state.h"
#include "host_helpers.h"
#include "native_statement.h"
#include "result_table.h"
#include "work_database.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <stdexcept>

namespace korvex::findreplace {

namespace {

const QString kTable = QString::fromLatin1(kReplaceLogTable);

} // namespace

void createReplaceLog(Korvex_C01& db) {
    // The key leads with the run's time stamp and row number, which grow as a
    // run goes, so that a run's entries go in at the end of the key's index.
    db.Execute(QStringLiteral("create table if not exists %1 ( book text, sheet text, range text, "
                              "execute text, seq_no integer, before_value text, written text, "
                              "primary key (execute, seq_no, book, sheet, range) );")
                   .arg(kTable),
               true);
}

void keepReplacedCells(Korvex_C01& db, const QString& book, const QList<ReplacedCell>& cells) {
    if (cells.isEmpty())
        return;
    QSqlDatabase base = db.DBase();
    if (!base.transaction())
        throw std::runtime_error(base.lastError().text().toStdString());
    try {
        sqlite3* h = nativeSqliteHandle(base);
        if (!h)
            throw std::runtime_error("the work database is not an SQLite database");
        NativeStatement insert(
            h,
            QStringLiteral("insert or replace into %1 values (?, ?, ?, ?, ?, ?, ?);").arg(kTable),
            "what the replacements wrote");
        for (const ReplacedCell& c : cells) {
            insert.bind(1, book);
            insert.bind(2, c.sheet);
            insert.bind(3, c.range);
            insert.bind(4, c.execute);
            insert.bind(5, qint64(c.seqNo));
            insert.bind(6, c.before);
            insert.bind(7, c.written);
            insert.run();
        }
        if (!base.commit())
            throw std::runtime_error(base.lastError().text().toStdString());
    } catch (...) {
        base.rollback();
        throw;
    }
}

std::optional<QString> writtenText(Korvex_C01& db, const RevertRow& row) {
    QSqlQuery q(db.DBase());
    q.prepare(QStringLiteral("select written from %1 where execute = ? and seq_no = ? and book = ? "
                             "and sheet = ? and range = ?")
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
    find.prepare(QStringLiteral("select before_value, written from %1 where book = ? "
                                "and sheet = ? and range = ? and execute = ? and seq_no = ?;")
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
        // Entered as typed, so a number goes back as a number.
        const QString before = find.value(0).toString();
        const QString written = find.value(1).toString();
        find.finish();
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
            cell->setValue(before);
        } catch (const host::HostError&) {
            ++out.refused;
            continue;
        }
        ++out.reverted;
        bindKey(drop, r);
        drop.exec();
        drop.finish();
    }
    return out;
}

} // namespace korvex::findreplace
