#include "native_statement.h"

#include <sqlite3.h>

#include <stdexcept>
#include <string>

namespace korvex::findreplace {

NativeStatement::NativeStatement(sqlite3* handle, const QString& sql, const char* what)
    : m_handle(handle), m_what(what) {
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        throw std::runtime_error(std::string("cannot write ") + what + ": " +
                                 sqlite3_errmsg(handle));
    }
}

NativeStatement::~NativeStatement() {
    sqlite3_finalize(m_stmt);
}

void NativeStatement::bind(int at, const QString& text) {
    check(text.isNull()
              ? sqlite3_bind_null(m_stmt, at)
              : sqlite3_bind_text16(m_stmt, at, text.utf16(), int(text.size() * sizeof(char16_t)),
                                    SQLITE_TRANSIENT));
}

void NativeStatement::bind(int at, qint64 number) {
    check(sqlite3_bind_int64(m_stmt, at, number));
}

void NativeStatement::run() {
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE)
        check(rc);
}

void NativeStatement::check(int rc) {
    if (rc != SQLITE_OK)
        throw std::runtime_error(std::string("cannot write ") + m_what + ": " +
                                 sqlite3_errmsg(m_handle));
}

} // namespace korvex::findreplace
