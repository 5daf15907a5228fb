#pragma once
// One prepared statement on the work database's own SQLite handle, for the
// writes an all-at-once run makes by the thousand: binding each value through
// Qt SQL's value objects costs as much as SQLite's own work.

#include <QString>
#include <QVariant>

class QSqlDriver;
struct sqlite3;
struct sqlite3_stmt;

namespace korvex::findreplace {

// One SQLite library as one side calls it: its version and where one of its
// functions lies (null: not known).
struct SqliteLibrary {
    int version = 0;
    const void* entry = nullptr;
};
// A handle opened by Qt's driver may go to the program's own SQLite calls
// only when both call one library: two copies keep two sets of process-wide
// state (locks, memory, open files), and a connection handed from one to the
// other can corrupt the file. Anything not known counts as different.
bool sameSqliteLibrary(const SqliteLibrary& program, const SqliteLibrary& driver);
// The library the program's own calls reach.
SqliteLibrary programSqlite();
// The library the driver's plugin calls, looked up from the plugin's side.
SqliteLibrary driverSqlite(const QSqlDriver* driver);

class NativeStatement {
public:
    // Throws std::runtime_error, naming `what`, when SQLite cannot prepare it.
    NativeStatement(sqlite3* handle, const QString& sql, const char* what);
    ~NativeStatement();
    NativeStatement(const NativeStatement&) = delete;
    NativeStatement& operator=(const NativeStatement&) = delete;

    // Parameters count from 1. A null string is bound as NULL, as Qt SQL
    // binds it.
    void bind(int at, const QString& text);
    void bind(int at, qint64 number);
    // A whole number binds as a number, anything else as text.
    void bind(int at, const QVariant& value);
    // Runs the statement with the values bound and readies it for the next
    // ones; throws std::runtime_error when SQLite refuses the row.
    void run();

private:
    void check(int rc);

    sqlite3* m_handle;
    sqlite3_stmt* m_stmt = nullptr;
    const char* m_what;
};

} // namespace korvex::findreplace
