// The number formats over a sheet's cells, as far as they make a number read
// as a date, a time, a flag or a percentage, or leave it in General.

#include "calc_cell_io.h"

#include "uno_text.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/sheet/XCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/util/Date.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <rtl/math.hxx>

#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <map>

namespace korvex::calc::cell_io {

namespace {

unsigned char formatFlags(sal_Int16 type) {
    if (type & (css::util::NumberFormat::DATE | css::util::NumberFormat::TIME))
        return DateFormat;
    if (type & css::util::NumberFormat::LOGICAL)
        return FlagFormat;
    if (type & css::util::NumberFormat::PERCENT)
        return PercentFormat;
    return 0;
}

} // namespace

std::optional<QString> generalText(double v, sal_Unicode decimal) {
    if (!std::isfinite(v) || std::fabs(v) > 1e15)
        return std::nullopt;
    auto s = rtl::math::doubleToUString(v, rtl_math_StringFormat_Automatic,
                                        rtl_math_DecimalPlaces_Max, decimal, true);
    QString q = toQt(s);
    if (q.contains(u'E'))
        return std::nullopt;
    return q;
}

QDate documentDayZero(const DocRef& doc) {
    Reference<css::util::XNumberFormatsSupplier> nfs(doc, UNO_QUERY_THROW);
    css::util::Date nullDate(30, 12, 1899);
    must(nfs->getNumberFormatSettings())->getPropertyValue("NullDate") >>= nullDate;
    return QDate(nullDate.Year, nullDate.Month, nullDate.Day);
}

FormatMap formatMap(const DocRef& doc, const Reference<css::table::XCellRange>& range,
                    const Address& area) {
    FormatMap map;
    map.area = area;
    const sal_Int32 width = area.EndColumn - area.StartColumn + 1;
    const sal_Int32 height = area.EndRow - area.StartRow + 1;
    map.flags.assign(size_t(width) * size_t(height), 0);
    Reference<css::util::XNumberFormatsSupplier> nfs(doc, UNO_QUERY_THROW);
    css::util::Date nullDate(30, 12, 1899);
    must(nfs->getNumberFormatSettings())->getPropertyValue("NullDate") >>= nullDate;
    map.dayZero = QDate(nullDate.Year, nullDate.Month, nullDate.Day);
    auto numberFormats = must(nfs->getNumberFormats());
    Reference<css::sheet::XCellFormatRangesSupplier> formats(range, UNO_QUERY_THROW);
    auto blocks = must(formats->getCellFormatRanges());
    std::map<sal_Int32, unsigned char> byKey;
    for (sal_Int32 i = 0, n = blocks->getCount(); i < n; ++i) {
        Reference<css::beans::XPropertySet> props(blocks->getByIndex(i), UNO_QUERY_THROW);
        sal_Int32 key = 0;
        props->getPropertyValue("NumberFormat") >>= key;
        auto known = byKey.find(key);
        if (known == byKey.end()) {
            auto format = must(numberFormats->getByKey(key));
            rtl::OUString formatString;
            sal_Int16 type = 0;
            format->getPropertyValue("FormatString") >>= formatString;
            format->getPropertyValue("Type") >>= type;
            unsigned char f = 0;
            if (formatString == "General" || formatString == "Standard")
                f |= GeneralFormat;
            f |= formatFlags(type);
            known = byKey.emplace(key, f).first;
        }
        if (!known->second)
            continue;
        auto a = intersect(
            Reference<css::sheet::XCellRangeAddressable>(props, UNO_QUERY_THROW)->getRangeAddress(),
            area);
        if (!a)
            continue;
        for (sal_Int32 r = a->StartRow; r <= a->EndRow; ++r)
            for (sal_Int32 c = a->StartColumn; c <= a->EndColumn; ++c)
                map.flags[size_t(r - area.StartRow) * size_t(width) +
                          size_t(c - area.StartColumn)] = known->second;
    }
    return map;
}

QVariant typedNumber(double v, unsigned char flags, const QDate& dayZero) {
    if ((flags & FlagFormat) != 0)
        return v != 0;
    if ((flags & DateFormat) == 0 || !std::isfinite(v) || v < 0 || v >= 2958466)
        return v;
    auto days = static_cast<qint64>(std::floor(v));
    auto seconds = static_cast<int>(std::llround((v - double(days)) * 86400.0));
    if (seconds >= 86400) {
        ++days;
        seconds = 0;
    }
    return QDateTime(dayZero.addDays(days), QTime(0, 0).addSecs(seconds), Qt::UTC);
}

// Where in `area` constants read otherwise than their number (dates, times,
// flags, percentages), asked of the office once per distinct format rather
// than once per block of cells; none when there is no such cell. Most
// sheets hold few formats, so this costs a few round trips whatever their
// size.
std::optional<FormatMap> typedFormats(const DocRef& doc,
                                      const Reference<css::table::XCellRange>& range,
                                      const Address& area) {
    Reference<css::sheet::XUniqueCellFormatRangesSupplier> unique(range, UNO_QUERY_THROW);
    auto groups = must(unique->getUniqueCellFormatRanges());
    Reference<css::util::XNumberFormatsSupplier> nfs(doc, UNO_QUERY_THROW);
    Reference<css::util::XNumberFormats> numberFormats;
    std::optional<FormatMap> map;
    const sal_Int32 width = area.EndColumn - area.StartColumn + 1;
    for (sal_Int32 i = 0, n = groups->getCount(); i < n; ++i) {
        Reference<css::beans::XPropertySet> props(groups->getByIndex(i), UNO_QUERY_THROW);
        sal_Int32 key = 0;
        props->getPropertyValue("NumberFormat") >>= key;
        if (key == 0)
            continue; // the standard format
        if (!numberFormats.is())
            numberFormats = must(nfs->getNumberFormats());
        sal_Int16 type = 0;
        must(numberFormats->getByKey(key))->getPropertyValue("Type") >>= type;
        const unsigned char flags = formatFlags(type);
        if (!flags)
            continue;
        if (!map) {
            map.emplace();
            map->area = area;
            map->flags.assign(size_t(width) * size_t(area.EndRow - area.StartRow + 1), 0);
            map->dayZero = documentDayZero(doc);
        }
        for (const auto& r :
             Reference<css::sheet::XSheetCellRanges>(props, UNO_QUERY_THROW)->getRangeAddresses()) {
            const auto a = intersect(r, area);
            if (!a)
                continue;
            for (sal_Int32 row = a->StartRow; row <= a->EndRow; ++row)
                for (sal_Int32 c = a->StartColumn; c <= a->EndColumn; ++c)
                    map->flags[size_t(row - area.StartRow) * size_t(width) +
                               size_t(c - area.StartColumn)] = flags;
        }
    }
    return map;
}

std::optional<QString> typedText(const rtl::OUString& input, unsigned char flags,
                                 const QDate& dayZero) {
    if (!(flags & TypedFormats) || input.isEmpty() || input.startsWith("=") ||
        input.startsWith("'"))
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(toQt(input), &ok);
    if (!ok)
        return std::nullopt;
    return host::constantText(typedNumber(v, flags, dayZero), (flags & PercentFormat) != 0);
}

} // namespace korvex::calc::cell_io
