// Matching a sheet's contents without the office asking, for every text on
// it, whether that text would read as a number.
//
// The formula array of an area costs the office that question for each text
// cell (the answer is the apostrophe in front of a text such as "123"), which
// makes it half as dear again as the data array. A text's content is its
// string all the same, apostrophe aside, so texts are matched on the data
// array and only those that match have their formulas read, to learn the
// apostrophe. Numbers, dates and formulas, whose content is not their value,
// are read as formulas as before.

#include "calc_cell_io.h"

#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>

#include <algorithm>

namespace korvex::calc::cell_io {

std::vector<CellText> matchingContents(const DocRef& doc, const SheetRef& sheet,
                                       const Address& area, const matcher::Pattern& pattern) {
    // Past this many stretches of numbers and formulas, one formula read of
    // the whole area costs less than a read for each.
    constexpr sal_Int32 MaxOtherStretches = 16;
    const auto range = rangeAt(sheet, area);
    const Reference<css::sheet::XSheetCellRanges> others =
        Reference<css::sheet::XCellRangesQuery>(range, UNO_QUERY_THROW)
            ->queryContentCells(css::sheet::CellFlags::VALUE | css::sheet::CellFlags::DATETIME |
                                css::sheet::CellFlags::FORMULA);
    const Sequence<Address> stretches =
        others.is() ? others->getRangeAddresses() : Sequence<Address>();
    if (stretches.getLength() > MaxOtherStretches)
        return readFormulas(sheet, area, &pattern, doc);

    const sal_Int32 width = area.EndColumn - area.StartColumn + 1;
    const sal_Int32 height = area.EndRow - area.StartRow + 1;
    std::vector<bool> notText(size_t(width) * size_t(height), false);
    std::vector<Address> otherParts;
    for (const Address& s : stretches) {
        const auto part = intersect(s, area);
        if (!part)
            continue;
        otherParts.push_back(*part);
        for (sal_Int32 r = part->StartRow; r <= part->EndRow; ++r)
            for (sal_Int32 c = part->StartColumn; c <= part->EndColumn; ++c)
                notText[size_t(r - area.StartRow) * size_t(width) + size_t(c - area.StartColumn)] =
                    true;
    }

    const auto rows = Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)->getDataArray();
    std::vector<CellPosition> candidates;
    for (sal_Int32 r = 0; r < rows.getLength() && r < height; ++r) {
        const auto& row = rows[r];
        for (sal_Int32 c = 0; c < row.getLength() && c < width; ++c) {
            rtl::OUString text;
            if (notText[size_t(r) * size_t(width) + size_t(c)] || !(row[c] >>= text) ||
                text.isEmpty())
                continue;
            if (pattern.matches(QStringView(text.getStr(), text.getLength())))
                candidates.push_back({area.StartRow + r + 1, area.StartColumn + c + 1});
        }
    }

    std::vector<CellText> out;
    out.reserve(candidates.size());
    // The texts that match have their formulas read, a box around them at a
    // time, for the apostrophe; the formats that make a number read as typed
    // do nothing to a text.
    const Boxes boxes(candidates, area.Sheet);
    if (boxes.empty() && !candidates.empty()) // too many cells around them to read in boxes
        return readFormulas(sheet, area, &pattern, doc);
    std::vector<Sequence<Sequence<rtl::OUString>>> formulas;
    for (const Address& box : boxes.all())
        formulas.push_back(
            Reference<css::sheet::XCellRangeFormula>(rangeAt(sheet, box), UNO_QUERY_THROW)
                ->getFormulaArray());
    for (const CellPosition& p : candidates) {
        rtl::OUString input;
        const int b = boxes.indexOf(p);
        const Address& box = boxes.all()[size_t(b)];
        const auto& read = formulas[size_t(b)];
        const sal_Int32 r = p.row - 1 - box.StartRow;
        const sal_Int32 c = p.column - 1 - box.StartColumn;
        if (r < read.getLength() && c < read[r].getLength())
            input = read[r][c];
        bool marked = false;
        QString text = contentFromApi(input, &marked);
        // The content is what is matched; it differs from the string only by
        // the apostrophe, never in what a pattern sees.
        if (!text.isEmpty() && pattern.matches(text))
            out.push_back({p, std::move(text), {}, marked});
    }
    for (const Address& part : otherParts)
        for (auto& c : readFormulas(sheet, part, &pattern, doc))
            out.push_back(std::move(c));
    std::sort(out.begin(), out.end(), [](const CellText& a, const CellText& b) {
        return a.pos.row != b.pos.row ? a.pos.row < b.pos.row : a.pos.column < b.pos.column;
    });
    return out;
}

} // namespace korvex::calc::cell_io
