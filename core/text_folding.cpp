// Folding of texts for the matcher: case, width and kana, with a map back to
// the text as it was (see matcher.h for the rules).

#include "text_folding.h"

#include <QChar>

namespace korvex::matcher {

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

// Katakana to the hiragana of the same sound, where hiragana has the letter
// (ァ..ヶ and the iteration marks ヽヾ; ヷ..ヺ have none and stay).
char32_t kanaFold(char32_t c) {
    if ((c >= 0x30A1 && c <= 0x30F6) || c == 0x30FD || c == 0x30FE)
        return c - 0x60;
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

// The loop of foldInto, compiled apart for kana folding on and off so that
// the common case pays nothing for it.
template <bool FoldKana>
void foldLoop(QStringView text, bool matchCase, bool matchByte, std::u32string& out,
              std::vector<qsizetype>* origin) {
    out.clear();
    if (origin)
        origin->clear();
    const QChar* s = text.constData();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype start = i;
        // ASCII folds to itself but for case, and never combines with what
        // follows: most cell text takes this step alone.
        if (const char16_t u = s[i].unicode(); u < 0x80) {
            out.push_back(!matchCase && u >= u'A' && u <= u'Z' ? char32_t(u + 0x20) : char32_t(u));
            if (origin)
                origin->push_back(start);
            ++i;
            continue;
        }
        qsizetype units = 1;
        char32_t c = codePointAt(s, n, i, &units);
        i += units;
        // Kana folding widens half-width katakana even where width is kept.
        if (!matchByte || (FoldKana && c >= 0xFF66 && c <= 0xFF9F)) {
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
        if (FoldKana)
            c = kanaFold(c);
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

void foldInto(QStringView text, bool matchCase, bool matchByte, bool foldKana, std::u32string& out,
              std::vector<qsizetype>* origin) {
    if (foldKana)
        foldLoop<true>(text, matchCase, matchByte, out, origin);
    else
        foldLoop<false>(text, matchCase, matchByte, out, origin);
}

FoldedText fold(const QString& text, bool matchCase, bool matchByte, bool foldKana) {
    FoldedText result;
    foldInto(text, matchCase, matchByte, foldKana, result.chars, &result.origin);
    return result;
}

void foldForRegex(QStringView text, bool matchByte, bool foldKana, QString& out,
                  std::vector<qsizetype>* origin) {
    thread_local std::u32string chars;
    thread_local std::vector<qsizetype> starts;
    foldInto(text, true, matchByte, foldKana, chars, origin ? &starts : nullptr);
    out.clear();
    out.reserve(text.size());
    if (origin) {
        origin->clear();
        origin->reserve(size_t(text.size()) + 1);
    }
    for (size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        const int units = QChar::requiresSurrogates(c) ? 2 : 1;
        if (units == 2) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
        if (origin)
            origin->insert(origin->end(), size_t(units), starts[i]);
    }
    if (origin)
        origin->push_back(text.size());
}

QString regexSource(const QString& what, bool matchByte, bool foldKana) {
    if (matchByte && !foldKana)
        return what;
    std::u32string chars;
    std::vector<qsizetype> origin;
    foldInto(what, true, matchByte, foldKana, chars, &origin);
    QString out;
    out.reserve(what.size() + 8);
    bool escaped = false; // the previous character was an escaping backslash
    for (size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        const bool widened = c < 0x80 && what.at(origin[i]).unicode() != c;
        if (widened && !escaped && !QChar::isLetterOrNumber(c))
            out += u'\\';
        out += QString::fromUcs4(&c, 1);
        escaped = !escaped && !widened && c == u'\\';
    }
    return out;
}

} // namespace korvex::matcher
