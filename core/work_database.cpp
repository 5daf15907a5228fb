#include "work_database.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

std::function<void(Korvex_C01::CompactStep)> Korvex_C01::CompactionHook;

namespace {

QAtomicInteger<int> g_connectionSerial;

QString nextConnectionName(const char* role) {
    return QStringLiteral("korvex_%1_%2")
        .arg(QLatin1String(role))
        .arg(g_connectionSerial.fetchAndAddRelaxed(1));
}

constexpr int kSqliteBusy = 5;
constexpr int kSqliteIoErr = 10;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADb = 26;

// Compaction rewrites every stored row to give the free pages back, which
// costs about as much as copying the file. It runs only when the free pages
// are at least this share of the file: below it SQLite simply reuses them for
// the next rows, and a start would pay the whole rewrite of a large file to
// give back a few megabytes.
constexpr qint64 kCompactFreePercent = 10;

int primaryCode(const QSqlError& e) {
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xFF : 0;
}

[[noreturn]] void fail(const QString& text) {
    throw std::runtime_error(text.toStdString());
}

QString nativeName(const QString& path) {
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void failUnreadable(const QString& path, const QString& why) {
    fail(QStringLiteral("作業データベース %1 は SQLite データベースとして読めません"
                        "（壊れているか、別の種類のファイルです）。ファイルは変更していません。"
                        "\n%2")
             .arg(nativeName(path), why));
}

// QSQLITE "opens" any file, even one that is not a database at all; only the
// first real read of the schema tells. Reading the schema writes nothing, so a
// file that fails here is left exactly as it was.
void verifySqliteFile(QSqlDatabase& db, const QString& path) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA schema_version;")) || !q.next()) {
        const int code = primaryCode(q.lastError());
        // The driver's own English words would only puzzle the user here.
        if (code == kSqliteBusy)
            throw WorkDatabaseInUse(QStringLiteral("作業データベース %1 は他のプログラム（別に"
                                                   "起動した Korvex など）が使用中です。")
                                        .arg(nativeName(path))
                                        .toStdString());
        // SQLite creates its shared-memory file beside the database before the
        // first read; a full disk stops it there, and the file itself is fine.
        if (code == kSqliteIoErr || code == kSqliteFull || code == kSqliteCantOpen)
            fail(QStringLiteral(
                     "作業データベース %1 を読み出せません。ファイルは変更していません。"
                     "ディスクの空き容量と、フォルダーへの書き込み権限を確かめてください。"
                     "\n%2")
                     .arg(nativeName(path), q.lastError().text()));
        failUnreadable(path, q.lastError().text());
    }
    q.finish();
    if (!q.exec(QStringLiteral("select count(*) from sqlite_master;")) || !q.next())
        fail(QStringLiteral("作業データベース %1 の表の一覧を読めません。\n%2")
                 .arg(nativeName(path), q.lastError().text()));
}

QString sqlName(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

// Compaction reads every row and so refuses a file damaged anywhere in them.
// A start that does not compact reads the first and last row of every table
// instead: each table's tree from its root down both edges, where a file whose
// last writes were lost (a tail of zeroed or foreign pages) shows. A few pages
// whatever the file's size.
void verifyTableEdges(QSqlDatabase& db, const QString& path) {
    QStringList tables;
    {
        QSqlQuery list(db);
        if (!list.exec(QStringLiteral("select name from sqlite_master where type = 'table' "
                                      "and rootpage > 0 and name not like 'sqlite%';")))
            failUnreadable(path, list.lastError().text());
        while (list.next())
            tables << list.value(0).toString();
    }
    for (const QString& table : tables) {
        for (const char* order : {"asc", "desc"}) {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (q.exec(QStringLiteral("select * from %1 order by rowid %2 limit 1;")
                           .arg(sqlName(table), QLatin1String(order))))
                q.next(); // the driver reads every value of the row here
            // Only damage counts: a table of some other make (one without a
            // rowid) is simply not looked into.
            const int code = primaryCode(q.lastError());
            if (code == kSqliteCorrupt || code == kSqliteNotADb || code == kSqliteIoErr)
                failUnreadable(path, q.lastError().text());
        }
    }
}

// True when the free pages are worth a compaction (see kCompactFreePercent).
bool worthCompacting(QSqlDatabase& db) {
    const auto pragma = [&db](const char* name) {
        QSqlQuery q(db);
        return q.exec(QStringLiteral("PRAGMA %1;").arg(QLatin1String(name))) && q.next()
                   ? q.value(0).toLongLong()
                   : 0;
    };
    const qint64 pages = pragma("page_count");
    const qint64 freePages = pragma("freelist_count");
    return freePages > 0 && freePages * 100 >= pages * kCompactFreePercent;
}

// True when the file can be written and replaced: both it and its folder are
// writable. access() also honours read-only mounts and immutable files, which
// bind even the super-user.
bool replaceable(const QFileInfo& info) {
    return ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK) == 0 &&
           ::access(QFile::encodeName(info.absolutePath()).constData(), W_OK | X_OK) == 0;
}

