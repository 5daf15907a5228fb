#include "result_model.h"

#include "replace_log.h"
#include "result_tables.h"
#include "work_database.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <algorithm>

namespace korvex::findreplace {

ResultModel::ResultModel(ResultKind kind, Korvex_C01& db, QObject* parent)
    : QAbstractTableModel(parent), m_kind(kind), m_db(db) {}

ResultModel::~ResultModel() = default;

bool ResultModel::loadRowIds() {
    m_rowIds.clear();
    const QSqlDatabase con = m_db.DBase();
    // Insertion order is rowid order: new rows always get a rowid above every
    // other one, and the table's own select returns rows in that order.
    const QString sql =
        QStringLiteral("select rowid from %1 order by rowid").arg(tableName(m_kind));
    if (sqlite3* h = nativeSqliteHandle(con)) {
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(h, utf8.constData(), int(utf8.size()), &stmt, nullptr) != SQLITE_OK)
            return false;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            m_rowIds.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) {
            m_rowIds.clear();
            return false;
        }
        return true;
    }
    QSqlQuery q(con);
    q.setForwardOnly(true);
    if (!q.exec(sql))
        return false;
    while (q.next())
        m_rowIds.push_back(q.value(0).toLongLong());
    return true;
}

bool ResultModel::bind() {
    beginResetModel();
    m_pages.clear();
    m_rowIds.clear();
    m_bound = false;
    m_pageReads = 0;
    try {
        // The window's own statement decides whether the table can be shown.
        QSqlQuery probe = m_db.OpenRecordset(selectStatement(m_kind));
        probe.finish();
        m_bound = loadRowIds();
    } catch (const std::exception&) {
        m_bound = false;
    }
    endResetModel();
    return m_bound;
}

int ResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rowIds.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(resultColumns(m_kind).size());
}

const ResultModel::Page& ResultModel::page(int pageNo) const {
    auto it = m_pages.find(pageNo);
    if (it != m_pages.end()) {
        it->lastUse = ++m_useClock;
        return *it;
    }
    ++m_pageReads;
    Page pg;
    pg.lastUse = ++m_useClock;
    const int first = pageNo * kPageRows;
    const int last = std::min<int>(first + kPageRows, int(m_rowIds.size())) - 1;
    const auto& cols = resultColumns(m_kind);
    pg.rows.resize(std::max(0, last - first + 1));
    if (last >= first) {
        // Fields are found by name, so a table whose columns were laid out
        // differently still shows what it has.
        QSqlQuery q(m_db.DBase());
        q.setForwardOnly(true);
        q.prepare(
            QStringLiteral("select rowid, * from %1 where rowid between ? and ? order by rowid")
                .arg(tableName(m_kind)));
        q.addBindValue(m_rowIds[first]);
        q.addBindValue(m_rowIds[last]);
        if (q.exec()) {
            const QSqlRecord rec = q.record();
            QVector<int> fieldAt;
            for (const ResultColumn& c : cols)
                fieldAt << rec.indexOf(QLatin1String(c.field));
            const int seqAt = rec.indexOf(QStringLiteral("seq_no"));
            int i = first;
            while (q.next() && i <= last) {
                const qint64 id = q.value(0).toLongLong();
                // Rows another connection added inside the range are skipped;
                // the model shows the rows it was bound to.
                while (i <= last && m_rowIds[i] < id)
                    ++i;
                if (i > last || m_rowIds[i] != id)
                    continue;
                Row& r = pg.rows[i - first];
                r.texts.reserve(cols.size());
                for (int f : fieldAt)
                    r.texts << (f >= 0 ? q.value(f).toString() : QString());
                r.seqNo = seqAt >= 0 ? q.value(seqAt).toInt() : 0;
                ++i;
            }
        }
    }
    return keepPage(pageNo, std::move(pg));
}

ResultModel::Page& ResultModel::keepPage(int pageNo, Page pg) const {
    if (m_pages.size() >= kMaxPages && !m_pages.contains(pageNo)) {
        auto oldest = m_pages.begin();
        for (auto p = m_pages.begin(); p != m_pages.end(); ++p)
            if (p->lastUse < oldest->lastUse)
                oldest = p;
        m_pages.erase(oldest);
    }
    pg.lastUse = ++m_useClock;
    return *m_pages.insert(pageNo, std::move(pg));
}

