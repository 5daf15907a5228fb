#pragma once
// Conversions between Qt and UNO strings. Both are UTF-16, so no text is
// re-encoded; literals with non-ASCII characters must never be built from
// plain char arrays on the UNO side (they would be read as Latin-1).

#include <QString>
#include <rtl/ustring.hxx>

namespace korvex::calc {

inline QString toQt(const rtl::OUString& s) {
    return QString(reinterpret_cast<const QChar*>(s.getStr()), s.getLength());
}

inline rtl::OUString toUno(const QString& s) {
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(s.utf16()),
                         static_cast<sal_Int32>(s.size()));
}

} // namespace korvex::calc
