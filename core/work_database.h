#pragma once
// Korvex_C01: the program's one connection to its work database (SQLite through
// Qt SQL). Every completed statement is durable at once; Commit/Rollback keep
// the classic "a transaction is always open" bookkeeping but change no data.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>

class Korvex_C01 {
public:
    Korvex_C01();
    ~Korvex_C01();
    Korvex_C01(const Korvex_C01&) = delete;
    Korvex_C01& operator=(const Korvex_C01&) = delete;

    bool ConnectFlag() const { return m_connected; }
    QSqlDatabase DBase() const;

    // Throws std::runtime_error when the file cannot be opened as a database.
    void Connect(const QString& DB_Name);
    // An executed, forward-readable query; throws on a bad statement or when
    // not connected.
    QSqlQuery OpenRecordset(const QString& RecName);
    void Commit();
    void Rollback();
    void DisConnect();
    // 0, or a non-zero error number; never throws.
    long Execute(const QString& Sql_Str, bool CommitFlg);
    // Compacts the file in place (only while not connected); throws on failure,
    // leaving the data in the file or in the "_tmp.mdb" copy.
    void Compact_Database(const QString& DB_Name);

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
