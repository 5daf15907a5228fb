#include "calc_model.h"

#include "cell_address.h"
#include "uno_text.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XFormulaQuery.hpp>
#include <com/sun/star/sheet/XSheetAnnotation.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XSimpleText.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/Date.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/util/XReplaceDescriptor.hpp>
#include <com/sun/star/util/XReplaceable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <rtl/math.hxx>

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <map>

namespace korvex::calc {

using matcher::CellPosition;
using namespace uno_helpers;

namespace {

using Address = css::table::CellRangeAddress;

std::optional<Address> intersect(const Address& a, const Address& b) {
    Address r = a;
    r.StartColumn = std::max(a.StartColumn, b.StartColumn);
    r.StartRow = std::max(a.StartRow, b.StartRow);
    r.EndColumn = std::min(a.EndColumn, b.EndColumn);
    r.EndRow = std::min(a.EndRow, b.EndRow);
    if (r.StartColumn > r.EndColumn || r.StartRow > r.EndRow)
        return std::nullopt;
    return r;
}

// The part of `limit` that can hold anything: its intersection with the
// sheet's used area.
std::optional<Address> usedPart(const SheetRef& sheet, const Address& limit) {
    auto cursor = must(sheet->createCursor());
    Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
    used->gotoStartOfUsedArea(false);
    used->gotoEndOfUsedArea(true);
    Reference<css::sheet::XCellRangeAddressable> a(cursor, UNO_QUERY_THROW);
    return intersect(a->getRangeAddress(), limit);
}

Reference<css::table::XCellRange> rangeAt(const SheetRef& sheet, const Address& a) {
    return sheet->getCellRangeByPosition(a.StartColumn, a.StartRow, a.EndColumn, a.EndRow);
}

struct CellText {
    CellPosition pos;
    QString text;
    QVariant value;          // as value() gives it; invalid when not read
    bool marked = false;     // read as a formula: a text that reads as a number
    unsigned char typed = 0; // read as a formula: the text was made from the value
};

// A cell's value from a bulk read: its number, or its text when it has one.
// Invalid for what the bulk read does not carry (empty cells, errors).
QVariant bulkValue(const Any& a) {
    double d;
    rtl::OUString s;
    if (a >>= d)
        return d;
    if ((a >>= s) && !s.isEmpty())
        return toQt(s);
    return {};
}

// A cell's content from the API's input string. Text that would read as a
// number (or starts with an apostrophe) comes with an apostrophe in front so
// that it can be entered again as text; the apostrophe marks the cell's type
// and is not part of its text, so searches never see it. `marked` tells
// whether it was there.
QString contentFromApi(const rtl::OUString& input, bool* marked = nullptr) {
    const bool text = input.startsWith("'");
    if (marked)
        *marked = text;
    return text ? toQt(input.copy(1)) : formulaFromApi(toQt(input));
}

// The input string that gives a cell `content` again; a marked text stays
// text even when it now reads as a number.
rtl::OUString contentToApi(const QString& content, bool marked) {
    if (marked && !content.isEmpty())
        return toUno(QLatin1Char('\'') + content);
    return toUno(formulaToApi(content));
}

// Text of a number in Calc's "General" format, made here instead of one
// remote call per cell. Exponent forms are left to the office.
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

QString remoteString(const Reference<css::table::XCellRange>& range, sal_Int32 col, sal_Int32 row) {
    Reference<css::text::XText> t(range->getCellByPosition(col, row), UNO_QUERY_THROW);
    return toQt(t->getString());
}

// What the number formats over an area say about the numbers in it: whether
// the office shows them in General, and whether they are dates or times or
// flags, which the office keeps as plain numbers.
enum FormatFlag : unsigned char {
    GeneralFormat = 1,
    DateFormat = 2,
    FlagFormat = 4,
    PercentFormat = 8,
};
// The formats under which a constant reads otherwise than its number.
constexpr unsigned char TypedFormats = DateFormat | FlagFormat | PercentFormat;

struct FormatMap {
    Address area;
    std::vector<unsigned char> flags; // per cell of `area`, row by row
    QDate dayZero;                    // the document's date serial 0
    unsigned char at(sal_Int32 r, sal_Int32 c) const {
        return flags[size_t(r) * size_t(area.EndColumn - area.StartColumn + 1) + size_t(c)];
    }
};

unsigned char formatFlags(sal_Int16 type) {
    if (type & (css::util::NumberFormat::DATE | css::util::NumberFormat::TIME))
        return DateFormat;
    if (type & css::util::NumberFormat::LOGICAL)
        return FlagFormat;
    if (type & css::util::NumberFormat::PERCENT)
        return PercentFormat;
    return 0;
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

// A number as the spreadsheet's Value gives it: a date-time under a date or
// time format (to the second), a flag under a boolean one.
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

// A constant under a date, flag or percentage format as the formula bar
// shows it; the API gives its bare number ("45351" for 2024/02/29).
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

// Contents of the cells of `area` that have one; with `only`, of those whose
// content it matches. A sheet holds many more cells than matches, and a
// constant's content is matched in the office's own string, copied only when
// it matches. With `doc`, constants under a date, flag or percentage format
// read as typed (typedText).
std::vector<CellText> readFormulas(const SheetRef& sheet, const Address& area,
                                   const matcher::Pattern* only = nullptr, const DocRef& doc = {}) {
    std::vector<CellText> out;
    const auto range = rangeAt(sheet, area);
    Reference<css::sheet::XCellRangeFormula> f(range, UNO_QUERY_THROW);
    const auto rows = f->getFormulaArray();
    // Only numbers can read otherwise: a sheet of texts and formulas costs
    // no question about its formats.
    bool numbers = false;
    for (sal_Int32 r = 0; r < rows.getLength() && !numbers && doc.is(); ++r)
        for (const rtl::OUString& input : rows[r])
            if (!input.isEmpty() &&
                ((input[0] >= '0' && input[0] <= '9') || input[0] == '-' || input[0] == '.')) {
                numbers = true;
                break;
            }
    const std::optional<FormatMap> typed = numbers ? typedFormats(doc, range, area) : std::nullopt;
    for (sal_Int32 r = 0; r < rows.getLength(); ++r) {
        const auto& row = rows[r];
        for (sal_Int32 c = 0; c < row.getLength(); ++c) {
            const rtl::OUString& input = row[c];
            if (input.isEmpty())
                continue;
            const CellPosition pos{area.StartRow + r + 1, area.StartColumn + c + 1};
            if (typed) {
                const unsigned char flags = typed->at(r, c);
                if (auto text = typedText(input, flags, typed->dayZero)) {
                    if (!only || only->matches(*text))
                        out.push_back({pos, std::move(*text), {}, false, flags});
                    continue;
                }
            }
            const bool formula = input.startsWith("=");
            if (only && !formula) {
                const sal_Int32 skip = input.startsWith("'") ? 1 : 0;
                if (!only->matches(QStringView(input.getStr() + skip, input.getLength() - skip)))
                    continue;
            }
            bool marked = false;
            QString text = contentFromApi(input, &marked);
            if (only && formula && !only->matches(text))
                continue;
            out.push_back({pos, std::move(text), {}, marked});
        }
    }
    return out;
}

// Displayed texts. Text cells and text results come in one bulk read; numbers
// are formatted here when their format is General (checked once against the
// office) and asked for one by one otherwise.
std::vector<CellText> readDisplayed(const DocRef& doc, const SheetRef& sheet, const Address& area) {
    std::vector<CellText> out;
    auto range = rangeAt(sheet, area);
    Reference<css::sheet::XCellRangeData> data(range, UNO_QUERY_THROW);
    const auto rows = data->getDataArray();
    struct Number {
        sal_Int32 r, c;
        double v;
    };
    std::vector<Number> numbers;
    for (sal_Int32 r = 0; r < rows.getLength(); ++r) {
        const auto& row = rows[r];
        for (sal_Int32 c = 0; c < row.getLength(); ++c) {
            const Any& a = row[c];
            double v;
            rtl::OUString s;
            if (a >>= s) {
                if (!s.isEmpty()) {
                    const QString text = toQt(s);
                    out.push_back({{area.StartRow + r + 1, area.StartColumn + c + 1}, text, text});
                }
            } else if (a >>= v) {
                numbers.push_back({r, c, v});
            }
        }
    }
    if (numbers.empty())
        return out;

    const FormatMap formats = formatMap(doc, range, area);
    const auto isGeneral = [&](const Number& n) {
        return (formats.at(n.r, n.c) & GeneralFormat) != 0;
    };

    // The decimal separator follows the document's locale: compare one
    // fractional number with the office's own text before trusting ours.
    sal_Unicode decimal = '.';
    bool localOk = true;
    for (const auto& n : numbers) {
        if (!isGeneral(n) || n.v == std::floor(n.v))
            continue;
        auto mine = generalText(n.v, decimal);
        if (!mine)
            continue;
        const QString theirs = remoteString(range, n.c, n.r);
        if (theirs != *mine) {
            decimal = ',';
            localOk = generalText(n.v, decimal) == theirs;
        }
        break;
    }
    for (const auto& n : numbers) {
        const CellPosition pos{area.StartRow + n.r + 1, area.StartColumn + n.c + 1};
        std::optional<QString> text;
        if (localOk && isGeneral(n))
            text = generalText(n.v, decimal);
        if (!text)
            text = remoteString(range, n.c, n.r);
        if (!text->isEmpty())
            out.push_back({pos, *text, typedNumber(n.v, formats.at(n.r, n.c), formats.dayZero)});
    }
    return out;
}

std::vector<CellText> readComments(const SheetRef& sheet, const Address& area) {
    std::vector<CellText> out;
    Reference<css::sheet::XSheetAnnotationsSupplier> supplier(sheet, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> notes(must(supplier->getAnnotations()),
                                                  UNO_QUERY_THROW);
    for (sal_Int32 i = 0, n = notes->getCount(); i < n; ++i) {
        Reference<css::sheet::XSheetAnnotation> note(notes->getByIndex(i), UNO_QUERY_THROW);
        const auto p = note->getPosition();
        if (p.Column < area.StartColumn || p.Column > area.EndColumn || p.Row < area.StartRow ||
            p.Row > area.EndRow)
            continue;
        Reference<css::text::XSimpleText> text(note, UNO_QUERY_THROW);
        QString s = toQt(text->getString());
        if (!s.isEmpty())
            out.push_back({{p.Row + 1, p.Column + 1}, s, {}});
    }
    return out;
}

struct Match {
    CellPosition pos;
    QVariant value;
    CellContent content; // when found by its formula
};

// The boxes a set of cells is read in, one bulk read each: one box per band
// of rows, so that cells far apart (a batch that wraps from the end of the
// sheet to its start) are read as two small boxes rather than as one box of
// everything between them.
class Boxes {
public:
    // Empty when there are no cells or the boxes hold too many cells to be
    // worth reading.
    Boxes(const std::vector<CellPosition>& cells, sal_Int16 sheetIndex) {
        constexpr long long MaxCells = 1000000;
        constexpr sal_Int32 RowGap = 32; // rows between bands worth a read of their own
        constexpr size_t MaxBoxes = 8;
        if (cells.empty())
            return;
        std::vector<sal_Int32> rows;
        rows.reserve(cells.size());
        for (const auto& p : cells)
            rows.push_back(p.row - 1);
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        // Cut at the widest gaps between used rows.
        std::vector<std::pair<sal_Int32, size_t>> gaps; // (width, last row index before it)
        for (size_t i = 0; i + 1 < rows.size(); ++i)
            if (rows[i + 1] - rows[i] > RowGap)
                gaps.push_back({rows[i + 1] - rows[i], i});
        std::sort(gaps.begin(), gaps.end(), std::greater<>());
        gaps.resize(std::min(gaps.size(), MaxBoxes - 1));
        std::vector<size_t> cuts;
        for (const auto& g : gaps)
            cuts.push_back(g.second);
        std::sort(cuts.begin(), cuts.end());
        size_t first = 0;
        cuts.push_back(rows.size() - 1);
        for (size_t last : cuts) {
            Address box;
            box.Sheet = sheetIndex;
            box.StartRow = rows[first];
            box.EndRow = rows[last];
            box.StartColumn = SAL_MAX_INT32;
            box.EndColumn = 0;
            m_boxes.push_back(box);
            first = last + 1;
        }
        for (const auto& p : cells) {
            Address& box = m_boxes[size_t(indexOf(p))];
            box.StartColumn = std::min(box.StartColumn, p.column - 1);
            box.EndColumn = std::max(box.EndColumn, p.column - 1);
        }
        long long total = 0;
        for (const auto& b : m_boxes)
            total += (long long)(b.EndRow - b.StartRow + 1) * (b.EndColumn - b.StartColumn + 1);
        if (total > MaxCells)
            m_boxes.clear();
    }
    bool empty() const { return m_boxes.empty(); }
    const std::vector<Address>& all() const { return m_boxes; }
    // The box `p` is in (the cells given were all placed in one).
    int indexOf(CellPosition p) const {
        const auto after =
            std::upper_bound(m_boxes.begin(), m_boxes.end(), p.row - 1,
                             [](sal_Int32 row, const Address& box) { return row < box.StartRow; });
        return int(after - m_boxes.begin()) - 1;
    }

private:
    std::vector<Address> m_boxes; // by rows, not overlapping
};

// Values of matches found by their formula or note text, in one bulk read of
// each box around them unless those hold too many cells to be worth reading.
void readValues(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
                std::vector<Match>& hits) {
    std::vector<CellPosition> cells;
    cells.reserve(hits.size());
    for (const auto& h : hits)
        cells.push_back(h.pos);
    const Boxes boxes(cells, sheetIndex);
    std::vector<std::vector<Match*>> inBox(boxes.all().size());
    if (!boxes.empty())
        for (auto& h : hits)
            inBox[size_t(boxes.indexOf(h.pos))].push_back(&h);
    for (size_t b = 0; b < boxes.all().size(); ++b) {
        const Address& box = boxes.all()[b];
        auto range = rangeAt(sheet, box);
        Reference<css::sheet::XCellRangeData> data(range, UNO_QUERY_THROW);
        const auto rows = data->getDataArray();
        std::optional<FormatMap> formats;
        for (Match* hit : inBox[b]) {
            Match& h = *hit;
            const sal_Int32 r = h.pos.row - 1 - box.StartRow;
            const sal_Int32 c = h.pos.column - 1 - box.StartColumn;
            if (r >= rows.getLength() || c >= rows[r].getLength())
                continue;
            h.value = bulkValue(rows[r][c]);
            if (h.value.typeId() == QMetaType::Double) {
                if (!formats)
                    formats = formatMap(doc, range, box);
                h.value = typedNumber(h.value.toDouble(), formats->at(r, c), formats->dayZero);
            }
        }
    }
}

// Values of matches found by their formula text in `area`. A text's value is
// the text the formula read already gave; the office tells in one query which
// cells hold numbers, dates or formulas, and only those are read.
void readValuesByType(const DocRef& doc, const SheetRef& sheet, const Address& area,
                      std::vector<Match>& hits) {
    if (hits.empty())
        return;
    Reference<css::sheet::XCellRangesQuery> query(rangeAt(sheet, area), UNO_QUERY_THROW);
    const Reference<css::sheet::XSheetCellRanges> others =
        query->queryContentCells(css::sheet::CellFlags::VALUE | css::sheet::CellFlags::DATETIME |
                                 css::sheet::CellFlags::FORMULA);
    std::vector<size_t> order(hits.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const matcher::OrderLess byRows{host::SearchOrder::ByRows};
    std::sort(order.begin(), order.end(),
              [&](size_t x, size_t y) { return byRows(hits[x].pos, hits[y].pos); });
    std::vector<bool> typed(hits.size(), false);
    if (others.is()) {
        for (const auto& r : others->getRangeAddresses()) {
            auto it = std::lower_bound(
                order.begin(), order.end(), CellPosition{r.StartRow + 1, r.StartColumn + 1},
                [&](size_t i, CellPosition p) { return byRows(hits[i].pos, p); });
            for (; it != order.end() && hits[*it].pos.row <= r.EndRow + 1; ++it) {
                const sal_Int32 column = hits[*it].pos.column - 1;
                if (column >= r.StartColumn && column <= r.EndColumn)
                    typed[*it] = true;
            }
        }
    }
    std::vector<Match> read;
    for (size_t i = 0; i < hits.size(); ++i) {
        if (typed[i])
            read.push_back({hits[i].pos, {}, {}});
        else if (!hits[i].content.text.isEmpty())
            hits[i].value = hits[i].content.text;
    }
    readValues(doc, sheet, area.Sheet, read);
    size_t k = 0;
    for (size_t i = 0; i < hits.size(); ++i)
        if (typed[i])
            hits[i].value = std::move(read[k++].value);
}

std::vector<Match> matchingCells(const DocRef& doc, const SheetRef& sheet, const Address& limit,
                                 const matcher::FindSettings& settings) {
    std::vector<Match> hits;
    const matcher::Pattern pattern = settings.pattern();
    if (pattern.isEmpty())
        return hits;
    std::vector<CellText> cells;
    std::optional<Address> area;
    if (settings.lookIn == host::LookIn::Comments) {
        // Notes may sit on empty cells, outside the used area.
        cells = readComments(sheet, limit);
    } else {
        area = usedPart(sheet, limit);
        if (!area)
            return hits;
        cells = settings.lookIn == host::LookIn::Values ? readDisplayed(doc, sheet, *area)
                                                        : readFormulas(sheet, *area, &pattern, doc);
    }
    const bool byFormula = settings.lookIn == host::LookIn::Formulas;
    for (auto& c : cells)
        if (byFormula || pattern.matches(c.text))
            hits.push_back(
                {c.pos, std::move(c.value),
                 byFormula ? CellContent{std::move(c.text), c.marked, c.typed} : CellContent{}});
    if (byFormula)
        readValuesByType(doc, sheet, *area, hits);
    else if (settings.lookIn == host::LookIn::Comments)
        readValues(doc, sheet, limit.Sheet, hits);
    return hits;
}

// A cell's value as Range::value() gives it, read on its own.
QVariant oneValue(const DocRef& doc, const SheetRef& sheet, CellPosition p) {
    // One bulk read of a one-cell range: number or text in a single call.
    Address one;
    one.Sheet = addressOf(sheet).Sheet;
    one.StartColumn = one.EndColumn = p.column - 1;
    one.StartRow = one.EndRow = p.row - 1;
    auto range = must(rangeAt(sheet, one));
    Reference<css::sheet::XCellRangeData> data(range, UNO_QUERY_THROW);
    const auto rows = data->getDataArray();
    if (rows.getLength() == 1 && rows[0].getLength() == 1) {
        QVariant v = bulkValue(rows[0][0]);
        if (v.typeId() == QMetaType::Double) {
            const FormatMap formats = formatMap(doc, range, one);
            return typedNumber(v.toDouble(), formats.at(0, 0), formats.dayZero);
        }
        if (v.isValid())
            return v;
    }
    // Empty, or something the bulk read does not carry (an error).
    auto cell = must(sheet->getCellByPosition(p.column - 1, p.row - 1));
    if (cell->getType() == css::table::CellContentType_EMPTY)
        return {};
    Reference<css::text::XText> text(cell, UNO_QUERY_THROW);
    return toQt(text->getString());
}

// Values of `cells` as value() gives them: one bulk read of the box around
// them, then one call for each cell that read does not carry.
void readValuesOf(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
                  std::vector<Match>& cells) {
    readValues(doc, sheet, sheetIndex, cells);
    for (auto& c : cells)
        if (!c.value.isValid())
            c.value = oneValue(doc, sheet, c.pos);
}

} // namespace

namespace {
sal_Int32 formatKey(const DocRef& doc, const char* code) {
    Reference<css::util::XNumberFormatsSupplier> nfs(doc, UNO_QUERY_THROW);
    auto formats = must(nfs->getNumberFormats());
    css::lang::Locale locale;
    locale.Language = "en";
    locale.Country = "US";
    const rtl::OUString formatCode = rtl::OUString::createFromAscii(code);
    const sal_Int32 key = formats->queryKey(formatCode, locale, false);
    return key >= 0 ? key : formats->addNew(formatCode, locale);
}

void setFormat(const Reference<css::table::XCell>& cell, sal_Int32 key) {
    Reference<css::beans::XPropertySet>(cell, UNO_QUERY_THROW)
        ->setPropertyValue("NumberFormat", Any(key));
}
} // namespace

void uno_helpers::setFlagFormat(const DocRef& doc, const Reference<css::table::XCell>& cell) {
    setFormat(cell, formatKey(doc, "BOOLEAN"));
}

bool uno_helpers::writeTypedValue(const DocRef& doc, const Reference<css::table::XCell>& cell,
                                  const QVariant& value) {
    const int type = value.typeId();
    if (type == QMetaType::Bool) {
        // Text "TRUE" entered through the API stays a bare 1 to the office.
        cell->setValue(value.toBool() ? 1 : 0);
        setFlagFormat(doc, cell);
        return true;
    }
    if (type != QMetaType::QDateTime && type != QMetaType::QDate && type != QMetaType::QTime)
        return false;
    const QDate date = type == QMetaType::QTime ? host::serialDayZero() : value.toDate();
    const QTime time = type == QMetaType::QDate ? QTime(0, 0) : value.toTime();
    Reference<css::util::XNumberFormatsSupplier> nfs(doc, UNO_QUERY_THROW);
    css::util::Date nullDate(30, 12, 1899);
    must(nfs->getNumberFormatSettings())->getPropertyValue("NullDate") >>= nullDate;
    const QDate dayZero(nullDate.Year, nullDate.Month, nullDate.Day);
    const double serial = double(dayZero.daysTo(date)) + double(QTime(0, 0).secsTo(time)) / 86400.0;
    // The same three shapes valueText gives, so both agree on what shows.
    const char* code = "YYYY/MM/DD HH:MM:SS";
    if (date == host::serialDayZero())
        code = "HH:MM:SS";
    else if (time == QTime(0, 0))
        code = "YYYY/MM/DD";
    cell->setValue(serial);
    setFormat(cell, formatKey(doc, code));
    return true;
}

QVariant CalcRange::value() const {
    // A match of the last search answers from the sheet read that found it
    // while no watched document has changed since. The office calls its
    // modify listeners from inside every change and waits for them, so a
    // change that is done has been counted by then: no round trip is needed
    // to trust an unmoved count. A closed book counts as a change too.
    if (const auto known = m_cache->valueOf(m_foundIn, {row(), column()}))
        return *known;
    return m_s->run([doc = m_doc->get(), sheet = m_sheet->get(), a = m_addr] {
        return oneValue(doc, sheet, {a.StartRow + 1, a.StartColumn + 1});
    });
}

QString CalcRange::address(bool rowAbsolute, bool columnAbsolute) const {
    return a1::rangeText(
        {m_addr.StartRow + 1, m_addr.StartColumn + 1, m_addr.EndRow + 1, m_addr.EndColumn + 1},
        rowAbsolute, columnAbsolute);
}

void CalcRange::activate() {
    select();
}

void CalcRange::select() {
    m_s->run([doc = m_doc->get(), sheet = m_sheet->get(), a = m_addr] {
        requireOpen(doc);
        Reference<css::view::XSelectionSupplier> selection(controllerOf(doc), UNO_QUERY_THROW);
        if (!selection->select(Any(rangeAt(sheet, a))))
            throw HostError(QStringLiteral("LibreOffice refused to select the cell"));
    });
}

host::RangePtr CalcRange::find(const host::FindOptions& options) {
    m_cache->rememberFind(matcher::FindSettings::fromFind(options));
    return search(*m_cache->lastFind(), options.after);
}

host::RangePtr CalcRange::findNext(const host::RangePtr& after) {
    if (!m_cache->lastFind())
        return nullptr;
    return search(*m_cache->lastFind(), after);
}

const SearchCache::Matches& CalcRange::matches(const matcher::FindSettings& settings) {
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    const auto look = m_cache->lookUp(doc, sheet, m_addr, settings);
    if (look.kept)
        return *look.kept;
    auto hits = m_s->run(
        [doc, sheet, a = m_addr, settings] { return matchingCells(doc, sheet, a, settings); });
    const matcher::OrderLess less{settings.searchOrder};
    std::sort(hits.begin(), hits.end(),
              [less](const Match& x, const Match& y) { return less(x.pos, y.pos); });
    const bool byFormula = settings.lookIn == host::LookIn::Formulas;
    std::vector<CellPosition> sorted;
    std::vector<QVariant> values;
    std::vector<CellContent> contents;
    sorted.reserve(hits.size());
    values.reserve(hits.size());
    contents.reserve(byFormula ? hits.size() : 0);
    for (auto& h : hits) {
        sorted.push_back(h.pos);
        values.push_back(std::move(h.value));
        if (byFormula)
            contents.push_back(std::move(h.content));
    }
    return m_cache->fill(sheet, m_addr, settings, look.generation, std::move(sorted),
                         std::move(values), std::move(contents));
}

host::RangePtr CalcRange::search(const matcher::FindSettings& settings,
                                 const host::RangePtr& after) {
    const SearchCache::Matches& cache = matches(settings);
    // Without After the search starts after the range's first cell, which is
    // then searched last.
    const CellPosition from = after ? CellPosition{after->row(), after->column()}
                                    : CellPosition{m_addr.StartRow + 1, m_addr.StartColumn + 1};
    auto next = matcher::nextMatchSorted(cache.sorted, from, settings.searchOrder,
                                         settings.searchDirection);
    if (!next)
        return nullptr;
    Address cell = m_addr;
    cell.StartRow = cell.EndRow = next->row - 1;
    cell.StartColumn = cell.EndColumn = next->column - 1;
    return std::make_shared<CalcRange>(m_s, m_cache, m_doc->get(), m_sheet->get(), cell, cache.id);
}

// ---------------------------------------------------------------------------
// Bulk find and replace, and what Korvex's own writes do to the kept matches.

namespace {

// Contents of `cells` as readFormulas gives them: one read of each box
// around them, or one call per cell when those are too large.
std::vector<CellContent> contentsOf(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
                                    const std::vector<CellPosition>& cells) {
    std::vector<CellContent> out(cells.size());
    const auto content = [](const rtl::OUString& input, const std::optional<FormatMap>& typed,
                            sal_Int32 r, sal_Int32 c) {
        CellContent k;
        if (typed) {
            const unsigned char flags = typed->at(r, c);
            if (auto text = typedText(input, flags, typed->dayZero))
                return CellContent{std::move(*text), false, flags};
        }
        k.text = contentFromApi(input, &k.marked);
        return k;
    };
    if (const Boxes boxes(cells, sheetIndex); !boxes.empty()) {
        std::vector<Sequence<Sequence<rtl::OUString>>> read;
        std::vector<std::optional<FormatMap>> typed;
        for (const Address& box : boxes.all()) {
            const auto range = rangeAt(sheet, box);
            read.push_back(Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)
                               ->getFormulaArray());
            typed.push_back(typedFormats(doc, range, box));
        }
        for (size_t i = 0; i < cells.size(); ++i) {
            const int b = boxes.indexOf(cells[i]);
            const auto& rows = read[size_t(b)];
            const sal_Int32 r = cells[i].row - 1 - boxes.all()[size_t(b)].StartRow;
            const sal_Int32 c = cells[i].column - 1 - boxes.all()[size_t(b)].StartColumn;
            if (r < rows.getLength() && c < rows[r].getLength())
                out[i] = content(rows[r][c], typed[size_t(b)], r, c);
        }
        return out;
    }
    for (size_t i = 0; i < cells.size(); ++i) {
        Address one;
        one.Sheet = sheetIndex;
        one.StartColumn = one.EndColumn = cells[i].column - 1;
        one.StartRow = one.EndRow = cells[i].row - 1;
        const auto range = rangeAt(sheet, one);
        out[i] =
            content(must(sheet->getCellByPosition(one.StartColumn, one.StartRow))->getFormula(),
                    typedFormats(doc, range, one), 0, 0);
    }
    return out;
}

std::vector<QVariant> valuesOf(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
                               const std::vector<CellPosition>& cells) {
    std::vector<Match> read;
    read.reserve(cells.size());
    for (const auto& p : cells)
        read.push_back({p, {}, {}});
    readValuesOf(doc, sheet, sheetIndex, read);
    std::vector<QVariant> out;
    out.reserve(read.size());
    for (auto& m : read)
        out.push_back(std::move(m.value));
    return out;
}

// Reads back what the writes left in `cells`, and whether formulas on the
// sheet depend on them. Runs on the worker, right after the writes.
// The cells as one set of ranges of the office's.
Reference<css::sheet::XSheetCellRangeContainer> cellSet(const DocRef& doc, sal_Int16 sheetIndex,
                                                        const std::vector<CellPosition>& cells) {
    Reference<css::lang::XMultiServiceFactory> factory(doc, UNO_QUERY_THROW);
    Reference<css::sheet::XSheetCellRangeContainer> ranges(
        factory->createInstance("com.sun.star.sheet.SheetCellRanges"), UNO_QUERY_THROW);
    Sequence<Address> addresses(sal_Int32(cells.size()));
    auto* a = addresses.getArray();
    for (size_t i = 0; i < cells.size(); ++i) {
        a[i].Sheet = sheetIndex;
        a[i].StartRow = a[i].EndRow = cells[i].row - 1;
        a[i].StartColumn = a[i].EndColumn = cells[i].column - 1;
    }
    ranges->addRangeAddresses(addresses, false);
    return ranges;
}

// A bulk replace has just read the contents and built the set of the cells
// for its own check; each is a round trip to the office, and these answer
// without one.
struct KnownAfterWrite {
    std::optional<std::vector<CellContent>> contents;
    std::optional<std::vector<QVariant>> values;
    Reference<css::sheet::XSheetCellRangeContainer> ranges;
};

void readBack(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
              const std::vector<CellPosition>& cells, bool wantDisplayed, OwnWrites& out,
              const KnownAfterWrite& known = {}) {
    if (cells.empty())
        return;
    const auto contents =
        known.contents ? *known.contents : contentsOf(doc, sheet, sheetIndex, cells);
    const auto values = known.values ? *known.values : valuesOf(doc, sheet, sheetIndex, cells);
    // Displayed texts as a values search reads them: each box around the
    // cells in one go, or cell by cell when they are too large.
    std::map<std::uint64_t, QString> displayed;
    const Boxes boxes = wantDisplayed ? Boxes(cells, sheetIndex) : Boxes({}, sheetIndex);
    const bool box = !boxes.empty();
    for (const Address& b : boxes.all())
        for (auto& c : readDisplayed(doc, sheet, b))
            displayed.emplace(matcher::orderKey(c.pos, host::SearchOrder::ByRows),
                              std::move(c.text));
    for (size_t i = 0; i < cells.size(); ++i) {
        OwnWrite w{cells[i], contents[i], values[i], {}};
        if (box) {
            const auto it = displayed.find(matcher::orderKey(cells[i], host::SearchOrder::ByRows));
            if (it != displayed.end())
                w.displayed = it->second;
        } else if (wantDisplayed) {
            w.displayed =
                toQt(Reference<css::text::XText>(
                         must(sheet->getCellByPosition(cells[i].column - 1, cells[i].row - 1)),
                         UNO_QUERY_THROW)
                         ->getString());
        }
        out.cells.push_back(std::move(w));
    }
    // Dependents on this sheet come back together with the cells themselves.
    Reference<css::sheet::XSheetCellRangeContainer> ranges = known.ranges;
    if (!ranges.is())
        ranges = cellSet(doc, sheetIndex, cells);
    Reference<css::sheet::XFormulaQuery> query(ranges, UNO_QUERY_THROW);
    long long reached = 0;
    for (const auto& r : must(query->queryDependents(false))->getRangeAddresses())
        reached += (long long)(r.EndRow - r.StartRow + 1) * (r.EndColumn - r.StartColumn + 1);
    std::vector<CellPosition> distinct = cells;
    std::sort(distinct.begin(), distinct.end(), matcher::OrderLess{});
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    out.dependents = reached > (long long)distinct.size();
}

// Writes a value the way Range::setValue takes it into one cell.
void enterValue(const DocRef& doc, const Reference<css::table::XCell>& cell,
                const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        cell->setValue(value.toDouble());
        break;
    case QMetaType::Bool:
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime:
        writeTypedValue(doc, cell, value);
        break;
    default: {
        // Text is entered as typed: "=..." becomes a formula, "12" a number,
        // "" empties the cell.
        const QString s = value.isValid() ? value.toString() : QString();
        cell->setFormula(toUno(formulaToApi(s)));
    }
    }
}

struct BulkReplace {
    std::vector<host::CellReplacement> cells;
    OwnWrites writes;
};

// Replaces inside each listed cell on the worker, reading the cells before in
// one go and writing only those whose content changes.
// Cells to be written by a bulk replace, with what each must hold after.
struct PlannedWrite {
    size_t at; // index into the cells asked for
    QString text;
    bool marked;             // the cell was a text that read as a number
    unsigned char typed = 0; // the cell read as typed under such a format (CellContent)
};

// Writes what typing `text` makes into a cell whose content read as typed
// under a date, flag or percentage format: a date stays a date in its own
// format, a percentage a percentage; text is entered as text, and a plain
// number loses the format that would show it as something else. Returns the
// write calls made.
std::uint64_t enterTyped(const DocRef& doc, const Reference<css::table::XCell>& cell,
                         const QString& text, unsigned char formatWas) {
    bool percent = false;
    const QVariant v = host::typedValue(text, &percent);
    switch (v.typeId()) {
    case QMetaType::QString:
        if (v.toString().isEmpty())
            cell->setFormula(rtl::OUString());
        else
            Reference<css::text::XText>(cell, UNO_QUERY_THROW)->setString(toUno(v.toString()));
        return 1;
    case QMetaType::Bool:
        writeTypedValue(doc, cell, v);
        return 2;
    case QMetaType::QDateTime:
        if (formatWas & DateFormat) {
            cell->setValue(double(documentDayZero(doc).daysTo(v.toDate())) +
                           double(QTime(0, 0).secsTo(v.toTime())) / 86400.0);
            return 1;
        }
        writeTypedValue(doc, cell, v);
        return 2;
    default:
        cell->setValue(v.toDouble());
        if (percent && !(formatWas & PercentFormat))
            setFormat(cell, formatKey(doc, "0.00%"));
        else if (!percent && (formatWas & TypedFormats))
            setFormat(cell, formatKey(doc, "General"));
        else
            return 1;
        return 2;
    }
}

// Above this many cells, the office's own replace does the writing in one
// call, and each cell is then checked against what Korvex's rules make of it.
constexpr size_t FewCells = 2;

// Lets the office replace inside exactly the planned cells in one call, then
// writes one by one each cell whose result is not what Korvex's matcher made
// of it (the office folds case and width by rules of its own, and makes text
// of numbers it replaces in). Returns the write calls made; nullopt when the
// office would not take the call, and nothing was written.
std::optional<std::uint64_t>
replaceByOffice(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
                const std::vector<CellPosition>& cells, const std::vector<PlannedWrite>& planned,
                const host::ReplaceOptions& options, const SearchCache::Probe& probe,
                KnownAfterWrite& known) {
    std::vector<CellPosition> where;
    where.reserve(planned.size());
    for (const auto& p : planned)
        where.push_back(cells[p.at]);
    sal_Int32 replaced = 0;
    try {
        const auto ranges = cellSet(doc, sheetIndex, where);
        known.ranges = ranges;
        Reference<css::util::XReplaceable> replaceable(ranges, UNO_QUERY_THROW);
        auto descriptor = probe.replaceDescriptor(options);
        if (!descriptor.is()) {
            descriptor = must(replaceable->createReplaceDescriptor());
            descriptor->setSearchString(toUno(options.what));
            descriptor->setReplaceString(toUno(options.replacement));
            Reference<css::beans::XPropertySet> props(descriptor, UNO_QUERY_THROW);
            props->setPropertyValue("SearchWildcard", Any(true));
            props->setPropertyValue("SearchCaseSensitive", Any(options.matchCase));
            props->setPropertyValue("SearchWords", Any(options.lookAt == host::LookAt::Whole));
            props->setPropertyValue("SearchType", Any(sal_Int16(0))); // formulas
            probe.keepReplaceDescriptor(options, descriptor);
        }
        replaced = replaceable->replaceAll(
            Reference<css::util::XSearchDescriptor>(descriptor, UNO_QUERY_THROW));
    } catch (const css::uno::RuntimeException&) {
        throw;
    } catch (const css::uno::Exception&) {
        return std::nullopt;
    }
    std::uint64_t writeCalls = replaced > 0 ? 1 : 0;
    // The values come first: a revert and the kept matches need them anyway,
    // and a cell whose value is exactly the planned text holds that text (the
    // office enters what it replaces as if typed, so a text that reads as a
    // number would have become one). Only the other cells have their content
    // read: numbers, formulas, emptied cells, and those where the office
    // matched otherwise than Korvex does.
    auto values = valuesOf(doc, sheet, sheetIndex, where);
    std::vector<CellContent> now(planned.size());
    std::vector<size_t> unsure;
    for (size_t i = 0; i < planned.size(); ++i) {
        const auto& p = planned[i];
        const bool typedAsText = !p.text.isEmpty() && !p.text.startsWith(QLatin1Char('=')) &&
                                 !p.text.startsWith(QLatin1Char('\''));
        if (typedAsText && values[i].typeId() == QMetaType::QString &&
            values[i].toString() == p.text)
            now[i] = {p.text, p.marked};
        else
            unsure.push_back(i);
    }
    bool rewritten = false;
    if (!unsure.empty()) {
        std::vector<CellPosition> at;
        for (size_t i : unsure)
            at.push_back(where[i]);
        const auto read = contentsOf(doc, sheet, sheetIndex, at);
        for (size_t k = 0; k < unsure.size(); ++k) {
            const auto& p = planned[unsure[k]];
            now[unsure[k]] = read[k];
            // A cell that was not a marked text must not have become one.
            if (read[k].text == p.text && (p.marked || !read[k].marked))
                continue;
            must(sheet->getCellByPosition(at[k].column - 1, at[k].row - 1))
                ->setFormula(contentToApi(p.text, p.marked));
            ++writeCalls;
            rewritten = true;
        }
    }
    // What was read is what the cells hold unless one had to be written again.
    if (!rewritten) {
        known.contents = std::move(now);
        known.values = std::move(values);
    }
    return writeCalls;
}

// A cell's content with the kind of entry it is.
host::CellContent contentWithKind(const CellContent& c, const QVariant& value) {
    using Kind = host::CellContent::Kind;
    if (c.text.isEmpty())
        return {};
    if (!c.marked && c.text.startsWith(QLatin1Char('=')))
        return {Kind::Formula, c.text};
    if (c.typed & PercentFormat)
        return {Kind::Percent, c.text};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return {Kind::Flag, c.text};
    case QMetaType::QDateTime:
        return {Kind::DateTime, c.text};
    case QMetaType::Double:
        return {Kind::Number, c.text};
    default:
        return {Kind::Text, c.text};
    }
}

// Replaces inside each listed cell on the worker, writing only those whose
// content changes. What the cells hold before is taken from the kept matches
// when they still tell it (`before`), or else read in one go.
BulkReplace replaceInCells(const DocRef& doc, const SheetRef& sheet,
                           const std::vector<CellPosition>& cells,
                           const host::ReplaceOptions& options, SearchCache::Probe& probe,
                           const std::optional<SearchCache::Known>& before) {
    using Outcome = host::CellReplacement::Outcome;
    BulkReplace out;
    requireOpen(doc);
    requireWorksheet(sheet);
    probe.visit(doc, sheet);
    probe.stamp(out.writes);
    const matcher::Pattern pattern = matcher::Pattern::fromReplace(options);
    const sal_Int16 sheetIndex = addressOf(sheet).Sheet;
    const bool kept = before && probe.stillTrue(*before);
    const auto contents = kept ? before->contents : contentsOf(doc, sheet, sheetIndex, cells);
    std::vector<QVariant> values;
    if (kept) {
        values = before->values;
        std::vector<CellPosition> unread;
        for (size_t i = 0; i < cells.size(); ++i)
            if (!values[i].isValid())
                unread.push_back(cells[i]);
        if (!unread.empty()) {
            auto read = valuesOf(doc, sheet, sheetIndex, unread);
            size_t k = 0;
            for (auto& v : values)
                if (!v.isValid())
                    v = std::move(read[k++]);
        }
    } else {
        values = valuesOf(doc, sheet, sheetIndex, cells);
    }
    const bool isProtected =
        Reference<css::util::XProtectable>(sheet, UNO_QUERY_THROW)->isProtected();
    std::vector<PlannedWrite> planned;
    for (size_t i = 0; i < cells.size(); ++i) {
        host::CellReplacement r;
        r.cell = cells[i];
        r.address = a1::cellText(cells[i]);
        r.oldValueText = host::valueText(values[i]);
        r.oldContent = contentWithKind(contents[i], values[i]);
        const matcher::Replacement made =
            contents[i].text.isEmpty() || pattern.isEmpty()
                ? matcher::Replacement{}
                : pattern.replace(contents[i].text, options.replacement);
        if (made.occurrences == 0) {
            r.outcome = Outcome::NoMatch;
        } else if (!made.changed) {
            r.outcome = Outcome::Replaced;
            r.newContent = contents[i].text;
            r.newValueText = r.oldValueText;
        } else {
            css::util::CellProtection protection;
            if (isProtected)
                Reference<css::beans::XPropertySet>(
                    must(sheet->getCellByPosition(cells[i].column - 1, cells[i].row - 1)),
                    UNO_QUERY_THROW)
                    ->getPropertyValue("CellProtection") >>= protection;
            if (isProtected && protection.IsLocked) {
                r.outcome = Outcome::Refused;
            } else {
                r.outcome = Outcome::Replaced;
                planned.push_back({i, made.text, contents[i].marked, contents[i].typed});
            }
        }
        out.cells.push_back(std::move(r));
    }
    // Cells read as typed are written by value, one by one, after the rest:
    // the office's own replace would work inside their bare numbers.
    std::stable_partition(planned.begin(), planned.end(),
                          [](const PlannedWrite& p) { return p.typed == 0; });
    const auto firstTyped = std::find_if(planned.begin(), planned.end(),
                                         [](const PlannedWrite& p) { return p.typed != 0; });
    const std::vector<PlannedWrite> plain(planned.begin(), firstTyped);

    out.writes.before = probe.changes();
    std::optional<std::uint64_t> calls;
    KnownAfterWrite known;
    if (plain.size() > FewCells)
        calls = replaceByOffice(doc, sheet, sheetIndex, cells, plain, options, probe, known);
    if (!calls) {
        calls = 0;
        for (const auto& p : plain) {
            must(sheet->getCellByPosition(cells[p.at].column - 1, cells[p.at].row - 1))
                ->setFormula(contentToApi(p.text, p.marked));
            ++*calls;
        }
    }
    if (firstTyped != planned.end())
        known = {};
    for (auto p = firstTyped; p != planned.end(); ++p)
        *calls += enterTyped(
            doc, must(sheet->getCellByPosition(cells[p->at].column - 1, cells[p->at].row - 1)),
            p->text, p->typed);
    out.writes.writeCalls = *calls;
    out.writes.after = probe.changes();

    std::vector<CellPosition> written;
    written.reserve(planned.size());
    for (const auto& p : planned)
        written.push_back(cells[p.at]);
    readBack(doc, sheet, sheetIndex, written, probe.keptByValueHere(), out.writes, known);
    for (size_t k = 0; k < planned.size(); ++k) {
        auto& r = out.cells[planned[k].at];
        r.newContent = out.writes.cells[k].content.text;
        r.newValueText = host::valueText(out.writes.cells[k].value);
    }
    return out;
}

} // namespace

std::vector<host::FoundCell> CalcSheet::findAll(const host::FindOptions& options) {
    const auto settings = matcher::FindSettings::fromFind(options);
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    std::optional<CellPosition> after;
    SheetRef afterSheet;
    if (options.after) {
        const auto* cell = dynamic_cast<const CalcRange*>(options.after.get());
        if (!cell)
            throw HostError(QStringLiteral("After is not a cell of this sheet"));
        afterSheet = cell->sheet();
        after = CellPosition{cell->row(), cell->column()};
    }
    // Which sheet After is on is a question for the office.
    const auto address = m_s->run([doc, sheet, afterSheet] {
        requireOpen(doc);
        requireWorksheet(sheet);
        if (afterSheet.is() && afterSheet != sheet)
            throw HostError(QStringLiteral("After is not a cell of this sheet"));
        return addressOf(sheet);
    });
    const auto whole = std::make_shared<CalcRange>(m_s, m_cache, doc, sheet, address);
    const SearchCache::Matches& cache = whole->matches(settings);
    const auto order =
        matcher::findOrder(cache.sorted, after, settings.searchOrder, settings.searchDirection);
    const matcher::OrderLess less{settings.searchOrder};
    std::vector<host::FoundCell> found;
    found.reserve(order.size());
    std::vector<CellPosition> unknown;
    std::vector<size_t> unknownAt;
    for (const auto& p : order) {
        const size_t at =
            size_t(std::lower_bound(cache.sorted.begin(), cache.sorted.end(), p, less) -
                   cache.sorted.begin());
        const QVariant& v = cache.values[at];
        if (!v.isValid()) {
            unknown.push_back(p);
            unknownAt.push_back(found.size());
        }
        found.push_back({p, a1::cellText(p), host::valueText(v)});
    }
    if (!unknown.empty()) {
        // Cells the read that found them gave no value for (errors, empty
        // cells with a note, values gone since Korvex wrote the sheet).
        const auto values = m_s->run([doc, sheet, sheetIndex = address.Sheet, unknown] {
            return valuesOf(doc, sheet, sheetIndex, unknown);
        });
        for (size_t k = 0; k < unknown.size(); ++k)
            found[unknownAt[k]].valueText = host::valueText(values[k]);
    }
    return found;
}

std::vector<host::CellReplacement>
CalcSheet::replaceCells(const host::ReplaceOptions& options,
                        const std::vector<host::CellPosition>& cells) {
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    auto done = m_s->run([doc, sheet, cells, options, probe = m_cache->probe(),
                          known = m_cache->known(cells)]() mutable {
        return replaceInCells(doc, sheet, cells, options, probe, known);
    });
    m_cache->noteOwnWrites(done.writes);
    return std::move(done.cells);
}

void CalcRange::setValue(const QVariant& value) {
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    const bool oneCell = m_addr.StartRow == m_addr.EndRow && m_addr.StartColumn == m_addr.EndColumn;
    const auto writes =
        m_s->run([doc, sheet, a = m_addr, value, oneCell, probe = m_cache->probe()]() mutable {
            requireOpen(doc);
            OwnWrites w;
            if (oneCell) {
                probe.visit(doc, sheet);
                probe.stamp(w);
            }
            w.before = probe.changes();
            auto range = rangeAt(sheet, a);
            for (sal_Int32 r = 0; r <= a.EndRow - a.StartRow; ++r)
                for (sal_Int32 c = 0; c <= a.EndColumn - a.StartColumn; ++c) {
                    requireEditable(sheet, a.StartColumn + c, a.StartRow + r);
                    enterValue(doc, range->getCellByPosition(c, r), value);
                    ++w.writeCalls;
                }
            w.after = probe.changes();
            if (oneCell)
                readBack(doc, sheet, a.Sheet, {{a.StartRow + 1, a.StartColumn + 1}},
                         probe.keptByValueHere(), w);
            return w;
        });
    if (oneCell)
        m_cache->noteOwnWrites(writes);
}

host::CheckedWrite CalcRange::setValueIf(const QStringList& expected, int compareChars,
                                         const QVariant& value) {
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    struct Done {
        host::CheckedWrite outcome = host::CheckedWrite::Changed;
        OwnWrites writes;
    };
    // Read, compare and write on the worker in one go: the office runs
    // nothing else of Korvex's in between.
    const auto done = m_s->run([doc, sheet, a = m_addr, expected, compareChars, value,
                                probe = m_cache->probe()]() mutable {
        requireOpen(doc);
        Done d;
        const CellPosition at{a.StartRow + 1, a.StartColumn + 1};
        if (!host::valueTextIsOneOf(host::valueText(oneValue(doc, sheet, at)), expected,
                                    compareChars))
            return d;
        try {
            requireEditable(sheet, a.StartColumn, a.StartRow);
        } catch (const HostError&) {
            d.outcome = host::CheckedWrite::Refused;
            return d;
        }
        probe.visit(doc, sheet);
        probe.stamp(d.writes);
        d.writes.before = probe.changes();
        enterValue(doc, must(sheet->getCellByPosition(a.StartColumn, a.StartRow)), value);
        ++d.writes.writeCalls;
        d.writes.after = probe.changes();
        readBack(doc, sheet, a.Sheet, {at}, probe.keptByValueHere(), d.writes);
        d.outcome = host::CheckedWrite::Written;
        return d;
    });
    if (done.outcome == host::CheckedWrite::Written)
        m_cache->noteOwnWrites(done.writes);
    return done.outcome;
}

bool CalcRange::replace(const host::ReplaceOptions& options) {
    const matcher::Pattern pattern = matcher::Pattern::fromReplace(options);
    if (pattern.isEmpty())
        return false;
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    if (m_addr.StartRow == m_addr.EndRow && m_addr.StartColumn == m_addr.EndColumn) {
        // The engines' one cell: written like a bulk replace of one, so that
        // what Korvex knows of the sheet survives the write.
        auto done = m_s->run([doc, sheet, cell = CellPosition{row(), column()}, options,
                              probe = m_cache->probe()]() mutable {
            return replaceInCells(doc, sheet, {cell}, options, probe, std::nullopt);
        });
        m_cache->noteOwnWrites(done.writes);
        const auto outcome = done.cells.front().outcome;
        if (outcome == host::CellReplacement::Outcome::Refused)
            throw HostError(QStringLiteral("The cell is on a protected sheet"));
        return outcome == host::CellReplacement::Outcome::Replaced;
    }
    return m_s->run([doc, sheet, a = m_addr, pattern, replacement = options.replacement] {
        requireOpen(doc);
        auto area = usedPart(sheet, a);
        if (!area)
            return false;
        bool any = false;
        auto range = rangeAt(sheet, *area);
        for (const auto& c : readFormulas(sheet, *area)) {
            const auto r = pattern.replace(c.text, replacement);
            any = any || r.occurrences > 0;
            if (!r.changed)
                continue;
            requireEditable(sheet, c.pos.column - 1, c.pos.row - 1);
            range
                ->getCellByPosition(c.pos.column - 1 - area->StartColumn,
                                    c.pos.row - 1 - area->StartRow)
                ->setFormula(toUno(formulaToApi(r.text)));
        }
        return any;
    });
}

} // namespace korvex::calc
