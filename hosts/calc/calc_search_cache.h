#pragma once
// The matches of the last search, kept while nobody but Korvex changes the
// documents, so that walking ten thousand hits with findNext does not read the
// sheet ten thousand times, and a replace-all does not read it again per
// cell. The office reports every change of a watched document to a modify
// listener; a change Korvex did not make itself throws the kept matches away,
// while Korvex's own writes bring them up to date.
//
// The cache lives on Korvex's side: it is used from the thread that calls the
// host, never from the session's worker. What a task on the worker needs of
// it travels in a Probe, copied into the task. Identity comparisons of office
// objects are remote calls, so they happen only inside such tasks.

#include "matcher.h"
#include "uno_session.h"

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/util/XReplaceDescriptor.hpp>

#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace korvex::calc {

class WatchedDocuments;

// A cell's content as typed: its formula or text. A text that would read as a
// number is marked (it is entered again with an apostrophe in front). A
// constant under a date, flag or percentage format reads as the formula bar
// shows it ("2024/02/29", "TRUE", "12.5%"), `typed` holding that format's
// flags; it is written back by value, never as the office would read it.
struct CellContent {
    QString text;
    bool marked = false;
    unsigned char typed = 0;
};

// A cell Korvex has just written, as the kept matches need to see it.
struct OwnWrite {
    matcher::CellPosition pos;
    CellContent content;
    QVariant value;
    QString displayed; // read only when the kept matches look in values
};

// What a run of Korvex's own writes on one sheet did. The change count is
// read around the writes: when it moved by exactly the changes the writes
// themselves report, nobody else changed anything in between.
struct OwnWrites {
    std::vector<OwnWrite> cells;
    std::uint64_t before = 0;
    std::uint64_t after = 0;
    std::uint64_t writeCalls = 0;
    // Some formula on the sheet refers to a written cell, so its result may
    // have moved too.
    bool dependents = false;
    // The kept matches (those the probe was taken for) are of the written
    // sheet.
    bool sameSheet = false;
    std::uint64_t keptId = 0;
};

class SearchCache {
public:
    struct Matches {
        // Which read these are; a cell found in them carries it, so that its
        // value is answered from here without asking which sheet it is on.
        std::uint64_t id = 0;
        css::table::CellRangeAddress area;
        matcher::FindSettings settings;
        std::uint64_t generation = 0;              // the change count they are good for
        std::vector<matcher::CellPosition> sorted; // in settings.searchOrder
        // The value each match held when the sheet was read, parallel to
        // `sorted` (invalid where the read did not give it).
        std::vector<QVariant> values;
        // Each match's content, parallel to `sorted` when the read looked in
        // formulas (and only then).
        std::vector<CellContent> contents;
    };

    // What the kept matches say of some cells before a task writes them.
    struct Known {
        std::uint64_t keptId = 0;
        std::uint64_t generation = 0;
        std::vector<CellContent> contents;
        std::vector<QVariant> values; // invalid where the read did not give it
    };

    // Handed to a task on the worker by value.
    class Probe {
    public:
        // On the worker: starts watching `doc` unless it is watched already,
        // and tells whether the kept matches are of `sheet`.
        bool visit(const css::uno::Reference<css::frame::XModel>& doc,
                   const css::uno::Reference<css::sheet::XSpreadsheet>& sheet);
        // The changes counted so far.
        std::uint64_t changes() const;
        // On the worker: the office's replace descriptor already configured
        // for exactly these options (configuring one costs seven round
        // trips), or null; and keeping one for the next replace.
        css::uno::Reference<css::util::XReplaceDescriptor>
        replaceDescriptor(const host::ReplaceOptions& options) const;
        void keepReplaceDescriptor(
            const host::ReplaceOptions& options,
            const css::uno::Reference<css::util::XReplaceDescriptor>& descriptor) const;
        // The kept matches look in displayed values (set by visit).
        bool keptByValueHere() const { return m_sameSheet && m_keptByValue; }
        // On the worker, after visit: `known` still tells what the cells hold.
        bool stillTrue(const Known& known) const {
            return m_sameSheet && known.keptId == m_keptId && changes() == known.generation;
        }
        // Fills in what noteOwnWrites needs to know of the probe.
        void stamp(OwnWrites& w) const {
            w.sameSheet = m_sameSheet;
            w.keptId = m_keptId;
        }

    private:
        friend class SearchCache;
        std::shared_ptr<WatchedDocuments> m_watched;
        css::uno::Reference<css::sheet::XSpreadsheet> m_keptSheet;
        std::uint64_t m_keptId = 0;
        bool m_keptByValue = false;
        bool m_sameSheet = false;
    };

    explicit SearchCache(std::shared_ptr<Session> session);
    // Takes its listeners off the documents still open.
    ~SearchCache();
    SearchCache(const SearchCache&) = delete;
    SearchCache& operator=(const SearchCache&) = delete;

    struct LookUp {
        const Matches* kept = nullptr; // null: read the sheet
        std::uint64_t generation = 0;  // what a read made now is good for
    };
    // The kept matches of `area` on `sheet` under `settings` while they are
    // current. Checks that the document is open and watches it, in one round
    // trip.
    LookUp lookUp(const css::uno::Reference<css::frame::XModel>& doc,
                  const css::uno::Reference<css::sheet::XSpreadsheet>& sheet,
                  const css::table::CellRangeAddress& area, const matcher::FindSettings& settings);
    // Keeps what a read after lookUp found (`values` and `contents` parallel
    // to `sorted`; `contents` empty unless the read looked in formulas).
    const Matches& fill(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet,
                        const css::table::CellRangeAddress& area,
                        const matcher::FindSettings& settings, std::uint64_t generation,
                        std::vector<matcher::CellPosition> sorted, std::vector<QVariant> values,
                        std::vector<CellContent> contents);
    // The contents and values of `cells` as the kept matches hold them, when
    // they hold every one of them and nothing has changed since. Which sheet
    // they are of is for the task to check (Probe::visit), with the change
    // count (Probe::changes() == generation).
    std::optional<Known> known(const std::vector<matcher::CellPosition>& cells) const;
    // The value of `cell` as the read `matchesId` gave it, while nothing has
    // changed since; no round trip.
    std::optional<QVariant> valueOf(std::uint64_t matchesId, matcher::CellPosition cell) const;

    // For a task that writes cells: see Probe.
    Probe probe() const;
    // Brings the kept matches up to date with Korvex's own writes, or lets
    // them go when that cannot be known.
    void noteOwnWrites(const OwnWrites& w);

    // The settings of the last find, which findNext reuses (the spreadsheet
    // keeps them per application, across sheets and books).
    const std::optional<matcher::FindSettings>& lastFind() const { return m_lastFind; }
    void rememberFind(const matcher::FindSettings& settings) { m_lastFind = settings; }

    // Whether matches are kept and nothing has changed since they were read.
    bool current() const;
    void forget() { m_kept.reset(); }
    // Documents now watched (closed ones are let go as they close).
    int watchedCount() const;

private:
    std::shared_ptr<Session> m_s;
    std::shared_ptr<WatchedDocuments> m_watched;
    std::optional<Matches> m_kept;
    std::optional<matcher::FindSettings> m_lastFind;
    HeldPtr<css::sheet::XSpreadsheet> m_keptSheet;
    std::uint64_t m_lastId = 0;
};

} // namespace korvex::calc
