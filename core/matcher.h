#pragma once
// Find and replace with the spreadsheet's own matching rules, shared by every
// host implementation so that the simulated host and the Calc host find exactly
// the same cells and make exactly the same replacements.
//
// A host implements Range::find / findNext / replace like this:
//
//   // find(): remember the settings, compile them once, scan the cells.
//   m_app->lastFind = matcher::FindSettings::fromFind(options);
//   const matcher::Pattern pattern = m_app->lastFind.pattern();
//   matcher::NextMatchTracker next(afterPosition, options.searchOrder,
//                                  options.searchDirection);
//   for (each non-empty cell c of the sheet)          // any order at all
//       if (pattern.matches(matcher::textFor(c.texts, options.lookIn)))
//           next.offer({c.row, c.column});
//   return next.result() ? cell(*next.result()) : nullptr;
//
//   // findNext(after): the same with m_app->lastFind (std::nullopt afterwards
//   // when no find has been made yet: return null).
//
//   // replace() on one cell (the engine always calls it on a single cell):
//   const matcher::Pattern p = matcher::Pattern::fromReplace(options);
//   const matcher::Replacement r = p.replace(formulaText, options.replacement);
//   if (r.changed) write r.text back as the cell's formula/constant;
//   return r.occurrences > 0;
//
// Matching rules (those of the spreadsheet's Find and Replace dialog):
// - `*` matches any run of characters, possibly empty; `?` exactly one
//   character (one code point; a half-width kana with its sound mark counts as
//   one character when width is folded, see below).
// - `~` makes the next `*`, `?` or `~` literal ("~*" finds "*", "~~" finds
//   "~"). A `~` before any other character, and a `~` at the very end, stands
//   for itself ("a~b" finds "a~b", "5~" finds "5~").
// - The pattern is never handed to a regular-expression engine; every other
//   character is literal, including regex metacharacters and "=" at the start
//   (formula text is matched like any other text).
// - LookAt::Whole: the whole text must match. LookAt::Part: the pattern must
//   occur somewhere in the text. With Part, a match is the leftmost one and,
//   from there, the longest (`*` is greedy): replacing "a*" in "xabc" gives
//   "x" + replacement, and "(*)" in "(a)(b)" spans both brackets.
// - matchCase false: Unicode simple case folding, so "Ａ" (full-width) and
//   "ａ" are equal, as are "Ä" and "ä".
// - matchByte false: half-width and full-width forms are equal: ASCII and
//   full-width ASCII (U+FF01..U+FF5E), space and ideographic space (U+3000),
//   half-width katakana and punctuation (U+FF61..U+FF9F) and full-width
//   katakana, with a half-width voiced or semi-voiced sound mark joining the
//   preceding kana ("ｶﾞ" equals "ガ", "ﾊﾟ" equals "パ", "ｳﾞ" equals "ヴ"), and
//   the full-width currency/sign forms U+FFE0..U+FFE6. Hiragana and katakana
//   are never equal.
// - foldKana: hiragana and katakana are equal, half-width katakana included
//   whatever matchByte says ("りんご" finds "リンゴ" and "ﾘﾝｺﾞ"; a half-width
//   kana with its sound mark is one character, as above).
// - An empty text never matches (so "*" with Whole finds every non-empty
//   cell). An empty pattern matches nothing: the windows refuse an empty
//   search text before calling the host, and a host that is handed one
//   anyway finds nothing and replaces nothing.
//
// Regular-expression mode (useRegex): What is read by QRegularExpression
// (PCRE syntax) instead of the wildcard rules above. The folding still
// applies: the cell text is folded for width and kana before matching (case
// by the expression's case-insensitive option), and What's own full-width and
// half-width kana characters are folded the same way, staying literal. Whole
// means the expression matches the whole text; Part takes the expression's
// own leftmost match, and an empty match is no match. In a replacement, `$0`
// stands for the match and `$1`..`$9` for its groups, each as the cell's own
// characters (a group that took no part is empty); `$$` is one `$`, and any
// other `$` is itself. An expression that does not parse matches nothing
// (error() tells why; the windows refuse it before a run).
//
// Order of cells (SearchOrder): ByRows compares (row, column), ByColumns
// compares (column, row). Searching forward starts with the first cell after
// `after`, wraps from the sheet's last cell to its first, and reaches `after`
// itself last. With no `after` the search starts after the sheet's first
// cell, as the spreadsheet does when After is omitted: A1 is then the last
// candidate. Searching backwards with no `after` starts from the sheet's last
// cell.

