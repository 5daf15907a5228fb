#include "search_engine.h"

#include "matcher.h"

#include <QLocale>

#include <algorithm>

namespace korvex::findreplace {

QList<ResultRow> resultRowsOf(const QString& book, const QString& search,
                              const QString& replacement, const QList<HitRow>& hits) {
    QList<ResultRow> rows;
    rows.reserve(hits.size());
    for (const HitRow& hit : hits) {
        ResultRow row;
        row.book = book;
        row.sheet = hit.sheet;
        row.range = hit.range;
        row.search = search;
        row.replace = replacement;
        row.result = hit.result;
        row.execute = hit.execute;
        row.seqNo = hit.seqNo;
        rows.append(row);
    }
    return rows;
}

host::FindOptions findOptionsFor(EngineMode mode, const EngineOptions& options) {
    host::FindOptions f;
    f.what = options.what;
    if (mode == EngineMode::Replace)
        f.lookIn = host::LookIn::Formulas;
    else if (options.lookInIndex == 0)
        f.lookIn = host::LookIn::Formulas;
    else if (options.lookInIndex == 1)
        f.lookIn = host::LookIn::Values;
    else
        f.lookIn = host::LookIn::Comments;
    f.lookAt = options.wholeCell ? host::LookAt::Whole : host::LookAt::Part;
    f.searchOrder =
        options.directionIndex == 0 ? host::SearchOrder::ByRows : host::SearchOrder::ByColumns;
    f.searchDirection = host::SearchDirection::Next;
    f.matchCase = options.matchCase;
    f.matchByte = options.matchByte;
    f.useRegex = options.useRegex;
    f.foldKana = options.foldKana;
    return f;
}

host::ReplaceOptions replaceOptionsFor(const EngineOptions& options) {
    host::ReplaceOptions r;
    r.what = options.what;
    r.replacement = options.replacement;
    r.lookAt = options.wholeCell ? host::LookAt::Whole : host::LookAt::Part;
    r.searchOrder =
        options.directionIndex == 0 ? host::SearchOrder::ByRows : host::SearchOrder::ByColumns;
    r.matchCase = options.matchCase;
    r.matchByte = options.matchByte;
    r.useRegex = options.useRegex;
    r.foldKana = options.foldKana;
    return r;
}

std::optional<QStringList> badExpression(const host::FindOptions& options) {
    if (!options.useRegex)
        return std::nullopt;
    const auto error = matcher::Pattern::fromFind(options).error();
    if (!error)
        return std::nullopt;
    const qsizetype at = std::clamp<qsizetype>(error->offset + 1, 1, options.what.size());
    return QStringList{options.what, error->message, QString::number(at)};
}

QString progressText(EngineMode mode, const EngineProgress& p) {
    const QLocale japanese(QLocale::Japanese);
    const QString rows = japanese.toString(p.rows);
    const bool search = mode == EngineMode::Search;
    if (p.finished) {
        QString line =
            (p.stopped
                 ? (search ? QStringLiteral("検索中止: %1 件") : QStringLiteral("置換中止: %1 件"))
                 : (search ? QStringLiteral("検索完了: %1 件") : QStringLiteral("置換完了: %1 件")))
                .arg(rows);
        if (p.refused > 0)
            line += QStringLiteral("（保護のため %1 件は置換できませんでした）")
                        .arg(japanese.toString(p.refused));
        if (p.elapsedMs >= 0)
            line += QStringLiteral("（%1 秒）")
                        .arg(QString::number(double(p.elapsedMs) / 1000.0, 'f', 1));
        return line;
    }
    return (search ? QStringLiteral("検索中: シート「%1」 %2 件")
                   : QStringLiteral("置換中: シート「%1」 %2 件"))
        .arg(p.sheet, rows);
}

} // namespace korvex::findreplace
