#include "host.h"

#include <QDateTime>
#include <QTime>

#include <cmath>

namespace korvex::host {

QDate serialDayZero() {
    return QDate(1899, 12, 30);
}

namespace {

QString numberText(double d) {
    if (!std::isfinite(d))
        return QString::number(d);
    if (d == 0)
        return QStringLiteral("0"); // no "-0"
    // 15 significant digits hide binary noise (0.1 + 0.2 reads 0.3); the
    // exponent form is the spreadsheet's, "1E+15" rather than "1e+15".
    QString s = QString::number(d, 'g', 15);
    return s.replace(u'e', u'E');
}

QString dateText(const QDate& d) {
    return d.toString(QStringLiteral("yyyy/MM/dd"));
}
QString timeText(const QTime& t) {
    return t.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

QString valueText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return numberText(value.toDouble());
    case QMetaType::QDate:
        return dateText(value.toDate());
    case QMetaType::QTime:
        return timeText(value.toTime());
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.date() == serialDayZero())
            return timeText(dt.time());
        if (dt.time() == QTime(0, 0))
            return dateText(dt.date());
        return dateText(dt.date()) + u' ' + timeText(dt.time());
    }
    default:
        return value.toString();
    }
}

bool valueTextIsOneOf(const QString& valueText, const QStringList& expected, int compareChars) {
    QString text = valueText;
    if (compareChars > 0 && text.size() > compareChars) {
        qsizetype i = 0;
        for (int chars = 0; i < text.size() && chars < compareChars; ++chars)
            i += text.at(i).isHighSurrogate() && i + 1 < text.size() &&
                         text.at(i + 1).isLowSurrogate()
                     ? 2
                     : 1;
        text.truncate(i);
    }
    return expected.contains(text);
}

namespace {

using P = PageProperty;
using K = PageValueKind;

// The spreadsheet's "standard" margins are in points; the constants are its own.
constexpr std::array<PagePropertyInfo, PagePropertyCount> Table = {{
    {P::PrintTitleRows, "PrintTitleRows", K::Text, 0},
    {P::PrintTitleColumns, "PrintTitleColumns", K::Text, 0},
    {P::PrintArea, "PrintArea", K::Text, 0},
    {P::LeftHeader, "LeftHeader", K::Text, 0},
    {P::CenterHeader, "CenterHeader", K::Text, 0},
    {P::RightHeader, "RightHeader", K::Text, 0},
    {P::LeftFooter, "LeftFooter", K::Text, 0},
    {P::CenterFooter, "CenterFooter", K::Text, 0},
    {P::RightFooter, "RightFooter", K::Text, 0},
    {P::LeftMargin, "LeftMargin", K::Number, 50.4},
    {P::RightMargin, "RightMargin", K::Number, 50.4},
    {P::TopMargin, "TopMargin", K::Number, 54.0},
    {P::BottomMargin, "BottomMargin", K::Number, 54.0},
    {P::HeaderMargin, "HeaderMargin", K::Number, 21.6},
    {P::FooterMargin, "FooterMargin", K::Number, 21.6},
    {P::PrintHeadings, "PrintHeadings", K::Flag, 0},
    {P::PrintGridlines, "PrintGridlines", K::Flag, 0},
    {P::PrintComments, "PrintComments", K::Integer, page::PrintNoComments},
    {P::PrintQuality, "PrintQuality", K::Integer, 600},
    {P::CenterHorizontally, "CenterHorizontally", K::Flag, 0},
    {P::CenterVertically, "CenterVertically", K::Flag, 0},
    {P::Orientation, "Orientation", K::Integer, page::Portrait},
    {P::Draft, "Draft", K::Flag, 0},
    {P::PaperSize, "PaperSize", K::Integer, page::PaperA4},
    {P::FirstPageNumber, "FirstPageNumber", K::Integer, page::FirstPageAutomatic},
    {P::Order, "Order", K::Integer, page::DownThenOver},
    {P::BlackAndWhite, "BlackAndWhite", K::Flag, 0},
    {P::Zoom, "Zoom", K::ZoomLike, 100},
}};

constexpr bool inEnumOrder() {
    for (int i = 0; i < PagePropertyCount; ++i) {
        if (int(Table[size_t(i)].property) != i)
            return false;
    }
    return true;
}
static_assert(inEnumOrder(), "the page-property table follows the enum");

} // namespace

const std::array<PagePropertyInfo, PagePropertyCount>& pageProperties() {
    return Table;
}

const char* pagePropertyName(PageProperty p) {
    return Table[size_t(p)].name;
}

PageValueKind pagePropertyKind(PageProperty p) {
    return Table[size_t(p)].kind;
}

std::optional<PageProperty> pagePropertyNamed(const QString& name) {
    for (const PagePropertyInfo& info : Table) {
        if (name == QLatin1String(info.name))
            return info.property;
    }
    return std::nullopt;
}

QVariant pagePropertyDefault(PageProperty p) {
    const PagePropertyInfo& info = Table[size_t(p)];
    switch (info.kind) {
    case PageValueKind::Text:
        return QString();
    case PageValueKind::Number:
        return info.defaultValue;
    case PageValueKind::Flag:
        return info.defaultValue != 0;
    case PageValueKind::Integer:
    case PageValueKind::ZoomLike:
        return int(info.defaultValue);
    }
    return QVariant();
}

PageValues PageSetup::getAll() const {
    PageValues all;
    for (const PagePropertyInfo& info : Table)
        all.values[size_t(info.property)] = get(info.property);
    return all;
}

void PageSetup::setAll(const PageValues& values) {
    for (const PagePropertyInfo& info : Table)
        set(info.property, values.values[size_t(info.property)]);
}

std::vector<SheetPtr> Workbook::worksheetsNamed(const QStringList& names) {
    worksheetCount(); // a closed book fails as a whole
    std::vector<SheetPtr> found;
    for (const QString& name : names) {
        SheetPtr sheet;
        try {
            sheet = worksheet(name);
        } catch (const HostError&) {
        }
        found.push_back(std::move(sheet));
    }
    return found;
}

} // namespace korvex::host
