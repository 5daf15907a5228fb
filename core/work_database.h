#pragma once
// Korvex_C01: the program's one connection to its work database (SQLite through
// Qt SQL). Every completed statement is durable at once; Commit/Rollback keep
// the "a transaction is always open" bookkeeping the windows rely on, but
// change no data.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <stdexcept>

// The work database is held by another connection (another running Korvex):
// raised by Connect and Compact_Database, so that start-up can say so.
class WorkDatabaseInUse : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Korvex_C01 {
public:
    Korvex_C01();
    ~Korvex_C01();
    Korvex_C01(const Korvex_C01&) = delete;
    Korvex_C01& operator=(const Korvex_C01&) = delete;

    bool ConnectFlag() const { return m_connected; }
    // The open connection; an invalid QSqlDatabase while not connected.
    QSqlDatabase DBase() const;

    // Throws std::runtime_error when the file is missing or is not a usable
    // SQLite database; the file is then left exactly as it was. A file that
    // cannot be written (or one in a read-only folder) is opened read-only:
    // its rows can be read and every write fails.
    void Connect(const QString& DB_Name);
    // An executed, forward-readable query; throws on a bad statement or when
    // not connected.
    QSqlQuery OpenRecordset(const QString& RecName);
    // The same with positional ('?') parameters bound in order, for statements
    // that carry values from outside the program.
    QSqlQuery OpenRecordset(const QString& RecName, const QVariantList& binds);
    void Commit();
    void Rollback();
    void DisConnect();
    // 0, or a non-zero error number (the native SQLite code); never throws.
    long Execute(const QString& Sql_Str, bool CommitFlg);
    // Checks the file and compacts it in place (only while not connected) when
    // its free pages are a tenth of it or more; true when it did. Returns
    // false, the file's rows untouched, when there is too little to reclaim or
    // the file cannot be replaced: the file or its folder is not writable, or
    // the disk has no room for the copy. Throws on any other failure (a
    // damaged file, one in use), leaving the data in the file or in the
    // "_tmp.mdb" copy beside it. A left-over WAL is folded into the file and
    // a left-over copy removed either way.
    bool Compact_Database(const QString& DB_Name);

    // Steps of a compaction at which CompactionHook is called (tests throw
    // from it to simulate a failure at that point); not called when the file
    // is left as it is.
    enum class CompactStep {
        StaleRemoved,  // the old temporary is gone, nothing written yet
        CopyWritten,   // the compacted copy exists beside the database
        BeforeReplace, // the old file's WAL is checkpointed and removed
    };
    static std::function<void(CompactStep)> CompactionHook;

private:
    bool m_connected = false;
    QString m_connectionName;
};

namespace Korvex_M01 {
// The one instance for the whole run.
Korvex_C01& WorkDb();
// True when the work database has a table of exactly this name (case-sensitive).
bool TableExists(const QString& tableName);
} // namespace Korvex_M01
