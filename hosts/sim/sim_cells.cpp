#include "sim_cells.h"

#include <QDateTime>

namespace korvex::sim {

QVariant normalisedPageValue(const QString& name, const QVariant& v) {
    switch (*pageValueKind(name)) {
    case PageValueKind::Text:
        return v.toString();
    case PageValueKind::Number:
        return v.toDouble();
    case PageValueKind::Flag:
        return v.toBool();
    case PageValueKind::Integer:
        return v.toInt();
    case PageValueKind::ZoomLike:
        if (v.typeId() == QMetaType::Bool)
            return false;
        return v.toInt();
    }
    return v;
}

QString enteredConstant(const QString& typed) {
    bool percent = false;
    const QVariant v = host::typedValue(typed, &percent);
    return v.typeId() == QMetaType::QString ? v.toString() : host::constantText(v, percent);
}

void enterCell(SheetData& sheet, int row, int column, const QVariant& v) {
    const auto key = std::make_pair(row, column);
    CellData& cell = sheet.cells[key];
    if (!v.isValid() || v.isNull() ||
        (v.typeId() == QMetaType::QString && v.toString().isEmpty())) {
        cell.formula.clear();
        cell.value = QVariant();
        cell.text.clear();
        if (cell.note.isEmpty() && cell.locked)
            sheet.cells.erase(key);
        return;
    }
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        if (s.startsWith(QLatin1Char('='))) {
            // No evaluation here: a new formula has no known result.
            cell.formula = s;
            cell.value = QVariant();
            cell.text.clear();
            return;
        }
        bool percent = false;
        cell.value = host::typedValue(s, &percent);
        cell.formula = enteredConstant(s);
        cell.text = percent ? cell.formula : generalText(cell.value);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime: {
        const QDate date = v.typeId() == QMetaType::QTime ? host::serialDayZero() : v.toDate();
        const QTime time = v.typeId() == QMetaType::QDate ? QTime(0, 0) : v.toTime();
        cell.value = QDateTime(date, QTime(time.hour(), time.minute(), time.second()), Qt::UTC);
        cell.text = generalText(cell.value);
        cell.formula = cell.text;
        return;
    }
    default:
        break;
    }
    cell.value = v.typeId() == QMetaType::Bool ? QVariant(v.toBool()) : QVariant(v.toDouble());
    if (v.typeId() != QMetaType::Bool && !isNumberValue(v))
        cell.value = constantValue(v.toString());
    cell.text = generalText(cell.value);
    cell.formula = cell.text;
}

void enterReplaced(SheetData& sheet, int row, int column, const QString& text) {
    CellData& cell = sheet.cells[{row, column}];
    if (cell.formula.startsWith(QLatin1Char('=')) && text.startsWith(QLatin1Char('='))) {
        // Still a formula: the stated result stays, nothing is evaluated.
        cell.formula = text;
        return;
    }
    const bool markedText = !cell.formula.startsWith(QLatin1Char('=')) &&
                            cell.value.typeId() == QMetaType::QString &&
                            constantValue(cell.formula).typeId() != QMetaType::QString;
    if (markedText && !text.isEmpty())
        enterCell(sheet, row, column, QString(QLatin1Char('\'') + text));
    else
        enterCell(sheet, row, column, text);
}

std::vector<matcher::CellPosition> matchingCells(const SheetData& sheet, const Rect& rect,
                                                 const matcher::FindSettings& settings) {
    const matcher::Pattern pattern = settings.pattern();
    std::vector<matcher::CellPosition> hits;
    for (auto it = sheet.cells.lower_bound({rect.top, 0});
         it != sheet.cells.end() && it->first.first <= rect.bottom; ++it) {
        const auto& [key, cell] = *it;
        if (!rect.contains(key.first, key.second))
            continue;
        const matcher::CellTexts texts{cell.formula, cell.text, cell.note};
        if (pattern.matches(matcher::textFor(texts, settings.lookIn)))
            hits.push_back({key.first, key.second});
    }
    return hits;
}

QString cellAddress(int row, int column) {
    return a1::cellText({row, column});
}

host::CellContent contentOf(const CellData* cell) {
    using Kind = host::CellContent::Kind;
    if (!cell || !cell->hasContent())
        return {};
    if (cell->formula.startsWith(QLatin1Char('=')))
        return {Kind::Formula, cell->formula};
    switch (cell->value.typeId()) {
    case QMetaType::Bool:
        return {Kind::Flag, cell->formula};
    case QMetaType::QDateTime:
        return {Kind::DateTime, cell->formula};
    case QMetaType::Double:
        return {cell->formula.endsWith(QLatin1Char('%')) ? Kind::Percent : Kind::Number,
                cell->formula};
    default:
        return {Kind::Text, cell->formula};
    }
}

QString valueTextAt(const SheetData& sheet, int row, int column) {
    const CellData* c = sheet.cell(row, column);
    return c ? host::valueText(c->value) : QString();
}

} // namespace korvex::sim