const ResultModel::Row* ResultModel::rowData(int row) const {
    if (row < 0 || row >= int(m_rowIds.size()))
        return nullptr;
    const Page& pg = page(row / kPageRows);
    const int i = row % kPageRows;
    return i < pg.rows.size() ? &pg.rows[i] : nullptr;
}

void ResultModel::dropPagesFrom(int row) {
    const int firstPage = row / kPageRows;
    for (auto it = m_pages.begin(); it != m_pages.end();) {
        if (it.key() >= firstPage)
            it = m_pages.erase(it);
        else
            ++it;
    }
}

QString ResultModel::text(int row, int column) const {
    const Row* r = rowData(row);
    if (!r || column < 0 || column >= r->texts.size())
        return QString();
    return r->texts.at(column);
}

QString ResultModel::orderKey(int row) const {
    const Row* r = rowData(row);
    if (!r)
        return QString();
    const int executeCol = int(resultColumns(m_kind).size()) - 1;
    return results::OrderKey(r->texts.value(executeCol), r->seqNo);
}

ResultRow ResultModel::row(int row) const {
    ResultRow out;
    const Row* r = rowData(row);
    if (!r)
        return out;
    const auto& cols = resultColumns(m_kind);
    for (int c = 0; c < cols.size(); ++c) {
        const QLatin1String f(cols[c].field);
        const QString& v = r->texts.value(c);
        if (f == QLatin1String("book"))
            out.book = v;
        else if (f == QLatin1String("sheet"))
            out.sheet = v;
        else if (f == QLatin1String("range"))
            out.range = v;
        else if (f == QLatin1String("search"))
            out.search = v;
        else if (f == QLatin1String("replace"))
            out.replace = v;
        else if (f == QLatin1String("result"))
            out.result = v;
        else if (f == QLatin1String("execute"))
            out.execute = v;
    }
    out.seqNo = r->seqNo;
    return out;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(index.row(), index.column());
    case OrderKeyRole:
        return orderKey(index.row());
    case SeqNoRole: {
        const Row* r = rowData(index.row());
        return r ? QVariant(r->seqNo) : QVariant();
    }
    default:
        return QVariant();
    }
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return QVariant();
    const auto& cols = resultColumns(m_kind);
    if (section < 0 || section >= cols.size())
        return QVariant();
    return QString::fromUtf8(cols[section].caption);
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Book, sheet, address, texts and time stamp say which cell a row stands
    // for and where it sorts; only the cell's text may change.
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return index.column() == resultColumnIndex(m_kind) ? flags | Qt::ItemIsEditable : flags;
}

bool ResultModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const int r = index.row();
    const int c = index.column();
    const auto& cols = resultColumns(m_kind);
    if (c != resultColumnIndex(m_kind) || r < 0 || r >= int(m_rowIds.size()))
        return false;
    const QString oldText = text(r, c);
    const QString newText = fitField(value.toString(), cols[c].size);
    if (newText == oldText)
        return true;
    if (beforeStore && !beforeStore(r, c, oldText, newText))
        return false;
    QSqlQuery q(m_db.DBase());
    q.prepare(QStringLiteral("update %1 set %2 = ? where rowid = ?")
                  .arg(tableName(m_kind), QLatin1String(cols[c].field)));
    q.addBindValue(newText);
    q.addBindValue(m_rowIds[r]);
    if (!q.exec()) {
        emit storeFailed(r);
        return false;
    }
    auto it = m_pages.find(r / kPageRows);
    if (it != m_pages.end() && r % kPageRows < it->rows.size()) {
        QStringList& texts = it->rows[r % kPageRows].texts;
        if (c < texts.size())
            texts[c] = newText;
    }
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

void ResultModel::appendRows(const QList<ResultRow>& rows) {
    if (rows.isEmpty())
        return;
    // Stamped here rather than by the writer, so that the model knows every
    // text it stored.
    QList<ResultRow> stamped = rows;
    QString now;
    for (ResultRow& r : stamped)
        if (r.execute.isEmpty()) {
            if (now.isEmpty())
                now = executeStamp();
            r.execute = now;
        }
    const QList<qint64> ids = insertResultRows(m_db, m_kind, stamped);
    const int first = int(m_rowIds.size());
    beginInsertRows(QModelIndex(), first, first + int(ids.size()) - 1);
    m_rowIds.append(ids.cbegin(), ids.cend());
    keepAppended(first, stamped);
    endInsertRows();
}

