#include "csv_export.h"

#include "dialog_seam.h"
#include "grid_print.h"
#include "messages.h"
#include "result_grid.h"
#include "settings_keys.h"

#include <QHeaderView>
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

// --- the grid's export command ---

bool ResultGrid::exportCsv() {
    const QList<int> selected = chosenRows();
    if (rowCount() == 0) {
        korvex::ui().beep();
        return false;
    }
    korvex::SaveFileRequest request;
    request.title = QStringLiteral("CSV出力");
    request.fileName = listsSearches(m_kind) ? QStringLiteral("検索結果リスト.csv")
                                             : QStringLiteral("置換結果リスト.csv");
    request.filters = {QStringLiteral("CSV ファイル (*.csv)"),
                       QStringLiteral("すべてのファイル (*)")};
    // Texts a spreadsheet would take for a formula go out quoted unless the
    // settings say otherwise.
    const bool guard =
        keys::readInt(keys::inSection(listsSearches(m_kind) ? keys::section::F02_Info
                                                            : keys::section::F03_Info,
                                      keys::tool::Csv_Guard)) != 0;
    const int rows = selected.isEmpty() ? rowCount() : int(selected.size());
    request.note = (selected.isEmpty() ? QStringLiteral("一覧の全 %1 行を出力します。")
                                       : QStringLiteral("選択した %1 行を出力します。"))
                       .arg(rows);
    if (guard)
        request.note += QStringLiteral("\n=、+、-、@、タブ、改行で始まる値は、表計算ソフトが数式と"
                                       "みなさないよう先頭に ' を付けて出力します。");
    const QString path = korvex::dialogs().saveFile(this, request);
    if (path.isEmpty())
        return false;

    const QList<PrintColumn> columns = shownColumns();
    QStringList header;
    for (const PrintColumn& c : columns)
        header << m_model->headerData(c.modelColumn, Qt::Horizontal).toString();
    QString error;
    const bool ok = writeCsvFile(
        path, header, rows,
        [&](int i) {
            const int row = selected.isEmpty() ? i : selected.at(i);
            QStringList fields;
            for (const PrintColumn& c : columns)
                fields << (guard ? formulaSafe(m_model->text(row, c.modelColumn))
                                 : m_model->text(row, c.modelColumn));
            return fields;
        },
        &error);
    if (!ok) {
        qWarning("Korvex: cannot write %s: %s", qPrintable(path), qPrintable(error));
        Korvex_M01::ShowMsg(listsSearches(m_kind) ? QStringLiteral("E_F02_004")
                                                  : QStringLiteral("E_F03_004"));
    }
    return ok;
}

} // namespace korvex::findreplace
