#pragma once
// One prepared statement on the work database's own SQLite handle, for the
// writes an all-at-once run makes by the thousand: binding each value through
// Qt SQL's value objects costs as much as SQLite's own work.

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace korvex::findreplace {

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