// The view asks for the newest rows right after they are added (the new
// current row, the rows scrolled into sight). Reading their page back from
// the table each time would make adding one row cost a page read, so the
// rows just written go into the kept pages as a read would give them: the
// last kept page grows, and the page holding the newest row is kept.
void ResultModel::keepAppended(int first, const QList<ResultRow>& rows) {
    const auto& cols = resultColumns(m_kind);
    const auto rowOf = [&cols](const ResultRow& r) {
        Row row;
        row.texts.reserve(cols.size());
        for (const ResultColumn& c : cols)
            row.texts << fitField(r.field(c.field), c.size);
        row.seqNo = r.seqNo;
        return row;
    };
    const int end = first + int(rows.size());
    const int firstPage = first / kPageRows;
    const int lastPage = (end - 1) / kPageRows;
    const int headRows = first - firstPage * kPageRows;
    // A kept page that does not end where the new rows begin was read while
    // other rows were missing from it; it is read again when next shown.
    for (auto it = m_pages.begin(); it != m_pages.end();) {
        if (it.key() > firstPage || (it.key() == firstPage && it->rows.size() != headRows))
            it = m_pages.erase(it);
        else
            ++it;
    }
    Page* head = nullptr;
    if (auto it = m_pages.find(firstPage); it != m_pages.end())
        head = &*it;
    else if (headRows == 0)
        head = &keepPage(firstPage, Page());
    if (head)
        for (int i = first; i < std::min(end, (firstPage + 1) * kPageRows); ++i)
            head->rows.append(rowOf(rows[i - first]));
    if (lastPage != firstPage) {
        Page pg;
        for (int i = lastPage * kPageRows; i < end; ++i)
            pg.rows.append(rowOf(rows[i - first]));
        keepPage(lastPage, std::move(pg));
    }
}

// Deleted rows are kept in a temporary table of the work database's
// connection: it lasts exactly as long as Korvex keeps the database open,
// and never outlives a crash, so nothing deleted comes back in a later run.
QString ResultModel::keptTable() const {
    return QStringLiteral("temp.%1_deleted").arg(tableName(m_kind));
}

qint64 ResultModel::nextStep() {
    QSqlQuery q(m_db.DBase());
    // Kept rows pile up over a session; the last step is found and taken
    // back through its index rather than a scan of every row kept.
    if (!q.exec(QStringLiteral("create temp table if not exists %1_deleted as select 0 as "
                               "undo_step, rowid as undo_rowid, * from main.%1 where 0")
                    .arg(tableName(m_kind))) ||
        !q.exec(QStringLiteral("create index if not exists temp.%1_deleted_step on "
                               "%1_deleted (undo_step, undo_rowid)")
                    .arg(tableName(m_kind))) ||
        !q.exec(
            QStringLiteral("select coalesce(max(undo_step), 0) + 1 from %1").arg(keptTable())) ||
        !q.next())
        return -1;
    return q.value(0).toLongLong();
}

bool ResultModel::keepAndDelete(const QString& where, const QVariantList& binds, qint64 step) {
    QSqlQuery keep(m_db.DBase());
    QSqlQuery drop(m_db.DBase());
    if (!keep.prepare(QStringLiteral("insert into %1 select ?, rowid, * from main.%2 where %3")
                          .arg(keptTable(), tableName(m_kind), where)) ||
        !drop.prepare(QStringLiteral("delete from main.%1 where %2").arg(tableName(m_kind), where)))
        return false;
    keep.addBindValue(step);
    for (const QVariant& v : binds) {
        keep.addBindValue(v);
        drop.addBindValue(v);
    }
    return keep.exec() &&
           (m_kind != ResultKind::Replace || keepEntriesOfDeletedRows(m_db, where, binds, step)) &&
           drop.exec();
}