// Opens a private connection; the caller removes it with closeConnection().
// A read-only connection treats the file as immutable: in a folder that cannot
// take SQLite's shared-memory and WAL files a WAL-mode file could not be read
// at all otherwise. Rows that a killed run left only in a WAL file stay there,
// unseen this time, for the next writable start to fold in.
QSqlDatabase openConnection(const QString& name, const QString& path, int busyTimeoutMs = 5000,
                            bool readOnly = false) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs);
    if (readOnly) {
        QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        uri.setQuery(QStringLiteral("immutable=1"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        options += QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
    } else {
        db.setDatabaseName(path);
    }
    db.setConnectOptions(options);
    if (!db.open()) {
        const QString why = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        fail(QStringLiteral("作業データベース %1 を開けません。\n%2").arg(nativeName(path), why));
    }
    return db;
}

void closeConnection(const QString& name) {
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// A closed connection on scope exit, whatever path leaves it.
class ScopedConnection {
public:
    ScopedConnection(const QString& name, const QString& path, int busyTimeoutMs = 5000)
        : m_name(name), m_db(openConnection(name, path, busyTimeoutMs)) {}
    ~ScopedConnection() {
        m_db = QSqlDatabase();
        closeConnection(m_name);
    }
    ScopedConnection(const ScopedConnection&) = delete;
    ScopedConnection& operator=(const ScopedConnection&) = delete;
    QSqlDatabase& db() { return m_db; }

private:
    QString m_name;
    QSqlDatabase m_db;
};

long errorNumber(const QSqlError& e) {
    bool ok = false;
    const long n = e.nativeErrorCode().toLong(&ok);
    return ok && n != 0 ? n : 1;
}

void syncPath(const QString& path, bool directory) {
    const QByteArray p = QFile::encodeName(path);
    const int fd = ::open(p.constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void runHook(Korvex_C01::CompactStep step) {
    if (Korvex_C01::CompactionHook)
        Korvex_C01::CompactionHook(step);
}

QString sqlLiteral(const QString& text) {
    QString t = text;
    t.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

} // namespace

Korvex_C01::Korvex_C01() : m_connectionName(nextConnectionName("workdb")) {}

Korvex_C01::~Korvex_C01() {
    DisConnect();
}

QSqlDatabase Korvex_C01::DBase() const {
    if (!m_connected)
        return QSqlDatabase();
    return QSqlDatabase::database(m_connectionName, false);
}

void Korvex_C01::Connect(const QString& DB_Name) {
    if (m_connected)
        return;
    // SQLite would silently create a missing file; a missing work database is
    // an error, not an invitation to start an empty one.
    const QFileInfo info(DB_Name);
    if (!info.exists())
        fail(QStringLiteral("作業データベース %1 が見つかりません。").arg(nativeName(DB_Name)));
    if (!info.isFile())
        fail(QStringLiteral("作業データベース %1 はファイルではありません。")
                 .arg(nativeName(DB_Name)));

    // A database the user cannot write is still shown, read-only: its rows
    // are there to look at, and every write is refused with a message.
    const bool readOnly = !replaceable(info);
    QSqlDatabase db = openConnection(m_connectionName, DB_Name, 5000, readOnly);
    try {
        verifySqliteFile(db, DB_Name);
    } catch (...) {
        db = QSqlDatabase();
        closeConnection(m_connectionName);
        throw;
    }
    if (!readOnly) {
        QSqlQuery q(db);
        // Should the folder still refuse the WAL file, SQLite keeps its
        // rollback journal, which is just as correct, so the answer is not checked.
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL;"));
        q.finish();
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL;"));
    }
    m_connected = true;
}

QSqlQuery Korvex_C01::OpenRecordset(const QString& RecName) {
    return OpenRecordset(RecName, {});
}

QSqlQuery Korvex_C01::OpenRecordset(const QString& RecName, const QVariantList& binds) {
    if (!m_connected)
        fail(QStringLiteral("作業データベースに接続していません。"));
    QSqlQuery q(DBase());
    const QString& sql = RecName;
    if (!q.prepare(sql))
        fail(QStringLiteral("作業データベースの読み出しに失敗しました。\n%1\n%2")
                 .arg(sql, q.lastError().text()));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec())
        fail(QStringLiteral("作業データベースの読み出しに失敗しました。\n%1\n%2")
                 .arg(sql, q.lastError().text()));
    return q;
}

void Korvex_C01::Commit() {
    // Every statement has already been committed by SQLite's autocommit.
}

void Korvex_C01::Rollback() {
    // Nothing to undo: see Commit.
}

void Korvex_C01::DisConnect() {
    if (!m_connected)
        return;
    m_connected = false;
    closeConnection(m_connectionName);
}

long Korvex_C01::Execute(const QString& Sql_Str, bool CommitFlg) {
    if (!m_connected)
        return 0;
    QSqlQuery q(DBase());
    if (!q.exec(Sql_Str))
        return errorNumber(q.lastError());
    q.finish();
    if (CommitFlg)
        Commit();
    return 0;
}

bool Korvex_C01::Compact_Database(const QString& DB_Name) {
    if (m_connected)
        fail(QStringLiteral("作業データベースの接続中は最適化できません。"));
    const QFileInfo info(DB_Name);
    if (!info.isFile())
        fail(QStringLiteral("作業データベース %1 が見つかりません。").arg(nativeName(DB_Name)));
    // Compaction only tidies the file; a file the user keeps read-only (or in
    // a read-only folder) is used as it is rather than replaced by a writable
    // copy behind the user's back.
    if (!replaceable(info)) {
        qWarning("Korvex: %s is read-only; it is used without compaction",
                 qPrintable(nativeName(DB_Name)));
        return false;
    }

    // The copy is written beside the database so that the final rename stays on
    // one file system and is atomic.
    const QString db = info.absoluteFilePath();
    const QString tmp = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
                        QStringLiteral("_tmp.mdb");
    if (QFileInfo::exists(tmp) && !QFile::remove(tmp))
        fail(QStringLiteral("前回の一時ファイル %1 を削除できません。").arg(nativeName(tmp)));

    bool uncompacted = false;
    try {
        {
            ScopedConnection src(nextConnectionName("compact"), db, 2000);
            // Held alone for the whole copy: a file that another running copy of
            // the program still has open must not be replaced under it, or
            // everything that copy writes afterwards would go to a deleted file.
            {
                QSqlQuery lock(src.db());
                lock.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE;"));
            }
            verifySqliteFile(src.db(), db);
            QSqlQuery q(src.db());
            // Fold any WAL content into the main file first, so that nothing
            // lives only in a WAL file that belongs to the file being replaced.
            q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE);"));
            q.finish();
            verifyTableEdges(src.db(), db);
            if (!worthCompacting(src.db()))
                return false;
            runHook(CompactStep::StaleRemoved);
            if (!q.exec(QStringLiteral("VACUUM INTO %1;").arg(sqlLiteral(tmp)))) {
                // The source was read to the end without complaint when the copy
                // fails to be written: the disk is full or will not take the
                // file. The database is whole; it is simply used uncompacted.
                const int code = primaryCode(q.lastError());
                if (code == kSqliteFull || code == kSqliteIoErr || code == kSqliteCantOpen) {
                    qWarning("Korvex: %s could not be compacted (%s); it is used as it is",
                             qPrintable(nativeName(db)), qPrintable(q.lastError().text()));
                    uncompacted = true;
                } else {
                    fail(QStringLiteral("作業データベース %1 を最適化できません。"
                                        "ファイルは変更していません。\n%2")
                             .arg(nativeName(db), q.lastError().text()));
                }
            }
        }
        if (uncompacted) {
            QFile::remove(tmp);
            return false;
        }
        {
            ScopedConnection check(nextConnectionName("compact_check"), tmp);
            verifySqliteFile(check.db(), tmp);
            // The copy comes out in rollback-journal mode. Switched to WAL
            // here, unsynced, it shares the one flush below; switched by the
            // connection that follows, it would cost a synced write of its own.
            QSqlQuery q(check.db());
            q.exec(QStringLiteral("PRAGMA synchronous=OFF;"));
            q.finish();
            q.exec(QStringLiteral("PRAGMA journal_mode=WAL;"));
        }
        // On disk before it takes the database's name, or a crash could leave
        // the name on a file whose pages were never written.
        syncPath(tmp, false);
        runHook(CompactStep::CopyWritten);

        // The source connection is closed and its WAL was checkpointed; a WAL
        // or shared-memory file left over now would be replayed onto the new
        // file at the next open, so it must go before the rename.
        for (const char* suffix : {"-wal", "-shm"}) {
            const QString side = db + QLatin1String(suffix);
            if (QFileInfo::exists(side) && !QFile::remove(side))
                fail(QStringLiteral("%1 を削除できません。").arg(nativeName(side)));
        }
        runHook(CompactStep::BeforeReplace);

        const QByteArray from = QFile::encodeName(tmp);
        const QByteArray to = QFile::encodeName(db);
        // The replaced file's pages are let go when its last descriptor
        // closes, which for a large file takes tens of milliseconds; held
        // across the rename, that descriptor is closed on a pool thread, off
        // the start.
        const int replaced = ::open(to.constData(), O_RDONLY | O_CLOEXEC);
        if (std::rename(from.constData(), to.constData()) != 0) {
            const int error = errno;
            if (replaced >= 0)
                ::close(replaced);
            fail(QStringLiteral("最適化したデータベースを %1 に置き換えられません。\n%2")
                     .arg(nativeName(db), QString::fromLocal8Bit(std::strerror(error))));
        }
        syncPath(info.absolutePath(), true);
        if (replaced >= 0)
            QThreadPool::globalInstance()->start([replaced] { ::close(replaced); });
        return true;
    } catch (...) {
        // The database file is replaced only by the atomic rename, so until
        // then it still holds every row and the copy can go.
        if (QFileInfo::exists(db))
            QFile::remove(tmp);
        throw;
    }
}

namespace Korvex_M01 {

Korvex_C01& WorkDb() {
    // Never destroyed: exit() can come from inside the event loop (the display
    // server went away), and by the time static objects are torn down Qt SQL's
    // registry of connections may already be gone, so closing the connection
    // there would crash. Shutdown() closes it on every orderly end; otherwise
    // the process's end releases the file, and SQLite keeps what was committed.
    static Korvex_C01* instance = new Korvex_C01;
    return *instance;
}

bool TableExists(const QString& tableName) {
    Korvex_C01& db = WorkDb();
    db.Commit();
    if (!db.ConnectFlag())
        return false;
    // SQLite matches table names without regard to case; the comparison here
    // must be exact, so the names are listed and compared in C++.
    const QStringList tables = db.DBase().tables(QSql::Tables);
    return tables.contains(tableName, Qt::CaseSensitive);
}

} // namespace Korvex_M01
