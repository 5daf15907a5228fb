#pragma once
// A result list as CSV that spreadsheet programs open correctly with Japanese
// text: UTF-8 with a byte-order mark, fields quoted as RFC 4180 says (only where
// needed, quotes doubled), CRLF line ends, the grid's captions as the first row.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace korvex::findreplace {

// The text with a ' in front when a spreadsheet opening the file would take
// it for a formula (it starts with =, +, -, @, a tab or a carriage return).
QString formulaSafe(const QString& text);

// One record: fields joined with commas and ended with CRLF.
QByteArray csvRecord(const QStringList& fields);

// Writes the header and `count` records (record(i) gives the fields of the
// i-th) to `path`, replacing the file only once everything is written. False,
// with *error set, when the file cannot be written; an existing file is then
// left as it was.
bool writeCsvFile(const QString& path, const QStringList& header, int count,
                  const std::function<QStringList(int)>& record, QString* error = nullptr);

} // namespace korvex::findreplace
