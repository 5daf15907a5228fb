#include "csv_export.h"

#include <QSaveFile>

namespace korvex::findreplace {

namespace {

QByteArray field(const QString& text) {
    QByteArray f = text.toUtf8();
    const bool quote = f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r');
    if (!quote)
        return f;
    f.replace("\"", "\"\"");
    return '"' + f + '"';
}

} // namespace

QString formulaSafe(const QString& text) {
    static const QString kStarts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && kStarts.contains(text.front()) ? QLatin1Char('\'') + text : text;
}

QByteArray csvRecord(const QStringList& fields) {
    QByteArray out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        out += field(fields.at(i));
    }
    out += "\r\n";
    return out;
}

bool writeCsvFile(const QString& path, const QStringList& header, int count,
                  const std::function<QStringList(int)>& record, QString* error) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error)
            *error = out.errorString();
        return false;
    }
    QByteArray chunk("\xEF\xBB\xBF");
    chunk += csvRecord(header);
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        chunk += csvRecord(record(i));
        if (chunk.size() > (1 << 16)) {
            ok = out.write(chunk) == chunk.size();
            chunk.clear();
        }
    }
    if (ok && !chunk.isEmpty())
        ok = out.write(chunk) == chunk.size();
    if (!ok || !out.commit()) {
        if (error)
            *error = out.errorString();
        out.cancelWriting();
        return false;
    }
    return true;
}

} // namespace korvex::findreplace
