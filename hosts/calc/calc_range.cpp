// A range of cells: its value, its address, and finding in it.

#include "calc_cell_io.h"

#include "cell_address.h"

#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <algorithm>

namespace korvex::calc {

using namespace uno_helpers;
using namespace cell_io;

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

const SearchCache::Matches* CalcRange::matches(const matcher::FindSettings& settings,
                                               const host::ReadInBands& bands) {
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    const auto look = m_cache->lookUp(doc, sheet, m_addr, settings);
    if (look.kept)
        return look.kept;
    std::vector<Match> hits;
    const auto read = [&](const Address& part) {
        auto found = m_s->run(
            [doc, sheet, part, settings] { return matchingCells(doc, sheet, part, settings); });
        hits.insert(hits.end(), std::make_move_iterator(found.begin()),
                    std::make_move_iterator(found.end()));
    };
    if (settings.lookIn == host::LookIn::Comments) {
        read(m_addr); // notes are few, and are not read by the cell
    } else if (const auto used = m_s->run([sheet, a = m_addr] { return usedPart(sheet, a); })) {
        // A band of rows at a time: what one read holds stays bounded.
        const sal_Int32 width = used->EndColumn - used->StartColumn + 1;
        const sal_Int32 rows = std::max<sal_Int32>(1, bands.maxCells / width);
        for (sal_Int32 top = used->StartRow; top <= used->EndRow; top += rows) {
            Address band = *used;
            band.StartRow = top;
            band.EndRow = std::min(used->EndRow, top + rows - 1);
            read(band);
            if (band.EndRow < used->EndRow && bands.between && !bands.between())
                return nullptr;
        }
    }
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
    return &m_cache->fill(sheet, m_addr, settings, look.generation, std::move(sorted),
                          std::move(values), std::move(contents));
}

host::RangePtr CalcRange::search(const matcher::FindSettings& settings,
                                 const host::RangePtr& after) {
    const SearchCache::Matches& cache = *matches(settings);
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

std::vector<host::FoundCell> CalcSheet::findAll(const host::FindOptions& options,
                                                const host::ReadInBands& bands) {
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
    const auto address = m_s->run([doc, sheet, afterSheet, known = m_knownWorksheet] {
        requireOpen(doc);
        if (!known)
            requireWorksheet(sheet);
        if (afterSheet.is() && afterSheet != sheet)
            throw HostError(QStringLiteral("After is not a cell of this sheet"));
        return addressOf(sheet);
    });
    const auto whole = std::make_shared<CalcRange>(m_s, m_cache, doc, sheet, address);
    const SearchCache::Matches* kept = whole->matches(settings, bands);
    if (!kept)
        return {};
    const SearchCache::Matches& cache = *kept;
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

} // namespace korvex::calc
