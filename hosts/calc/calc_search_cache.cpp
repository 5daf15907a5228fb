#include "calc_search_cache.h"

#include "calc_model.h"

#include <com/sun/star/util/XModifyBroadcaster.hpp>
#include <com/sun/star/util/XModifyListener.hpp>
#include <com/sun/star/util/XReplaceDescriptor.hpp>
#include <cppuhelper/implbase1.hxx>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace korvex::calc {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using host::HostError;
using matcher::CellPosition;

// The documents Korvex listens to, shared by the cache, the worker's tasks and
// the listeners themselves (which the office calls on threads of its own).
// Every reference is let go when the connection dies, like any kept one.
class WatchedDocuments : public HeldBase, public std::enable_shared_from_this<WatchedDocuments> {
public:
    struct Entry {
        std::uint64_t id = 0;
        DocRef doc;
        Reference<css::util::XModifyListener> listener;
    };

    std::atomic<std::uint64_t> changes{0};

    // On the worker.
    void watch(const DocRef& doc);
    // A listener's document was closed: the office drops its listeners then.
    void closed(std::uint64_t id);
    // Hands every entry over and takes no new ones.
    std::vector<Entry> takeAll();
    void release() override {
        takeAll();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_descriptor = {};
    }

    // The office's replace descriptor last configured and the options it was
    // configured for; let go with every other reference.
    struct KeptDescriptor {
        Reference<css::util::XReplaceDescriptor> descriptor;
        host::ReplaceOptions options;
    };
    KeptDescriptor keptDescriptor() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_descriptor;
    }
    void keepDescriptor(KeptDescriptor kept) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_over)
            m_descriptor = std::move(kept);
    }
    int count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return int(m_entries.size());
    }

private:
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::uint64_t m_lastId = 0;
    bool m_over = false;
    KeptDescriptor m_descriptor;
};

namespace {

class ChangeCounter : public cppu::WeakImplHelper1<css::util::XModifyListener> {
public:
    ChangeCounter(std::weak_ptr<WatchedDocuments> watched, std::uint64_t id)
        : m_watched(std::move(watched)), m_id(id) {}
    void SAL_CALL modified(const css::lang::EventObject&) override {
        if (const auto w = m_watched.lock())
            ++w->changes;
    }
    // A closed book counts as a change too.
    void SAL_CALL disposing(const css::lang::EventObject&) override {
        if (const auto w = m_watched.lock()) {
            ++w->changes;
            w->closed(m_id);
        }
    }

private:
    std::weak_ptr<WatchedDocuments> m_watched;
    std::uint64_t m_id;
};

bool sameArea(const css::table::CellRangeAddress& a, const css::table::CellRangeAddress& b) {
    return a.Sheet == b.Sheet && a.StartColumn == b.StartColumn && a.StartRow == b.StartRow &&
           a.EndColumn == b.EndColumn && a.EndRow == b.EndRow;
}

bool inside(const css::table::CellRangeAddress& a, CellPosition p) {
    return p.row - 1 >= a.StartRow && p.row - 1 <= a.EndRow && p.column - 1 >= a.StartColumn &&
           p.column - 1 <= a.EndColumn;
}

// The office reports each content change of a cell to modify listeners once.
constexpr std::uint64_t ChangesPerWrite = 1;

} // namespace

void WatchedDocuments::watch(const DocRef& doc) {
    std::vector<DocRef> known;
    std::uint64_t id = 0;
    Reference<css::util::XModifyListener> listener;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_over)
            return;
        for (const auto& e : m_entries)
            known.push_back(e.doc);
    }
    // Comparing office objects may ask the office; the lock is not held
    // meanwhile, since a closing document calls back into closed().
    for (const auto& d : known)
        if (d == doc)
            return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_over)
            return;
        id = ++m_lastId;
        listener = new ChangeCounter(weak_from_this(), id);
        // Listed before it is added, so that a close coming at once finds it.
        m_entries.push_back({id, doc, listener});
    }
    try {
        Reference<css::util::XModifyBroadcaster>(doc, UNO_QUERY_THROW)->addModifyListener(listener);
    } catch (...) {
        closed(id);
        throw;
    }
}

void WatchedDocuments::closed(std::uint64_t id) {
    Entry gone; // let go outside the lock
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [id](const Entry& e) { return e.id == id; });
    if (it == m_entries.end())
        return;
    gone = std::move(*it);
    m_entries.erase(it);
}

std::vector<WatchedDocuments::Entry> WatchedDocuments::takeAll() {
    std::vector<Entry> all;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_over = true;
    all.swap(m_entries);
    return all;
}

// ---------------------------------------------------------------------------

