// Page setup of a sheet, read from its page style and written to a style of
// its own (calc_page_styles.cpp): changing one sheet's page setup never
// changes another sheet.
//
// Where Calc has no equivalent (draft quality, black and white, print
// quality, comments printed in place) the value is kept in Korvex's memory
// for the session, never in the user's document. Header and footer texts are
// the spreadsheet's codes, kept by Calc as text fields
// (calc_header_footer.cpp).

#include "calc_model.h"

#include "cell_address.h"
#include "uno_text.h"

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

namespace korvex::calc {

using host::PageProperty;

using namespace uno_helpers;

namespace {

using Props = Reference<css::beans::XPropertySet>;

constexpr double HundredthMmPerPoint = 2540.0 / 72.0;

// Values without a Calc counterpart live in Korvex's memory for the session,
// never in the document: the user's next save would write them into the
// workbook. Keyed by the document's identity within this office run.
struct ExtraStore {
    std::mutex mutex;
    std::map<std::pair<rtl::OUString, rtl::OUString>, sal_Int32> values;
};
ExtraStore& extras() {
    static ExtraStore store;
    return store;
}

// One sheet's page style as the reads and writes of its properties use it.
struct StyleAt {
    DocRef doc;
    SheetRef sheet;
    Props style;
    rtl::OUString name;
    mutable std::optional<rtl::OUString> docId; // asked for once, when needed
};

StyleAt styleAt(const DocRef& doc, const SheetRef& sheet, Props style) {
    return {doc, sheet, std::move(style), pageStyleNameOf(sheet), std::nullopt};
}

std::pair<rtl::OUString, rtl::OUString> extraKey(const StyleAt& at, const char* what) {
    if (!at.docId) {
        rtl::OUString id;
        Props props(at.doc, UNO_QUERY);
        if (props.is() && must(props->getPropertySetInfo())->hasPropertyByName("RuntimeUID"))
            props->getPropertyValue("RuntimeUID") >>= id;
        if (id.isEmpty())
            id = rtl::OUString::number(reinterpret_cast<sal_IntPtr>(
                Reference<css::uno::XInterface>(at.doc, UNO_QUERY).get()));
        at.docId = id;
    }
    return {*at.docId, at.name + "." + rtl::OUString::createFromAscii(what)};
}

std::optional<sal_Int32> readExtra(const StyleAt& at, const char* what) {
    const auto key = extraKey(at, what);
    std::lock_guard<std::mutex> lock(extras().mutex);
    const auto it = extras().values.find(key);
    if (it == extras().values.end())
        return std::nullopt;
    return it->second;
}

void writeExtra(const StyleAt& at, const char* what, sal_Int32 v) {
    const auto key = extraKey(at, what);
    std::lock_guard<std::mutex> lock(extras().mutex);
    extras().values[key] = v;
}

QString rowsText(const css::table::CellRangeAddress& a) {
    return a1::rowSpanText(a.StartRow + 1, a.EndRow + 1);
}
QString columnsText(const css::table::CellRangeAddress& a) {
    return a1::columnSpanText(a.StartColumn + 1, a.EndColumn + 1);
}
QString areaText(const css::table::CellRangeAddress& a) {
    return a1::rangeText({a.StartRow + 1, a.StartColumn + 1, a.EndRow + 1, a.EndColumn + 1});
}

// "$1:$3" or "1:3" (rows) / "$A:$B" (columns): 0-based bounds.
std::pair<int, int> parseSpan(const QString& text, bool rows) {
    const auto span = rows ? a1::parseRowSpan(text) : a1::parseColumnSpan(text);
    if (!span)
        throw HostError(QStringLiteral("\"%1\" is not a %2 reference")
                            .arg(text, rows ? QStringLiteral("row") : QStringLiteral("column")));
    return {span->first - 1, span->second - 1};
}

struct Paper {
    int code;
    sal_Int32 width, height; // 1/100 mm, portrait
};
constexpr Paper Papers[] = {
    {1, 21590, 27940},  // Letter
    {5, 21590, 35560},  // Legal
    {8, 29700, 42000},  // A3
    {9, 21000, 29700},  // A4
    {11, 14800, 21000}, // A5
    {12, 25700, 36400}, // B4 (JIS)
    {13, 18200, 25700}, // B5 (JIS)
};

css::awt::Size pageSize(const Props& style) {
    css::awt::Size size;
    style->getPropertyValue("Size") >>= size;
    return size;
}

bool getBool(const Props& p, const char* name) {
    bool b = false;
    p->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= b;
    return b;
}

sal_Int32 getInt(const Props& p, const char* name) {
    sal_Int32 v = 0;
    p->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= v;
    return v;
}

double points(const Props& p, const char* name) {
    return std::round(getInt(p, name) / HundredthMmPerPoint * 100.0) / 100.0;
}

void setPoints(const Props& p, const char* name, const QVariant& v) {
    p->setPropertyValue(rtl::OUString::createFromAscii(name),
                        Any(sal_Int32(std::lround(v.toDouble() * HundredthMmPerPoint))));
}

} // namespace

namespace uno_helpers {

// Properties that are one page-style property of Calc's: the margins (in
// points here, 1/100 mm there) and the flags Calc prints by.
const char* stylePropertyOf(PageProperty p) {
    switch (p) {
    case PageProperty::LeftMargin:
        return "LeftMargin";
    case PageProperty::RightMargin:
        return "RightMargin";
    case PageProperty::TopMargin:
        return "TopMargin";
    case PageProperty::BottomMargin:
        return "BottomMargin";
    case PageProperty::HeaderMargin:
        return "HeaderBodyDistance";
    case PageProperty::FooterMargin:
        return "FooterBodyDistance";
    case PageProperty::PrintHeadings:
        return "PrintHeaders";
    case PageProperty::PrintGridlines:
        return "PrintGrid";
    case PageProperty::CenterHorizontally:
        return "CenterHorizontally";
    case PageProperty::CenterVertically:
        return "CenterVertically";
    default:
        return nullptr;
    }
}

// Properties Calc has no counterpart for, kept as document properties
// (flags as 0 or 1).
bool isExtraOnly(PageProperty p) {
    return p == PageProperty::PrintQuality || p == PageProperty::Draft ||
           p == PageProperty::BlackAndWhite;
}

bool isHeader(PageProperty p) {
    return p == PageProperty::LeftHeader || p == PageProperty::CenterHeader ||
           p == PageProperty::RightHeader;
}
bool isFooter(PageProperty p) {
    return p == PageProperty::LeftFooter || p == PageProperty::CenterFooter ||
           p == PageProperty::RightFooter;
}
// 0 left, 1 centre, 2 right.
int headerFooterPart(PageProperty p) {
    return int(p) - int(isHeader(p) ? PageProperty::LeftHeader : PageProperty::LeftFooter);
}

QVariant readPrintArea(const Reference<css::sheet::XPrintAreas>& areas) {
    QStringList parts;
    for (const auto& a : areas->getPrintAreas())
        parts << areaText(a);
    return parts.join(u',');
}

QVariant readPrintComments(const StyleAt& at) {
    const bool printed = getBool(at.style, "PrintAnnotations");
    auto stored = readExtra(at, "PrintComments");
    if (printed)
        return stored && *stored == host::page::PrintInPlace ? host::page::PrintInPlace
                                                             : host::page::PrintSheetEnd;
    return host::page::PrintNoComments;
}

QVariant readPaperSize(const StyleAt& at) {
    const auto size = pageSize(at.style);
    const sal_Int32 w = std::min(size.Width, size.Height), h = std::max(size.Width, size.Height);
    for (const auto& paper : Papers)
        if (std::abs(paper.width - w) <= 20 && std::abs(paper.height - h) <= 20)
            return paper.code;
    return readExtra(at, "PaperSize").value_or(256); // custom size
}

QVariant readZoom(const Props& style) {
    sal_Int16 x = 0, y = 0, pages = 0, scale = 100;
    style->getPropertyValue("ScaleToPagesX") >>= x;
    style->getPropertyValue("ScaleToPagesY") >>= y;
    style->getPropertyValue("ScaleToPages") >>= pages;
    style->getPropertyValue("PageScale") >>= scale;
    if (x > 0 || y > 0 || pages > 0)
        return false;
    return int(scale);
}

// The page counts of a setup that fits to pages: a count, or false for as
// many as it takes; invalid for a setup Calc fits to a number of pages in all.
std::pair<QVariant, QVariant> readFitToPages(const Props& style) {
    sal_Int16 x = 0, y = 0;
    style->getPropertyValue("ScaleToPagesX") >>= x;
    style->getPropertyValue("ScaleToPagesY") >>= y;
    if (x <= 0 && y <= 0)
        return {};
    auto count = [](sal_Int16 n) { return n > 0 ? QVariant(int(n)) : QVariant(false); };
    return {count(x), count(y)};
}

QVariant readPagePropertyAt(const StyleAt& at, PageProperty p) {
    const Props& style = at.style;
    const SheetRef& sheet = at.sheet;
    const host::PageValueKind kind = host::pagePropertyKind(p);
    if (const char* name = stylePropertyOf(p))
        return kind == host::PageValueKind::Number ? QVariant(points(style, name))
                                                   : QVariant(getBool(style, name));
    if (isExtraOnly(p)) {
        const int fallback = host::pagePropertyDefault(p).toInt();
        const int stored = readExtra(at, pagePropertyName(p)).value_or(fallback);
        return kind == host::PageValueKind::Flag ? QVariant(stored != 0) : QVariant(stored);
    }
    if (isHeader(p) || isFooter(p)) {
        // A header switched off prints nothing, whatever the style keeps.
        if (!getBool(style, isHeader(p) ? "HeaderIsOn" : "FooterIsOn"))
            return QString();
        return readHeaderFooterPart(style, isHeader(p), headerFooterPart(p));
    }
    Reference<css::sheet::XPrintAreas> areas(sheet, UNO_QUERY_THROW);
    switch (p) {
    case PageProperty::PrintTitleRows:
        return areas->getPrintTitleRows() ? rowsText(areas->getTitleRows()) : QString();
    case PageProperty::PrintTitleColumns:
        return areas->getPrintTitleColumns() ? columnsText(areas->getTitleColumns()) : QString();
    case PageProperty::PrintArea:
        return readPrintArea(areas);
    case PageProperty::PrintComments:
        return readPrintComments(at);
    case PageProperty::Orientation:
        return getBool(style, "IsLandscape") ? host::page::Landscape : host::page::Portrait;
    case PageProperty::PaperSize:
        return readPaperSize(at);
    case PageProperty::FirstPageNumber: {
        sal_Int16 n = 0;
        style->getPropertyValue("FirstPageNumber") >>= n;
        return n == 0 ? host::page::FirstPageAutomatic : int(n);
    }
    case PageProperty::Order:
        return getBool(style, "PrintDownFirst") ? host::page::DownThenOver
                                                : host::page::OverThenDown;
    case PageProperty::Zoom:
        return readZoom(style);
    default:
        break;
    }
    throw HostError(QStringLiteral("Unknown page-setup property"));
}

QVariant readPageProperty(const DocRef& doc, const SheetRef& sheet, PageProperty p) {
    return readPagePropertyAt(styleAt(doc, sheet, pageStyleOf(doc, sheet)), p);
}

void writePrintTitles(const SheetRef& sheet, bool rows, const QString& text) {
    Reference<css::sheet::XPrintAreas> areas(sheet, UNO_QUERY_THROW);
    if (text.trimmed().isEmpty()) {
        rows ? areas->setPrintTitleRows(false) : areas->setPrintTitleColumns(false);
        return;
    }
    const auto [first, last] = parseSpan(text, rows);
    css::table::CellRangeAddress a;
    a.Sheet = Reference<css::sheet::XCellRangeAddressable>(sheet, UNO_QUERY_THROW)
                  ->getRangeAddress()
                  .Sheet;
    if (rows) {
        a.StartRow = first;
        a.EndRow = last;
        areas->setTitleRows(a);
        areas->setPrintTitleRows(true);
    } else {
        a.StartColumn = first;
        a.EndColumn = last;
        areas->setTitleColumns(a);
        areas->setPrintTitleColumns(true);
    }
}

void writePrintArea(const SheetRef& sheet, const QString& text) {
    std::vector<css::table::CellRangeAddress> list;
    Reference<css::table::XCellRange> cells(sheet, UNO_QUERY_THROW);
    for (const auto& part : text.split(u',', Qt::SkipEmptyParts)) {
        try {
            list.push_back(Reference<css::sheet::XCellRangeAddressable>(
                               cells->getCellRangeByName(toUno(part.trimmed())), UNO_QUERY_THROW)
                               ->getRangeAddress());
        } catch (const css::uno::RuntimeException&) {
            throw HostError(QStringLiteral("\"%1\" is not a print area").arg(part));
        }
    }
    Reference<css::sheet::XPrintAreas>(sheet, UNO_QUERY_THROW)
        ->setPrintAreas(
            Sequence<css::table::CellRangeAddress>(list.data(), sal_Int32(list.size())));
}

void writePrintComments(const StyleAt& at, int mode) {
    at.style->setPropertyValue("PrintAnnotations", Any(mode != host::page::PrintNoComments));
    writeExtra(at, "PrintComments", mode);
}

void writeOrientation(const Props& style, int orientation) {
    // The flag alone does not turn the page: the size is swapped too.
    const bool landscape = orientation == host::page::Landscape;
    auto size = pageSize(style);
    if ((size.Width > size.Height) != landscape)
        std::swap(size.Width, size.Height);
    style->setPropertyValue("IsLandscape", Any(landscape));
    style->setPropertyValue("Size", Any(size));
}

void writePaperSize(const StyleAt& at, int code) {
    for (const auto& paper : Papers) {
        if (paper.code != code)
            continue;
        const bool landscape = getBool(at.style, "IsLandscape");
        css::awt::Size size;
        size.Width = landscape ? paper.height : paper.width;
        size.Height = landscape ? paper.width : paper.height;
        at.style->setPropertyValue("Size", Any(size));
        return;
    }
    // A paper Calc has no fixed size for: remembered, size left alone.
    writeExtra(at, "PaperSize", code);
}

// Zoom false fits the sheet to the given page counts (false: as many pages
// as it takes that way); without counts, to the sheet's own.
void writeZoom(const Props& style, const QVariant& v, const QVariant& wide = QVariant(),
               const QVariant& tall = QVariant()) {
    if (v.typeId() == QMetaType::Bool) {
        if (v.toBool())
            throw HostError(QStringLiteral("Zoom is a percentage or false"));
        auto count = [](const QVariant& n) {
            if (!n.isValid() || n.typeId() == QMetaType::Bool)
                return sal_Int16(0);
            if (n.toInt() < 1 || n.toInt() > 32767)
                throw HostError(QStringLiteral("A page count must lie between 1 and 32767"));
            return sal_Int16(n.toInt());
        };
        const sal_Int16 wideCount = count(wide), tallCount = count(tall);
        if (wideCount > 0 || tallCount > 0) {
            style->setPropertyValue("ScaleToPagesX", Any(wideCount));
            style->setPropertyValue("ScaleToPagesY", Any(tallCount));
            return;
        }
        // Keep the sheet's own fit values when it has any.
        sal_Int16 x = 0, y = 0, pages = 0;
        style->getPropertyValue("ScaleToPagesX") >>= x;
        style->getPropertyValue("ScaleToPagesY") >>= y;
        style->getPropertyValue("ScaleToPages") >>= pages;
        if (x == 0 && y == 0 && pages == 0) {
            style->setPropertyValue("ScaleToPagesX", Any(sal_Int16(1)));
            style->setPropertyValue("ScaleToPagesY", Any(sal_Int16(1)));
        }
        return;
    }
    const int percent = v.toInt();
    if (percent < 10 || percent > 400)
        throw HostError(QStringLiteral("Zoom must lie between 10 and 400"));
    for (const char* fit : {"ScaleToPagesX", "ScaleToPagesY", "ScaleToPages"}) {
        try {
            style->setPropertyValue(rtl::OUString::createFromAscii(fit), Any(sal_Int16(0)));
        } catch (const css::uno::Exception&) {
        }
    }
    style->setPropertyValue("PageScale", Any(sal_Int16(percent)));
}

void writePagePropertyAt(const StyleAt& at, PageProperty p, const QVariant& v) {
    const Props& style = at.style;
    const host::PageValueKind kind = host::pagePropertyKind(p);
    if (const char* name = stylePropertyOf(p)) {
        if (kind == host::PageValueKind::Number)
            setPoints(style, name, v);
        else
            style->setPropertyValue(rtl::OUString::createFromAscii(name), Any(v.toBool()));
        return;
    }
    if (isExtraOnly(p))
        return writeExtra(at, pagePropertyName(p),
                          kind == host::PageValueKind::Flag ? (v.toBool() ? 1 : 0) : v.toInt());
    if (isHeader(p) || isFooter(p)) {
        std::array<std::optional<QString>, 3> texts;
        texts[size_t(headerFooterPart(p))] = v.toString();
        return writeHeaderFooterParts(at.doc, style, isHeader(p), texts);
    }
    switch (p) {
    case PageProperty::PrintTitleRows:
    case PageProperty::PrintTitleColumns:
        return writePrintTitles(at.sheet, p == PageProperty::PrintTitleRows, v.toString());
    case PageProperty::PrintArea:
        return writePrintArea(at.sheet, v.toString());
    case PageProperty::PrintComments:
        return writePrintComments(at, v.toInt());
    case PageProperty::Orientation:
        return writeOrientation(style, v.toInt());
    case PageProperty::PaperSize:
        return writePaperSize(at, v.toInt());
    case PageProperty::FirstPageNumber: {
        const int n = v.toInt();
        style->setPropertyValue("FirstPageNumber",
                                Any(sal_Int16(n == host::page::FirstPageAutomatic ? 0 : n)));
        return;
    }
    case PageProperty::Order:
        return style->setPropertyValue("PrintDownFirst",
                                       Any(v.toInt() == host::page::DownThenOver));
    case PageProperty::Zoom:
        return writeZoom(style, v);
    default:
        break;
    }
}

void writePageProperty(const DocRef& doc, const SheetRef& sheet, PageProperty p,
                       const QVariant& v) {
    writePagePropertyAt(styleAt(doc, sheet, ownPageStyle(doc, sheet)), p, v);
}

host::PageValues readPageSetup(const DocRef& doc, const SheetRef& sheet) {
    const StyleAt at = styleAt(doc, sheet, pageStyleOf(doc, sheet));
    host::PageValues all;
    for (int i = 0; i < host::PagePropertyCount; ++i)
        all.values[size_t(i)] = readPagePropertyAt(at, PageProperty(i));
    if (all.values[size_t(PageProperty::Zoom)].typeId() == QMetaType::Bool)
        std::tie(all.fitToPagesWide, all.fitToPagesTall) = readFitToPages(at.style);
    return all;
}

void writePageSetup(const DocRef& doc, const SheetRef& sheet, const host::PageValues& all,
                    PageStyleUse* use) {
    const StyleAt at = styleAt(doc, sheet, ownPageStyle(doc, sheet, use));
    for (int i = 0; i < host::PagePropertyCount; ++i) {
        const auto p = PageProperty(i);
        const QVariant& v = all.values[size_t(i)];
        if (p == PageProperty::LeftHeader || p == PageProperty::LeftFooter) {
            // The three parts of a header go together, in one content.
            std::array<std::optional<QString>, 3> texts;
            for (int k = 0; k < 3; ++k)
                texts[size_t(k)] = all.values[size_t(i + k)].toString();
            writeHeaderFooterParts(doc, at.style, p == PageProperty::LeftHeader, texts);
            i += 2;
        } else if (p == PageProperty::Zoom) {
            writeZoom(at.style, v, all.fitToPagesWide, all.fitToPagesTall);
        } else {
            writePagePropertyAt(at, p, v);
        }
    }
}

} // namespace uno_helpers

QVariant CalcPageSetup::get(PageProperty p) const {
    return m_s->run([doc = m_doc->get(), sheet = m_sheet->get(), p] {
        requireOpen(doc);
        return readPageProperty(doc, sheet, p);
    });
}

void CalcPageSetup::set(PageProperty p, const QVariant& value) {
    m_s->run([doc = m_doc->get(), sheet = m_sheet->get(), p, value] {
        requireOpen(doc);
        writePageProperty(doc, sheet, p, value);
    });
}

host::PageValues CalcPageSetup::getAll() const {
    return m_s->run([doc = m_doc->get(), sheet = m_sheet->get()] {
        requireOpen(doc);
        return readPageSetup(doc, sheet);
    });
}

void CalcPageSetup::setAll(const host::PageValues& values) {
    m_s->run([doc = m_doc->get(), sheet = m_sheet->get(), values, use = m_styleUse] {
        requireOpen(doc);
        std::unique_lock<std::mutex> lock;
        if (use)
            lock = std::unique_lock<std::mutex>(use->mutex);
        writePageSetup(doc, sheet, values, use.get());
    });
}

} // namespace korvex::calc
