#include "matcher.h"

#include "text_folding.h"

#include <QChar>

#include <algorithm>

namespace korvex::matcher {

using host::LookAt;
using host::LookIn;
using host::SearchDirection;
using host::SearchOrder;

// ---------------------------------------------------------------------------
// Cell order

std::uint64_t orderKey(CellPosition p, SearchOrder order) {
    const auto row = static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.row));
    const auto col = static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.column));
    return order == SearchOrder::ByColumns ? (col << 32) | row : (row << 32) | col;
}

namespace {

CellPosition positionOf(std::uint64_t key, SearchOrder order) {
    const int major = static_cast<int>(static_cast<std::uint32_t>(key >> 32));
    const int minor = static_cast<int>(static_cast<std::uint32_t>(key & 0xFFFFFFFFu));
    return order == SearchOrder::ByColumns ? CellPosition{minor, major}
                                           : CellPosition{major, minor};
}

// Forward searches without After start after the sheet's first cell.
constexpr CellPosition kFirstCell{1, 1};

} // namespace

NextMatchTracker::NextMatchTracker(std::optional<CellPosition> after, SearchOrder order,
                                   SearchDirection direction)
    : m_order(order), m_forward(direction != SearchDirection::Previous) {
    if (after)
        m_after = orderKey(*after, order);
    else if (m_forward)
        m_after = orderKey(kFirstCell, order);
}

bool NextMatchTracker::better(std::uint64_t candidate, std::uint64_t current) const {
    return m_forward ? candidate < current : candidate > current;
}

void NextMatchTracker::offer(CellPosition p) {
    const std::uint64_t key = orderKey(p, m_order);
    // Backwards without an anchor every cell is reached before any wrap, so
    // the sheet's last cell comes first.
    const bool beyond = !m_after || (m_forward ? key > *m_after : key < *m_after);
    std::optional<std::uint64_t>& slot = beyond ? m_pastAfter : m_wrapped;
    if (!slot || better(key, *slot))
        slot = key;
}

std::optional<CellPosition> NextMatchTracker::result() const {
    if (m_pastAfter)
        return positionOf(*m_pastAfter, m_order);
    if (m_wrapped)
        return positionOf(*m_wrapped, m_order);
    return std::nullopt;
}

std::optional<CellPosition> nextMatch(const std::vector<CellPosition>& matches,
                                      std::optional<CellPosition> after, SearchOrder order,
                                      SearchDirection direction) {
    NextMatchTracker tracker(after, order, direction);
    for (const CellPosition& p : matches)
        tracker.offer(p);
    return tracker.result();
}

std::optional<CellPosition> nextMatchSorted(const std::vector<CellPosition>& sortedMatches,
                                            std::optional<CellPosition> after, SearchOrder order,
                                            SearchDirection direction) {
    if (sortedMatches.empty())
        return std::nullopt;
    const OrderLess less{order};
    if (direction == SearchDirection::Previous) {
        if (!after)
            return sortedMatches.back();
        auto it = std::lower_bound(sortedMatches.begin(), sortedMatches.end(), *after, less);
        return it == sortedMatches.begin() ? sortedMatches.back() : *std::prev(it);
    }
    const CellPosition anchor = after.value_or(kFirstCell);
    auto it = std::upper_bound(sortedMatches.begin(), sortedMatches.end(), anchor, less);
    return it == sortedMatches.end() ? sortedMatches.front() : *it;
}

std::vector<CellPosition> findOrder(std::vector<CellPosition> matches,
                                    std::optional<CellPosition> after, SearchOrder order,
                                    SearchDirection direction) {
    const OrderLess less{order};
    std::sort(matches.begin(), matches.end(), less);
    const auto first = nextMatchSorted(matches, after, order, direction);
    if (!first)
        return matches;
    const auto k = std::lower_bound(matches.begin(), matches.end(), *first, less) - matches.begin();
    if (direction == SearchDirection::Previous) {
        // FindNext goes on backwards: from the first match down, then from the end.
        std::reverse(matches.begin(), matches.end());
        std::rotate(matches.begin(), matches.end() - k - 1, matches.end());
    } else {
        std::rotate(matches.begin(), matches.begin() + k, matches.end());
    }
    return matches;
}