#include "host.h"

#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace korvex::matcher {

using host::CellPosition;

// A key whose natural order is the search order: sort cells by it, keep them
// in a std::map keyed by it, or compare two cells with it.
std::uint64_t orderKey(CellPosition p, host::SearchOrder order);
// Strict "comes before" in the given order (for std::sort and friends).
struct OrderLess {
    host::SearchOrder order = host::SearchOrder::ByRows;
    bool operator()(CellPosition a, CellPosition b) const {
        return orderKey(a, order) < orderKey(b, order);
    }
};

// The match the spreadsheet's Find/FindNext returns among `matches` (any order,
// duplicates allowed): the first one after `after` in the search order,
// wrapping around, `after` itself last; none when `matches` is empty. O(n).
std::optional<CellPosition>
nextMatch(const std::vector<CellPosition>& matches, std::optional<CellPosition> after,
          host::SearchOrder order, host::SearchDirection direction = host::SearchDirection::Next);

// The same over matches already sorted by OrderLess{order}. O(log n).
std::optional<CellPosition>
nextMatchSorted(const std::vector<CellPosition>& sortedMatches, std::optional<CellPosition> after,
                host::SearchOrder order,
                host::SearchDirection direction = host::SearchDirection::Next);

// Every match in the order Find followed by FindNext until the search wraps
// gives them: the first one after `after` (see nextMatch), then each
// following one in the search order, wrapping around, `after` itself last.
// `matches` in any order, without duplicates. O(n log n).
std::vector<CellPosition> findOrder(std::vector<CellPosition> matches,
                                    std::optional<CellPosition> after, host::SearchOrder order,
                                    host::SearchDirection direction = host::SearchDirection::Next);

// The same again, fed one matching cell at a time in any order, without
// storing them: for hosts that walk their cells once. O(1) per offer.
class NextMatchTracker {
public:
    NextMatchTracker(std::optional<CellPosition> after, host::SearchOrder order,
                     host::SearchDirection direction = host::SearchDirection::Next);
    void offer(CellPosition p);
    std::optional<CellPosition> result() const;

private:
    bool better(std::uint64_t candidate, std::uint64_t current) const;

    std::optional<std::uint64_t> m_after;
    host::SearchOrder m_order;
    bool m_forward;
    std::optional<std::uint64_t> m_pastAfter; // best strictly beyond `after`
    std::optional<std::uint64_t> m_wrapped;   // best reached only by wrapping
};

// The three texts a host offers per cell; which one is searched follows LookIn.
// formula: the formula as entered ("=SUM(A1:A3)") or the constant as entered;
// value: the displayed text; comment: the cell's comment/note, empty if none.
struct CellTexts {
    QString formula;
    QString value;
    QString comment;
};
const QString& textFor(const CellTexts& texts, host::LookIn lookIn);

// One stretch of a text, in UTF-16 units of the unfolded text as given.
struct Span {
    qsizetype start = 0;
    qsizetype length = 0;
    friend bool operator==(Span a, Span b) { return a.start == b.start && a.length == b.length; }
};

// What Pattern::replace made of a text.
struct Replacement {
    QString text;         // the text after replacement (the input when nothing matched)
    int occurrences = 0;  // how many matches were replaced
    bool changed = false; // text differs from the input
};

// A compiled search pattern: the What text parsed and folded once, then used
// on any number of cell texts. Cheap to copy; immutable, so one instance may be
// shared by several threads.
class Pattern {
public:
    Pattern() = default; // matches nothing
    Pattern(const QString& what, host::LookAt lookAt, bool matchCase, bool matchByte,
            bool useRegex = false, bool foldKana = false);
    static Pattern fromFind(const host::FindOptions& options);
    static Pattern fromReplace(const host::ReplaceOptions& options);