bool ResultModel::deleteRows(DeleteScope scope, const QString& key) {
    QSqlDatabase con = m_db.DBase();
    if (!con.isValid() || !con.transaction())
        return false;
    const qint64 step = nextStep();
    // Compared as text: the current row itself always stays, and rows of
    // runs started in the same second interleave by seq_no.
    const QString byKey = QStringLiteral("%1 %2 ?").arg(
        results::OrderKeyExpression(),
        scope == DeleteScope::Before ? QStringLiteral("<") : QStringLiteral(">"));
    const bool ok =
        step > 0 && (scope == DeleteScope::All ? keepAndDelete(QStringLiteral("1"), {}, step)
                                               : keepAndDelete(byKey, {key}, step));
    if (!ok || !con.commit()) {
        con.rollback();
        return false;
    }
    bind();
    return true;
}

bool ResultModel::removeRowNumbers(QList<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    while (!rows.isEmpty() && rows.front() < 0)
        rows.removeFirst();
    while (!rows.isEmpty() && rows.back() >= int(m_rowIds.size()))
        rows.removeLast();
    if (rows.isEmpty())
        return true;

    QSqlDatabase con = m_db.DBase();
    if (!con.isValid() || !con.transaction())
        return false;
    const qint64 step = nextStep();
    bool ok = step > 0;
    for (qsizetype i = 0; ok && i < rows.size(); ++i)
        ok = keepAndDelete(QStringLiteral("rowid = ?"), {m_rowIds[rows[i]]}, step);
    if (!ok || !con.commit()) {
        con.rollback();
        return false;
    }

    // Contiguous runs leave the model together, last run first, so that the
    // row numbers of the runs still to go stay valid.
    int end = int(rows.size()) - 1;
    while (end >= 0) {
        int start = end;
        while (start > 0 && rows[start - 1] == rows[start] - 1)
            --start;
        const int from = rows[start];
        const int to = rows[end];
        beginRemoveRows(QModelIndex(), from, to);
        dropPagesFrom(from);
        m_rowIds.erase(from, to);
        endRemoveRows();
        end = start - 1;
    }
    return true;
}

ResultModel::Undone ResultModel::undoDeletion() {
    Undone out;
    QSqlDatabase con = m_db.DBase();
    if (!con.isValid())
        return out;
    QSqlQuery q(con);
    // No kept table yet means nothing was deleted since Korvex started.
    if (!q.exec(QStringLiteral("select undo_step, count(*), min(undo_rowid) from %1 group by "
                               "undo_step order by undo_step desc limit 1")
                    .arg(keptTable())) ||
        !q.next())
        return out;
    const qint64 step = q.value(0).toLongLong();
    out.rows = q.value(1).toInt();
    const qint64 firstId = q.value(2).toLongLong();
    q.finish();
    if (!q.exec(QStringLiteral("select * from %1 where 0").arg(keptTable())))
        return {Undone::Failed};
    QStringList fields;
    const QSqlRecord rec = q.record();
    for (int i = 2; i < rec.count(); ++i)
        fields << QLatin1Char('"') + rec.fieldName(i) + QLatin1Char('"');
    q.finish();
    const QString names = fields.join(QLatin1Char(','));

    out.outcome = Undone::Failed;
    if (!con.transaction())
        return out;
    const auto restore = [&](bool inPlace) {
        QSqlQuery put(con);
        put.prepare(QStringLiteral("insert into main.%1 (%2%3) select %4%3 from %5 where "
                                   "undo_step = ? order by undo_rowid")
                        .arg(tableName(m_kind), inPlace ? QStringLiteral("rowid,") : QString(),
                             names, inPlace ? QStringLiteral("undo_rowid,") : QString(),
                             keptTable()));
        put.addBindValue(step);
        return put.exec();
    };
    // A row added since may hold one of the old places; the statement then
    // fails as a whole and the rows go to the end.
    const bool inPlace = restore(true);
    QSqlQuery forget(con);
    forget.prepare(QStringLiteral("delete from %1 where undo_step = ?").arg(keptTable()));
    forget.addBindValue(step);
    if (!(inPlace || restore(false)) || !forget.exec() ||
        (m_kind == ResultKind::Replace && !restoreEntriesOfStep(m_db, step)) || !con.commit()) {
        con.rollback();
        return out;
    }
    bind();
    out.outcome = Undone::Restored;
    if (inPlace) {
        out.firstRow = m_rowIds.lowerBound(firstId);
    } else {
        out.firstRow = std::max(0, rowCount() - out.rows);
    }
    return out;
}

} // namespace korvex::findreplace