bool SearchCache::Probe::visit(const DocRef& doc, const SheetRef& sheet) {
    m_watched->watch(doc);
    m_sameSheet = m_keptSheet.is() && m_keptSheet == sheet;
    return m_sameSheet;
}

namespace {
bool sameReplace(const host::ReplaceOptions& a, const host::ReplaceOptions& b) {
    return a.what == b.what && a.replacement == b.replacement && a.matchCase == b.matchCase &&
           a.useRegex == b.useRegex &&
           (a.lookAt == host::LookAt::Whole) == (b.lookAt == host::LookAt::Whole);
}
} // namespace

Reference<css::util::XReplaceDescriptor>
SearchCache::Probe::replaceDescriptor(const host::ReplaceOptions& options) const {
    auto kept = m_watched->keptDescriptor();
    return kept.descriptor.is() && sameReplace(kept.options, options) ? kept.descriptor : nullptr;
}

void SearchCache::Probe::keepReplaceDescriptor(
    const host::ReplaceOptions& options,
    const Reference<css::util::XReplaceDescriptor>& descriptor) const {
    m_watched->keepDescriptor({descriptor, options});
}

std::uint64_t SearchCache::Probe::changes() const {
    return m_watched->changes.load();
}

SearchCache::SearchCache(std::shared_ptr<Session> session)
    : m_s(std::move(session)), m_watched(std::make_shared<WatchedDocuments>()) {
    m_s->keep(m_watched);
}

SearchCache::~SearchCache() {
    auto entries = m_watched->takeAll();
    if (entries.empty() || !m_s->alive())
        return;
    // Nobody waits for this: dropping the cache must not hold anyone up, even
    // on an office that stopped answering.
    m_s->postQuietly([entries = std::move(entries)] {
        for (const auto& e : entries) {
            try {
                Reference<css::util::XModifyBroadcaster>(e.doc, UNO_QUERY_THROW)
                    ->removeModifyListener(e.listener);
            } catch (...) {
                // closed meanwhile: the office has dropped the listener itself
            }
        }
    });
}

SearchCache::LookUp SearchCache::lookUp(const DocRef& doc, const SheetRef& sheet,
                                        const css::table::CellRangeAddress& area,
                                        const matcher::FindSettings& settings) {
    // The office reports a change to its listeners before the change is
    // done, so once this round trip is back every earlier change is counted.
    const bool sameSheet = m_s->run([p = probe(), doc, sheet]() mutable {
        uno_helpers::requireOpen(doc);
        return p.visit(doc, sheet);
    });
    LookUp out;
    out.generation = m_watched->changes.load();
    if (m_kept && sameSheet && m_kept->generation == out.generation &&
        m_kept->settings == settings && sameArea(m_kept->area, area))
        out.kept = &*m_kept;
    return out;
}

const SearchCache::Matches&
SearchCache::fill(const SheetRef& sheet, const css::table::CellRangeAddress& area,
                  const matcher::FindSettings& settings, std::uint64_t generation,
                  std::vector<CellPosition> sorted, std::vector<QVariant> values,
                  std::vector<CellContent> contents) {
    Matches kept;
    kept.id = ++m_lastId;
    kept.area = area;
    kept.settings = settings;
    kept.generation = generation;
    kept.sorted = std::move(sorted);
    kept.values = std::move(values);
    kept.contents = std::move(contents);
    m_kept = std::move(kept);
    m_keptSheet = m_s->hold(sheet);
    return *m_kept;
}

std::optional<QVariant> SearchCache::valueOf(std::uint64_t matchesId, CellPosition cell) const {
    if (!m_kept || m_kept->id != matchesId || !current() || !m_s->alive())
        return std::nullopt;
    const auto it = std::lower_bound(m_kept->sorted.begin(), m_kept->sorted.end(), cell,
                                     matcher::OrderLess{m_kept->settings.searchOrder});
    if (it == m_kept->sorted.end() || *it != cell)
        return std::nullopt;
    const QVariant& v = m_kept->values[size_t(it - m_kept->sorted.begin())];
    if (!v.isValid())
        return std::nullopt;
    return v;
}

std::optional<SearchCache::Known> SearchCache::known(const std::vector<CellPosition>& cells) const {
    if (!m_kept || m_kept->settings.lookIn != host::LookIn::Formulas || !current())
        return std::nullopt;
    Known k;
    k.keptId = m_kept->id;
    k.generation = m_kept->generation;
    k.contents.reserve(cells.size());
    k.values.reserve(cells.size());
    const matcher::OrderLess less{m_kept->settings.searchOrder};
    for (const auto& cell : cells) {
        const auto it = std::lower_bound(m_kept->sorted.begin(), m_kept->sorted.end(), cell, less);
        if (it == m_kept->sorted.end() || *it != cell)
            return std::nullopt;
        const auto at = size_t(it - m_kept->sorted.begin());
        k.contents.push_back(m_kept->contents[at]);
        k.values.push_back(m_kept->values[at]);
    }
    return k;
}