const QString& textFor(const CellTexts& texts, LookIn lookIn) {
    switch (lookIn) {
    case LookIn::Values:
        return texts.value;
    case LookIn::Comments:
        return texts.comment;
    case LookIn::Formulas:
        break;
    }
    return texts.formula;
}

// ---------------------------------------------------------------------------
// Wildcard matching
//
// The pattern is S0 * S1 * ... * Sk, each segment made of literals and `?`.
// Without backtracking: the first segment is anchored at the match start, the
// middle ones are placed leftmost one after the other (the earliest place
// leaves the most room for the rest), and the last one is anchored at the end
// (Whole) or placed rightmost (Part, for the longest match). Every step is a
// plain scan, so no pattern can make the work explode.

namespace {

using Text = std::u32string;
using Segment = Pattern::Segment;
constexpr qsizetype npos = -1;

bool segmentAt(const Text& t, qsizetype pos, const Segment& seg) {
    const auto len = static_cast<qsizetype>(seg.size());
    if (pos < 0 || pos + len > static_cast<qsizetype>(t.size()))
        return false;
    for (qsizetype j = 0; j < len; ++j) {
        const char32_t p = seg[static_cast<size_t>(j)];
        if (p != Pattern::AnyChar && p != t[static_cast<size_t>(pos + j)])
            return false;
    }
    return true;
}

// Leftmost start in [from, to - |seg|], or npos.
qsizetype findSegment(const Text& t, qsizetype from, qsizetype to, const Segment& seg) {
    const auto len = static_cast<qsizetype>(seg.size());
    for (qsizetype pos = from; pos + len <= to; ++pos) {
        if (segmentAt(t, pos, seg))
            return pos;
    }
    return npos;
}

// Rightmost start in [from, to - |seg|], or npos.
qsizetype rfindSegment(const Text& t, qsizetype from, qsizetype to, const Segment& seg) {
    const auto len = static_cast<qsizetype>(seg.size());
    for (qsizetype pos = to - len; pos >= from; --pos) {
        if (segmentAt(t, pos, seg))
            return pos;
    }
    return npos;
}

// Places the middle segments leftmost from `pos` within [pos, limit); returns
// the end of the last one placed, or npos when one does not fit.
qsizetype placeMiddle(const Text& t, qsizetype pos, qsizetype limit,
                      const std::vector<Segment>& segs) {
    for (size_t j = 1; j + 1 < segs.size(); ++j) {
        const qsizetype at = findSegment(t, pos, limit, segs[j]);
        if (at == npos)
            return npos;
        pos = at + static_cast<qsizetype>(segs[j].size());
    }
    return pos;
}

bool matchWhole(const Text& t, const std::vector<Segment>& segs) {
    const auto n = static_cast<qsizetype>(t.size());
    const Segment& first = segs.front();
    if (segs.size() == 1)
        return static_cast<qsizetype>(first.size()) == n && segmentAt(t, 0, first);
    const Segment& last = segs.back();
    const auto firstLen = static_cast<qsizetype>(first.size());
    const auto lastLen = static_cast<qsizetype>(last.size());
    if (firstLen + lastLen > n || !segmentAt(t, 0, first) || !segmentAt(t, n - lastLen, last))
        return false;
    return placeMiddle(t, firstLen, n - lastLen, segs) != npos;
}

// Leftmost-longest non-empty match starting at or after `from`: [start, end).
std::optional<std::pair<qsizetype, qsizetype>> searchPart(const Text& t, qsizetype from,
                                                          const std::vector<Segment>& segs) {
    const auto n = static_cast<qsizetype>(t.size());
    if (from >= n)
        return std::nullopt;
    const Segment& first = segs.front();
    const auto firstLen = static_cast<qsizetype>(first.size());
    const qsizetype start = findSegment(t, from, n, first);
    if (start == npos)
        return std::nullopt;
    if (segs.size() == 1)
        return std::make_pair(start, start + firstLen);
    // Starting later can only push the rest further right, so when the rest
    // does not fit after the leftmost start it fits after no later one.
    const qsizetype middleEnd = placeMiddle(t, start + firstLen, n, segs);
    if (middleEnd == npos)
        return std::nullopt;
    const Segment& last = segs.back();
    qsizetype end = n;
    if (!last.empty()) {
        const qsizetype at = rfindSegment(t, middleEnd, n, last);
        if (at == npos)
            return std::nullopt;
        end = at + static_cast<qsizetype>(last.size());
    }
    if (end <= start) // only stars and nothing left: never an empty match
        return std::nullopt;
    return std::make_pair(start, end);
}

} // namespace

