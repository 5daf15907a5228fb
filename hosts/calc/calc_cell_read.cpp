// Reading a sheet's cells in bulk: one read of an area or of a few boxes
// around the cells wanted, never a round trip per cell where it can be helped.

#include "calc_cell_io.h"

#include "uno_text.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetAnnotation.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XSimpleText.hpp>
#include <com/sun/star/text/XText.hpp>

#include <algorithm>
#include <cmath>

namespace korvex::calc::cell_io {

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

QString contentFromApi(const rtl::OUString& input, bool* marked) {
    const bool text = input.startsWith("'");
    if (marked)
        *marked = text;
    return text ? toQt(input.copy(1)) : formulaFromApi(toQt(input));
}

rtl::OUString contentToApi(const QString& content, bool marked) {
    if (marked && !content.isEmpty())
        return toUno(QLatin1Char('\'') + content);
    return toUno(formulaToApi(content));
}

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

namespace {

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

QString remoteString(const Reference<css::table::XCellRange>& range, sal_Int32 col, sal_Int32 row) {
    Reference<css::text::XText> t(range->getCellByPosition(col, row), UNO_QUERY_THROW);
    return toQt(t->getString());
}

} // namespace

// Contents of the cells of `area` that have one; with `only`, of those whose
// content it matches. A sheet holds many more cells than matches, and a
// constant's content is matched in the office's own string, copied only when
// it matches. With `doc`, constants under a date, flag or percentage format
// read as typed (typedText).
std::vector<CellText> readFormulas(const SheetRef& sheet, const Address& area,
                                   const matcher::Pattern* only, const DocRef& doc) {
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

namespace {

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

} // namespace

Boxes::Boxes(const std::vector<CellPosition>& cells, sal_Int16 sheetIndex) {
    constexpr long long MaxCells = 1000000;
    constexpr sal_Int32 RowGap = 32; // rows between bands worth a read of their own
    constexpr size_t MaxBands = 8;
    // A read of its own costs the office about as much as this many more
    // cells in a read: columns further apart than that are read apart.
    constexpr long long CellsPerRead = 512;
    constexpr size_t MaxStrips = 32; // per band; past that, one box
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
    gaps.resize(std::min(gaps.size(), MaxBands - 1));
    std::vector<size_t> cuts;
    for (const auto& g : gaps)
        cuts.push_back(g.second);
    std::sort(cuts.begin(), cuts.end());
    size_t first = 0;
    cuts.push_back(rows.size() - 1);
    for (size_t last : cuts) {
        m_bands.push_back({rows[first], rows[last], 0});
        first = last + 1;
    }
    std::vector<std::vector<sal_Int32>> columns(m_bands.size());
    for (const auto& p : cells)
        columns[bandOf(p.row - 1)].push_back(p.column - 1);
    // Within a band, columns far apart (every tenth column of a table) are
    // read as strips of their own rather than with everything between them.
    long long total = 0;
    for (size_t b = 0; b < m_bands.size(); ++b) {
        auto& used = columns[b];
        std::sort(used.begin(), used.end());
        used.erase(std::unique(used.begin(), used.end()), used.end());
        const long long height = m_bands[b].endRow - m_bands[b].startRow + 1;
        std::vector<std::pair<sal_Int32, sal_Int32>> strips{{used.front(), used.front()}};
        for (size_t i = 1; i < used.size(); ++i) {
            if ((used[i] - strips.back().second - 1) * height <= CellsPerRead)
                strips.back().second = used[i];
            else
                strips.push_back({used[i], used[i]});
        }
        if (strips.size() > MaxStrips)
            strips = {{used.front(), used.back()}};
        m_bands[b].firstBox = m_boxes.size();
        for (const auto& [from, to] : strips) {
            Address box;
            box.Sheet = sheetIndex;
            box.StartRow = m_bands[b].startRow;
            box.EndRow = m_bands[b].endRow;
            box.StartColumn = from;
            box.EndColumn = to;
            m_boxes.push_back(box);
            total += height * (to - from + 1);
        }
    }
    if (total > MaxCells) {
        m_boxes.clear();
        m_bands.clear();
    }
}

size_t Boxes::bandOf(sal_Int32 row) const {
    const auto after =
        std::upper_bound(m_bands.begin(), m_bands.end(), row,
                         [](sal_Int32 r, const Band& band) { return r < band.startRow; });
    return size_t(after - m_bands.begin()) - 1;
}

int Boxes::indexOf(CellPosition p) const {
    const size_t band = bandOf(p.row - 1);
    const auto from = m_boxes.begin() + std::ptrdiff_t(m_bands[band].firstBox);
    const auto to = band + 1 < m_bands.size()
                        ? m_boxes.begin() + std::ptrdiff_t(m_bands[band + 1].firstBox)
                        : m_boxes.end();
    const auto after =
        std::upper_bound(from, to, p.column - 1,
                         [](sal_Int32 c, const Address& box) { return c < box.StartColumn; });
    return int(after - m_boxes.begin()) - 1;
}

namespace {

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

} // namespace

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
        cells = settings.lookIn == host::LookIn::Values
                    ? readDisplayed(doc, sheet, *area)
                    : matchingContents(doc, sheet, *area, pattern);
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

namespace {

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

} // namespace korvex::calc::cell_io