    // True for an empty What: such a pattern matches nothing.
    bool isEmpty() const { return m_empty; }
    host::LookAt lookAt() const { return m_lookAt; }

    // Why a regular expression does not parse: the parser's message and the
    // UTF-16 index in What where it stopped. Such a pattern matches nothing.
    struct SyntaxError {
        QString message;
        qsizetype offset = 0;
    };
    const std::optional<SyntaxError>& error() const { return m_error; }

    // Whether `text` matches under the pattern's LookAt. Empty text: false.
    bool matches(QStringView text) const;
    bool matches(const QString& text) const { return matches(QStringView(text)); }

    // The first match starting at or after `from` (UTF-16 index of `text`):
    // with Whole the whole text when it matches (and from is 0), with Part the
    // leftmost-longest occurrence. Never an empty span.
    std::optional<Span> search(const QString& text, qsizetype from = 0) const;

    // Every match replaced by `replacement`, taken literally (no wildcards, no
    // `~` escapes; with a regular expression `$` followed by a digit or `$`
    // is expanded, see above): with Whole the whole text when it matches; with Part each
    // leftmost-longest occurrence from left to right, not overlapping, the
    // scan going on after each replaced stretch. An empty replacement deletes
    // the matched text. Spans are mapped back to the unfolded text, so text
    // outside the matches (for instance half-width kana) is kept as it was.
    Replacement replace(const QString& text, const QString& replacement) const;

    // Internal representation, public only so the implementation's helpers can
    // reach it: the pattern split at `*` into segments; each segment is a list
    // of folded code points where AnyChar stands for `?`.
    static constexpr char32_t AnyChar = 0xFFFFFFFFu;
    using Segment = std::u32string;

private:
    void compileRegex(const QString& what);
    // The first non-empty match in `folded` (a cell text folded for the
    // expression) starting at or after `from`.
    QRegularExpressionMatch firstMatch(QStringView folded, qsizetype from) const;
    std::optional<Span> regexSearch(const QString& text, qsizetype from) const;
    Replacement regexReplace(const QString& text, const QString& replacement) const;

    std::vector<Segment> m_segments; // size = number of `*` + 1
    QRegularExpression m_regex;      // regular-expression mode, over the folded text
    std::optional<SyntaxError> m_error;
    host::LookAt m_lookAt = host::LookAt::Part;
    bool m_matchCase = false;
    bool m_matchByte = false;
    bool m_useRegex = false;
    bool m_foldKana = false;
    bool m_empty = true;
};

// The settings of the last Find, which FindNext reuses. Hosts keep one per
// application (the spreadsheet remembers them across sheets and books).
struct FindSettings {
    QString what;
    host::LookIn lookIn = host::LookIn::Formulas;
    host::LookAt lookAt = host::LookAt::Part;
    host::SearchOrder searchOrder = host::SearchOrder::ByRows;
    host::SearchDirection searchDirection = host::SearchDirection::Next;
    bool matchCase = false;
    bool matchByte = false;
    bool useRegex = false;
    bool foldKana = false;

    static FindSettings fromFind(const host::FindOptions& options);
    host::FindOptions toFindOptions(host::RangePtr after = {}) const;
    Pattern pattern() const;

    friend bool operator==(const FindSettings& a, const FindSettings& b);
    friend bool operator!=(const FindSettings& a, const FindSettings& b) { return !(a == b); }
};

// Folding used by Pattern, exposed for hosts and tests: `text` as the matcher
// compares it (code points), and for each folded code point the UTF-16 index
// in `text` where it starts; the map has one extra entry, text.size().
struct FoldedText {
    std::u32string chars;
    std::vector<qsizetype> origin;
};
FoldedText fold(const QString& text, bool matchCase, bool matchByte, bool foldKana = false);

} // namespace korvex::matcher