namespace {

// What a replace made: `out` holds the text up to `copied` with the matches
// replaced, the rest of `text` follows.
Replacement finished(const QString& text, QString out, qsizetype copied, int occurrences) {
    Replacement r;
    r.occurrences = occurrences;
    if (occurrences == 0) {
        r.text = text;
        return r;
    }
    out += QStringView(text).mid(copied);
    r.changed = out != text;
    r.text = std::move(out);
    return r;
}

} // namespace

Pattern::Pattern(const QString& what, LookAt lookAt, bool matchCase, bool matchByte, bool useRegex,
                 bool foldKana)
    : m_lookAt(lookAt), m_matchCase(matchCase), m_matchByte(matchByte), m_useRegex(useRegex),
      m_foldKana(foldKana), m_empty(what.isEmpty()) {
    if (m_empty)
        return;
    if (useRegex) {
        compileRegex(what);
        return;
    }
    // Literal runs are folded as a whole so that a half-width kana and its
    // sound mark typed in the pattern combine just as they do in cell text.
    Segment current;
    QString literal;
    std::u32string folded;
    const auto flushLiteral = [&] {
        if (literal.isEmpty())
            return;
        foldInto(literal, matchCase, matchByte, foldKana, folded, nullptr);
        current += folded;
        literal.clear();
    };
    const qsizetype n = what.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = what.at(i);
        if (c == u'~' && i + 1 < n &&
            (what.at(i + 1) == u'*' || what.at(i + 1) == u'?' || what.at(i + 1) == u'~')) {
            literal += what.at(++i);
        } else if (c == u'*') {
            flushLiteral();
            m_segments.push_back(current);
            current.clear();
        } else if (c == u'?') {
            flushLiteral();
            current.push_back(AnyChar);
        } else {
            literal += c;
        }
    }
    flushLiteral();
    m_segments.push_back(current);
}

Pattern Pattern::fromFind(const host::FindOptions& options) {
    return Pattern(options.what, options.lookAt, options.matchCase, options.matchByte,
                   options.useRegex, options.foldKana);
}

Pattern Pattern::fromReplace(const host::ReplaceOptions& options) {
    return Pattern(options.what, options.lookAt, options.matchCase, options.matchByte,
                   options.useRegex, options.foldKana);
}

bool Pattern::matches(QStringView text) const {
    if (m_empty || text.isEmpty())
        return false;
    if (m_useRegex) {
        if (m_error)
            return false;
        if (m_matchByte && !m_foldKana)
            return firstMatch(text, 0).hasMatch();
        thread_local QString folded;
        foldForRegex(text, m_matchByte, m_foldKana, folded, nullptr);
        return firstMatch(folded, 0).hasMatch();
    }
    thread_local std::u32string folded;
    foldInto(text, m_matchCase, m_matchByte, m_foldKana, folded, nullptr);
    if (m_lookAt == LookAt::Whole)
        return matchWhole(folded, m_segments);
    return searchPart(folded, 0, m_segments).has_value();
}