SearchCache::Probe SearchCache::probe() const {
    Probe p;
    p.m_watched = m_watched;
    if (!m_kept)
        return p;
    try {
        p.m_keptSheet = m_keptSheet->get();
    } catch (const HostError&) {
        return p; // the connection is gone: the task will fail anyway
    }
    p.m_keptId = m_kept->id;
    p.m_keptByValue = m_kept->settings.lookIn == host::LookIn::Values;
    return p;
}

bool SearchCache::current() const {
    return m_kept && m_kept->generation == m_watched->changes.load();
}

int SearchCache::watchedCount() const {
    return m_watched->count();
}

// The written cells are matched again, the rest of the sheet has not changed.
// Whenever that cannot be known (someone else changed something meanwhile,
// formulas show what was written, another sheet's displayed values may follow
// it) the kept matches are left to go stale or dropped, and the next search
// reads the sheet again.
void SearchCache::noteOwnWrites(const OwnWrites& w) {
    auto& cache = m_kept;
    if (!cache || cache->id != w.keptId || cache->generation != w.before ||
        w.after - w.before != w.writeCalls * ChangesPerWrite)
        return;
    if (w.writeCalls == 0)
        return;
    const bool sameSheet = w.sameSheet;
    const bool byValue = cache->settings.lookIn == host::LookIn::Values;
    if (byValue && (!sameSheet || w.dependents)) {
        cache.reset();
        return;
    }
    if (!sameSheet || w.dependents) {
        // Formula texts and notes stay; a formula's result may not.
        for (auto& v : cache->values)
            v = QVariant();
        if (!sameSheet) {
            cache->generation = w.after;
            return;
        }
    }

    const matcher::OrderLess less{cache->settings.searchOrder};
    const matcher::Pattern pattern = cache->settings.pattern();
    // Written cells by position: whether each matches now, and what it holds.
    struct Written {
        CellPosition pos;
        bool match;
        const OwnWrite* write;
    };
    std::vector<Written> changed;
    for (const auto& c : w.cells) {
        if (!inside(cache->area, c.pos))
            continue;
        bool match = false;
        switch (cache->settings.lookIn) {
        case host::LookIn::Formulas:
            match = pattern.matches(c.content.text);
            break;
        case host::LookIn::Values:
            match = pattern.matches(c.displayed);
            break;
        case host::LookIn::Comments: // notes are not written
            match = std::binary_search(cache->sorted.begin(), cache->sorted.end(), c.pos, less);
            break;
        }
        changed.push_back({c.pos, match, &c});
    }
    std::stable_sort(changed.begin(), changed.end(),
                     [less](const Written& x, const Written& y) { return less(x.pos, y.pos); });
    // The last write of a cell counts.
    std::vector<Written> last;
    for (const Written& c : changed) {
        if (!last.empty() && last.back().pos == c.pos)
            last.back() = c;
        else
            last.push_back(c);
    }
    const bool withContents = cache->settings.lookIn == host::LookIn::Formulas;
    std::vector<CellPosition> sorted;
    std::vector<QVariant> values;
    std::vector<CellContent> contents;
    sorted.reserve(cache->sorted.size() + last.size());
    values.reserve(sorted.capacity());
    if (withContents)
        contents.reserve(sorted.capacity());
    size_t i = 0;
    size_t k = 0;
    while (i < cache->sorted.size() || k < last.size()) {
        const bool takeOld =
            k == last.size() || (i < cache->sorted.size() && less(cache->sorted[i], last[k].pos));
        if (takeOld) {
            sorted.push_back(cache->sorted[i]);
            values.push_back(std::move(cache->values[i]));
            if (withContents)
                contents.push_back(std::move(cache->contents[i]));
            ++i;
            continue;
        }
        if (i < cache->sorted.size() && cache->sorted[i] == last[k].pos)
            ++i; // replaced by the written cell
        if (last[k].match) {
            sorted.push_back(last[k].pos);
            values.push_back(last[k].write->value);
            if (withContents)
                contents.push_back(last[k].write->content);
        }
        ++k;
    }
    cache->sorted = std::move(sorted);
    cache->values = std::move(values);
    cache->contents = std::move(contents);
    cache->generation = w.after;
}

} // namespace korvex::calc
