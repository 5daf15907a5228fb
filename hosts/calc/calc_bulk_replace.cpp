// Replacing inside many cells of a sheet in one task of the worker, and what
// Korvex's own writes do to the matches it keeps.

#include "calc_cell_io.h"

#include "cell_address.h"
#include "uno_text.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/sheet/XFormulaQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/util/XReplaceable.hpp>

#include <algorithm>
#include <map>

namespace korvex::calc {

using namespace uno_helpers;
using namespace cell_io;

namespace cell_io {

void readBack(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
              const std::vector<CellPosition>& cells, bool wantDisplayed, OwnWrites& out,
              const KnownAfterWrite& known) {
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

} // namespace cell_io

namespace {

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
            // The office's expressions are ICU's, close to Korvex's but not the
            // same (nor is its `&` in a replacement): its result is checked
            // below like any other.
            props->setPropertyValue("SearchWildcard", Any(!options.useRegex));
            props->setPropertyValue("SearchRegularExpression", Any(options.useRegex));
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

std::vector<host::CellReplacement>
CalcSheet::replaceCells(const host::ReplaceOptions& options,
                        const std::vector<host::CellPosition>& cells) {
    return beginReplaceCells(options, cells)();
}

std::function<std::vector<host::CellReplacement>()>
CalcSheet::beginReplaceCells(const host::ReplaceOptions& options,
                             const std::vector<host::CellPosition>& cells) {
    const DocRef doc = m_doc->get();
    const SheetRef sheet = m_sheet->get();
    auto finish = m_s->begin([doc, sheet, cells, options, probe = m_cache->probe(),
                              known = m_cache->known(cells)]() mutable {
        return replaceInCells(doc, sheet, cells, options, probe, known);
    });
    // What Korvex's own writes did to the kept matches is learnt once the
    // call is over, on this thread.
    return [finish = std::move(finish), cache = m_cache] {
        auto done = finish();
        cache->noteOwnWrites(done.writes);
        return std::move(done.cells);
    };
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
