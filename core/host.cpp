#include "host.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
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

QString constantText(const QVariant& value, bool percent) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return percent ? numberText(value.toDouble() * 100) + u'%' : numberText(value.toDouble());
    default:
        return valueText(value);
    }
}

std::optional<double> readNumber(const QString& text) {
    bool ok = false;
    const double d = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

namespace {

std::optional<QDateTime> readDateTime(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        "^(?:(\\d{4})/(\\d{1,2})/(\\d{1,2}))?(?:(?:^| )(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
    const auto m = re.match(text);
    if (!m.hasMatch() || text.isEmpty())
        return std::nullopt;
    QDate date = serialDayZero();
    if (m.capturedLength(1) > 0)
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    QTime time(0, 0);
    if (m.capturedLength(4) > 0)
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QVariant typedValue(const QString& text, bool* percent) {
    if (percent)
        *percent = false;
    if (text.startsWith(QLatin1Char('\'')))
        return text.mid(1);
    if (text.trimmed().isEmpty())
        return text;
    if (const auto d = readNumber(text))
        return *d;
    if (text.endsWith(QLatin1Char('%')) && !text.trimmed().startsWith(QLatin1Char('%'))) {
        if (const auto d = readNumber(text.chopped(1))) {
            if (percent)
                *percent = true;
            return *d / 100;
        }
    }
    if (const auto dt = readDateTime(text))
        return *dt;
    if (text == QLatin1String("TRUE"))
        return true;
    if (text == QLatin1String("FALSE"))
        return false;
    return text;
}

QVariant entryFor(const CellContent& content) {
    using Kind = CellContent::Kind;
    const QString& t = content.text;
    switch (content.kind) {
    case Kind::Empty:
        return QVariant();
    case Kind::Formula:
    case Kind::Percent: // typed again, so that it reads as a percentage
        return t;
    case Kind::Text:
        if (typedValue(t).typeId() == QMetaType::QString && !t.startsWith(QLatin1Char('=')) &&
            !t.startsWith(QLatin1Char('\'')))
            return t;
        return QString(QLatin1Char('\'') + t);
    case Kind::Number:
    case Kind::DateTime:
    case Kind::Flag:
        return typedValue(t);
    }
    return t;
}

namespace {
constexpr std::pair<CellContent::Kind, const char*> KindNames[] = {
    {CellContent::Kind::Empty, "empty"},     {CellContent::Kind::Text, "text"},
    {CellContent::Kind::Number, "number"},   {CellContent::Kind::Percent, "percent"},
    {CellContent::Kind::DateTime, "date"},   {CellContent::Kind::Flag, "flag"},
    {CellContent::Kind::Formula, "formula"},
};
} // namespace

QString contentKindName(CellContent::Kind kind) {
    for (const auto& [k, name] : KindNames)
        if (k == kind)
            return QString::fromLatin1(name);
    return QString();
}

std::optional<CellContent::Kind> contentKindNamed(const QString& name) {
    for (const auto& [k, n] : KindNames)
        if (name == QLatin1String(n))
            return k;
    return std::nullopt;
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

std::vector<NamedSheet> Workbook::worksheets() {
    QStringList names;
    for (const SheetEntry& e : sheetList()) {
        if (e.worksheet)
            names << e.name;
    }
    const auto handles = worksheetsNamed(names);
    std::vector<NamedSheet> found;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (handles[size_t(i)])
            found.push_back({names[i], handles[size_t(i)]});
    }
    return found;
}

Application::Position Application::currentPosition() {
    Position p;
    p.book = activeWorkbook()->name();
    p.sheet = activeSheet()->name();
    const RangePtr cell = activeCell();
    p.row = cell->row();
    p.column = cell->column();
    return p;
}

} // namespace korvex::host
