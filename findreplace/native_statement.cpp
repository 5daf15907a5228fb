#include "native_statement.h"

#include <QSqlDriver>

#include <dlfcn.h>
#include <sqlite3.h>

#include <stdexcept>
#include <string>

namespace korvex::findreplace {

bool sameSqliteLibrary(const SqliteLibrary& program, const SqliteLibrary& driver) {
    return program.entry && program.entry == driver.entry && program.version != 0 &&
           program.version == driver.version;
}

SqliteLibrary programSqlite() {
    return {sqlite3_libversion_number(), reinterpret_cast<const void*>(&sqlite3_libversion_number)};
}

SqliteLibrary driverSqlite(const QSqlDriver* driver) {
    // The driver's meta-object lies in its plugin; the plugin's own lookup
    // order (itself, then what it links) finds the SQLite it calls. A driver
    // built into the program, or one that carries a hidden copy, gives none.
    Dl_info where{};
    if (!driver || !dladdr(driver->metaObject(), &where) || !where.dli_fname)
        return {};
    void* plugin = dlopen(where.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!plugin)
        return {};
    using VersionNumber = int (*)();
    const auto number = reinterpret_cast<VersionNumber>(dlsym(plugin, "sqlite3_libversion_number"));
    SqliteLibrary library;
    if (number)
        library = {number(), reinterpret_cast<const void*>(number)};
    dlclose(plugin);
    return library;
}

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

void NativeStatement::bind(int at, const QVariant& value) {
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
        bind(at, value.toLongLong());
    else
        bind(at, value.toString());
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