std::optional<Span> Pattern::search(const QString& text, qsizetype from) const {
    if (m_empty || text.isEmpty() || from < 0 || from >= text.size())
        return std::nullopt;
    if (m_useRegex)
        return regexSearch(text, from);
    const FoldedText f = fold(text, m_matchCase, m_matchByte, m_foldKana);
    if (m_lookAt == LookAt::Whole) {
        if (from != 0 || !matchWhole(f.chars, m_segments))
            return std::nullopt;
        return Span{0, text.size()};
    }
    // The first folded character that starts at or after `from`.
    const auto it = std::lower_bound(f.origin.begin(), f.origin.end() - 1, from);
    const auto foldedFrom = static_cast<qsizetype>(it - f.origin.begin());
    const auto m = searchPart(f.chars, foldedFrom, m_segments);
    if (!m)
        return std::nullopt;
    const qsizetype start = f.origin[static_cast<size_t>(m->first)];
    return Span{start, f.origin[static_cast<size_t>(m->second)] - start};
}

Replacement Pattern::replace(const QString& text, const QString& replacement) const {
    Replacement result;
    result.text = text;
    if (m_empty || text.isEmpty())
        return result;
    if (m_useRegex)
        return regexReplace(text, replacement);
    const FoldedText f = fold(text, m_matchCase, m_matchByte, m_foldKana);
    if (m_lookAt == LookAt::Whole) {
        if (matchWhole(f.chars, m_segments)) {
            result.text = replacement;
            result.occurrences = 1;
            result.changed = replacement != text;
        }
        return result;
    }
    QString out;
    qsizetype copied = 0; // original text before this index is already in `out`
    qsizetype pos = 0;
    while (const auto m = searchPart(f.chars, pos, m_segments)) {
        const qsizetype start = f.origin[static_cast<size_t>(m->first)];
        out += QStringView(text).mid(copied, start - copied);
        out += replacement;
        copied = f.origin[static_cast<size_t>(m->second)];
        pos = m->second;
        ++result.occurrences;
    }
    return finished(text, std::move(out), copied, result.occurrences);
}

// ---------------------------------------------------------------------------
// Regular expressions
//
// The expression runs over the cell text folded for width and kana (case is
// the expression's own option), and every span it gives is mapped back to
// the text as it was, as the wildcard matching does.

namespace {

// A cell text as the expression sees it. Without folding the text is used as
// it is and the indexes need no map.
struct RegexText {
    QString folded;
    std::vector<qsizetype> origin; // empty: the identity
    qsizetype at(qsizetype i) const { return origin.empty() ? i : origin[size_t(i)]; }
};

RegexText regexText(const QString& text, bool matchByte, bool foldKana) {
    RegexText r;
    if (matchByte && !foldKana)
        r.folded = text;
    else
        foldForRegex(text, matchByte, foldKana, r.folded, &r.origin);
    return r;
}

} // namespace

void Pattern::compileRegex(const QString& what) {
    // The message and place are those of What as typed.
    const QRegularExpression typed(what);
    if (!typed.isValid()) {
        m_error = SyntaxError{typed.errorString(), typed.patternErrorOffset()};
        return;
    }
    QString source = regexSource(what, m_matchByte, m_foldKana);
    if (m_lookAt == LookAt::Whole)
        source = QStringLiteral("\\A(?:") + source + QStringLiteral(")\\z");
    m_regex = QRegularExpression(source, m_matchCase ? QRegularExpression::NoPatternOption
                                                     : QRegularExpression::CaseInsensitiveOption);
    if (!m_regex.isValid()) {
        m_error = SyntaxError{m_regex.errorString(), what.size()};
        return;
    }
    m_regex.optimize();
}

QRegularExpressionMatch Pattern::firstMatch(QStringView folded, qsizetype from) const {
    if (m_lookAt == LookAt::Whole)
        return from == 0 ? m_regex.match(folded) : QRegularExpressionMatch();
    auto it = m_regex.globalMatch(folded, from);
    while (it.hasNext()) {
        QRegularExpressionMatch m = it.next();
        if (m.capturedLength(0) > 0)
            return m;
    }
    return QRegularExpressionMatch();
}

