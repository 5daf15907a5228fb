#include "matcher.h"

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
// Folding

namespace {

// Full-width katakana and punctuation for U+FF61..U+FF9F, in code order.
constexpr char16_t kHalfKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, // ｡｢｣､･ｦｧｨ
    0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, // ｩｪｫｬｭｮｯｰ
    0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, // ｱｲｳｴｵｶｷｸ
    0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, // ｹｺｻｼｽｾｿﾀ
    0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, // ﾁﾂﾃﾄﾅﾆﾇﾈ
    0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, // ﾉﾊﾋﾌﾍﾎﾏﾐ
    0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9, 0x30EA, // ﾑﾒﾓﾔﾕﾖﾗﾘ
    0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,         // ﾙﾚﾛﾜﾝﾞﾟ
};
static_assert(sizeof(kHalfKana) / sizeof(kHalfKana[0]) == 0xFF9F - 0xFF61 + 1);

// ¢ £ ¬ ¯ ¦ ¥ ₩ for their full-width forms U+FFE0..U+FFE6.
constexpr char16_t kFullSigns[] = {0x00A2, 0x00A3, 0x00AC, 0x00AF, 0x00A6, 0x00A5, 0x20A9};

constexpr char32_t kVoicedMark = 0xFF9E;
constexpr char32_t kSemiVoicedMark = 0xFF9F;

// The full-width kana a half-width kana (already widened) becomes with a
// following half-width sound mark, or 0 when the pair does not combine.
char32_t combineSoundMark(char32_t kana, char32_t mark) {
    const bool ha = kana == 0x30CF || kana == 0x30D2 || kana == 0x30D5 || kana == 0x30D8 ||
                    kana == 0x30DB; // ハヒフヘホ
    if (mark == kSemiVoicedMark)
        return ha ? kana + 2 : 0;
    if (ha)
        return kana + 1;
    // カ..ト: each base is directly followed by its voiced form. The bases are
    // odd below ッ (U+30C3, which has none) and even above it.
    if (kana >= 0x30AB && kana <= 0x30C8 && (kana < 0x30C3 ? (kana & 1) != 0 : (kana & 1) == 0))
        return kana + 1;
    switch (kana) {
    case 0x30A6: // ウ -> ヴ
        return 0x30F4;
    case 0x30EF: // ワ -> ヷ
        return 0x30F7;
    case 0x30F2: // ヲ -> ヺ
        return 0x30FA;
    default:
        return 0;
    }
}

char32_t widthFold(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E)
        return c - 0xFEE0;
    if (c == 0x3000)
        return 0x20;
    if (c >= 0xFF61 && c <= 0xFF9F)
        return kHalfKana[c - 0xFF61];
    if (c >= 0xFFE0 && c <= 0xFFE6)
        return kFullSigns[c - 0xFFE0];
    return c;
}

char32_t codePointAt(const QChar* s, qsizetype n, qsizetype i, qsizetype* units) {
    const char16_t u = s[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode())) {
        *units = 2;
        return QChar::surrogateToUcs4(u, s[i + 1].unicode());
    }
    *units = 1;
    return u;
}

// Folds `text` into `out`; `origin`, when given, receives where each folded
// code point starts in `text`, plus a final text.size().
void foldInto(QStringView text, bool matchCase, bool matchByte, std::u32string& out,
              std::vector<qsizetype>* origin) {
    out.clear();
    if (origin)
        origin->clear();
    const QChar* s = text.constData();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype start = i;
        qsizetype units = 1;
        char32_t c = codePointAt(s, n, i, &units);
        i += units;
        if (!matchByte) {
            const bool halfKana = c >= 0xFF66 && c <= 0xFF9D;
            c = widthFold(c);
            if (halfKana && i < n) {
                const char32_t next = s[i].unicode();
                if (next == kVoicedMark || next == kSemiVoicedMark) {
                    if (const char32_t combined = combineSoundMark(c, next)) {
                        c = combined;
                        ++i;
                    }
                }
            }
        }
        if (!matchCase)
            c = QChar::toCaseFolded(c);
        out.push_back(c);
        if (origin)
            origin->push_back(start);
    }
    if (origin)
        origin->push_back(n);
}

} // namespace

FoldedText fold(const QString& text, bool matchCase, bool matchByte) {
    FoldedText result;
    foldInto(text, matchCase, matchByte, result.chars, &result.origin);
    return result;
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

Pattern::Pattern(const QString& what, LookAt lookAt, bool matchCase, bool matchByte)
    : m_lookAt(lookAt), m_matchCase(matchCase), m_matchByte(matchByte), m_empty(what.isEmpty()) {
    if (m_empty)
        return;
    // Literal runs are folded as a whole so that a half-width kana and its
    // sound mark typed in the pattern combine just as they do in cell text.
    Segment current;
    QString literal;
    std::u32string folded;
    const auto flushLiteral = [&] {
        if (literal.isEmpty())
            return;
        foldInto(literal, matchCase, matchByte, folded, nullptr);
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
    return Pattern(options.what, options.lookAt, options.matchCase, options.matchByte);
}

Pattern Pattern::fromReplace(const host::ReplaceOptions& options) {
    return Pattern(options.what, options.lookAt, options.matchCase, options.matchByte);
}

bool Pattern::matches(QStringView text) const {
    if (m_empty || text.isEmpty())
        return false;
    thread_local std::u32string folded;
    foldInto(text, m_matchCase, m_matchByte, folded, nullptr);
    if (m_lookAt == LookAt::Whole)
        return matchWhole(folded, m_segments);
    return searchPart(folded, 0, m_segments).has_value();
}

std::optional<Span> Pattern::search(const QString& text, qsizetype from) const {
    if (m_empty || text.isEmpty() || from < 0 || from >= text.size())
        return std::nullopt;
    const FoldedText f = fold(text, m_matchCase, m_matchByte);
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
    const FoldedText f = fold(text, m_matchCase, m_matchByte);
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
    if (result.occurrences == 0)
        return result;
    out += QStringView(text).mid(copied);
    result.changed = out != text;
    result.text = out;
    return result;
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
    return o;
}

Pattern FindSettings::pattern() const {
    return Pattern(what, lookAt, matchCase, matchByte);
}

bool operator==(const FindSettings& a, const FindSettings& b) {
    return a.what == b.what && a.lookIn == b.lookIn && a.lookAt == b.lookAt &&
           a.searchOrder == b.searchOrder && a.searchDirection == b.searchDirection &&
           a.matchCase == b.matchCase && a.matchByte == b.matchByte;
}

} // namespace korvex::matcher