std::optional<Span> Pattern::regexSearch(const QString& text, qsizetype from) const {
    if (m_error)
        return std::nullopt;
    const RegexText f = regexText(text, m_matchByte, m_foldKana);
    qsizetype foldedFrom = from;
    if (!f.origin.empty())
        foldedFrom =
            std::lower_bound(f.origin.begin(), f.origin.end() - 1, from) - f.origin.begin();
    const QRegularExpressionMatch m = firstMatch(f.folded, foldedFrom);
    if (!m.hasMatch())
        return std::nullopt;
    const qsizetype start = f.at(m.capturedStart(0));
    return Span{start, f.at(m.capturedEnd(0)) - start};
}

namespace {

// `replacement` with `$0`..`$9` taken from the match, as the cell's own
// characters; `$$` is one `$`; a `$` before anything else, or before the
// number of a group the expression does not have, stays as it is.
QString expand(const QString& replacement, const QRegularExpressionMatch& m, int groups,
               const QString& text, const RegexText& f) {
    if (!replacement.contains(u'$'))
        return replacement;
    QString out;
    const qsizetype n = replacement.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = replacement.at(i);
        const QChar next = i + 1 < n ? replacement.at(i + 1) : QChar();
        if (c == u'$' && next == u'$') {
            out += u'$';
            ++i;
            continue;
        }
        const int group = next.unicode() - u'0';
        if (c == u'$' && group >= 0 && group <= 9 && group <= groups) {
            if (m.capturedStart(group) >= 0) {
                const qsizetype start = f.at(m.capturedStart(group));
                out += QStringView(text).mid(start, f.at(m.capturedEnd(group)) - start);
            }
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace

Replacement Pattern::regexReplace(const QString& text, const QString& replacement) const {
    Replacement result;
    result.text = text;
    if (m_error)
        return result;
    const RegexText f = regexText(text, m_matchByte, m_foldKana);
    const int groups = m_regex.captureCount();
    QString out;
    qsizetype copied = 0; // original text before this index is already in `out`
    qsizetype pos = 0;
    while (true) {
        const QRegularExpressionMatch m = firstMatch(f.folded, pos);
        if (!m.hasMatch())
            break;
        const qsizetype start = f.at(m.capturedStart(0));
        out += QStringView(text).mid(copied, start - copied);
        out += expand(replacement, m, groups, text, f);
        copied = f.at(m.capturedEnd(0));
        pos = m.capturedEnd(0);
        ++result.occurrences;
        if (m_lookAt == LookAt::Whole || pos >= f.folded.size())
            break;
    }
    return finished(text, std::move(out), copied, result.occurrences);
}

// ---------------------------------------------------------------------------
// Remembered find settings

FindSettings FindSettings::fromFind(const host::FindOptions& options) {
    FindSettings s;
    s.what = options.what;
    s.lookIn = options.lookIn;
    s.lookAt = options.lookAt;
    s.searchOrder = options.searchOrder;
    s.searchDirection = options.searchDirection;
    s.matchCase = options.matchCase;
    s.matchByte = options.matchByte;
    s.useRegex = options.useRegex;
    s.foldKana = options.foldKana;
    return s;
}

host::FindOptions FindSettings::toFindOptions(host::RangePtr after) const {
    host::FindOptions o;
    o.what = what;
    o.after = std::move(after);
    o.lookIn = lookIn;
    o.lookAt = lookAt;
    o.searchOrder = searchOrder;
    o.searchDirection = searchDirection;
    o.matchCase = matchCase;
    o.matchByte = matchByte;
    o.useRegex = useRegex;
    o.foldKana = foldKana;
    return o;
}

Pattern FindSettings::pattern() const {
    return Pattern(what, lookAt, matchCase, matchByte, useRegex, foldKana);
}

bool operator==(const FindSettings& a, const FindSettings& b) {
    return a.what == b.what && a.lookIn == b.lookIn && a.lookAt == b.lookAt &&
           a.searchOrder == b.searchOrder && a.searchDirection == b.searchDirection &&
           a.matchCase == b.matchCase && a.matchByte == b.matchByte && a.useRegex == b.useRegex &&
           a.foldKana == b.foldKana;
}

} // namespace korvex::matcher
