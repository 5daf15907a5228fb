// The find/replace matcher: wildcard, case and width rules, replacement inside
// the unfolded text, and the order in which Find/FindNext visit the matches.

#include "matcher.h"

#include <QTest>

#include <algorithm>

using namespace korvex;
using matcher::CellPosition;
using matcher::Pattern;

Q_DECLARE_METATYPE(host::LookAt)
Q_DECLARE_METATYPE(host::SearchOrder)
Q_DECLARE_METATYPE(host::SearchDirection)

namespace {

constexpr auto Whole = host::LookAt::Whole;
constexpr auto Part = host::LookAt::Part;

// "1,1;2,3" -> positions; "" -> none.
std::vector<CellPosition> positions(const QString& list) {
    std::vector<CellPosition> out;
    for (const QString& item : list.split(u';', Qt::SkipEmptyParts)) {
        const QStringList rc = item.split(u',');
        out.push_back({rc.at(0).toInt(), rc.at(1).toInt()});
    }
    return out;
}

std::optional<CellPosition> position(const QString& text) {
    const auto list = positions(text);
    if (list.empty())
        return std::nullopt;
    return list.front();
}

QString describe(std::optional<CellPosition> p) {
    return p ? QStringLiteral("%1,%2").arg(p->row).arg(p->column) : QString();
}

} // namespace

class MatcherTest : public QObject {
    Q_OBJECT

private slots:
    void matches_data();
    void matches();
    void search_data();
    void search();
    void replace_data();
    void replace();
    void regexAndKana_data();
    void regexAndKana();
    void nextMatch_data();
    void nextMatch();
    void findSettingsRoundTrip();
    void cellTextsFollowLookIn();
    void pathologicalPatternsStayFast();
};

void MatcherTest::matches_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<host::LookAt>("lookAt");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("matchByte");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    const auto row = [](const char* name, const QString& what, host::LookAt at, bool matchCase,
                        bool matchByte, const QString& text, bool expected) {
        QTest::newRow(name) << what << at << matchCase << matchByte << text << expected;
    };
    // Whole versus part.
    row("whole a vs ab", "a", Whole, false, false, "ab", false);
    row("part a in ab", "a", Part, false, false, "ab", true);
    row("whole exact", "ab", Whole, false, false, "ab", true);
    // Wildcards.
    row("star prefix", "a*", Whole, false, false, "abc", true);
    row("star suffix", "*c", Whole, false, false, "abc", true);
    row("star may be empty", "a*c", Whole, false, false, "ac", true);
    row("question needs one", "a?c", Whole, false, false, "ac", false);
    row("question matches one", "a?c", Whole, false, false, "abc", true);
    row("segments may not overlap", "a*a*a", Whole, false, false, "aa", false);
    row("first and last may not overlap", "ab*bc", Whole, false, false, "abc", false);
    row("middle segments in order", "*b*a*", Whole, false, false, "ab", false);
    row("star whole non-empty", "*", Whole, false, false, "x", true);
    row("star whole empty cell", "*", Whole, false, false, "", false);
    row("star part empty cell", "*", Part, false, false, "", false);
    row("question empty cell", "?", Part, false, false, "", false);
    row("part with inner star", "b*d", Part, false, false, "abcde", true);
    row("part star order", "d*b", Part, false, false, "abcde", false);
    // Tilde escapes.
    row("escaped star literal", "~*", Part, false, false, "a*b", true);
    row("escaped star not wild", "~*", Part, false, false, "ab", false);
    row("escaped question not wild", "~?", Part, false, false, "ab", false);
    row("escaped question literal", "~?", Whole, false, false, "?", true);
    row("double tilde one tilde", "~~", Whole, false, false, "~", true);
    row("double tilde not two", "~~", Whole, false, false, "~~", false);
    row("tilde before letter kept", "a~b", Whole, false, false, "a~b", true);
    row("tilde before letter not dropped", "a~b", Whole, false, false, "ab", false);
    row("trailing tilde", "5~", Whole, false, false, "5~", true);
    row("lone tilde", "~", Part, false, false, "x~y", true);
    row("escaped tilde then star", "~~*", Whole, false, false, "~abc", true);
    // Nothing reaches a regex engine.
    row("dot literal", "a.c", Part, false, false, "abc", false);
    row("brackets literal", "[ab]", Whole, false, false, "a", false);
    row("parentheses literal", "(x)", Part, false, false, "f(x)", true);
    row("anchors literal", "^$", Whole, false, false, "^$", true);
    row("backslash literal", "\\d", Whole, false, false, "\\d", true);
    // Formula text is plain text.
    row("formula part", "SUM(", Part, false, false, "=SUM(A1:A3)", true);
    row("formula whole star", "=*", Whole, false, false, "=SUM(A1)", true);
    // Case.
    row("case folded", "abc", Part, false, false, "xABCx", true);
    row("case kept", "abc", Part, true, false, "xABCx", false);
    row("full-width case folded", "ａｂｃ", Whole, false, true, "ＡＢＣ", true);
    row("full-width case kept", "ａｂｃ", Whole, true, true, "ＡＢＣ", false);
    row("umlaut case", "Ä", Whole, false, false, "ä", true);
    row("greek case", "σ", Whole, false, false, "Σ", true);
    // Width.
    row("full-width ascii folded", "abc", Whole, false, false, "ａｂｃ", true);
    row("full-width ascii kept", "abc", Whole, false, true, "ａｂｃ", false);
    row("width and case together", "ABC", Whole, false, false, "ａｂｃ", true);
    row("case kept width folded", "ABC", Whole, true, false, "ａｂｃ", false);
    row("case kept width folded same case", "ABC", Whole, true, false, "ＡＢＣ", true);
    row("digits and signs", "1+1=2", Whole, false, false, "１＋１＝２", true);
    row("ideographic space", "a b", Whole, false, false, "a　b", true);
    row("half-width kana", "カ", Whole, false, false, "ｶ", true);
    row("half-width kana kept", "カ", Whole, false, true, "ｶ", false);
    row("voiced ga", "ガ", Whole, false, false, "ｶﾞ", true);
    row("voiced ga reverse", "ｶﾞ", Whole, false, false, "ガ", true);
    row("semi-voiced pa", "パ", Whole, false, false, "ﾊﾟ", true);
    row("voiced ba", "バ", Whole, false, false, "ﾊﾞ", true);
    row("voiced vu", "ヴ", Whole, false, false, "ｳﾞ", true);
    row("voiced do", "ド", Whole, false, false, "ﾄﾞ", true);
    row("voiced zu after tsu", "ヅ", Whole, false, false, "ﾂﾞ", true);
    row("base is not the voiced kana", "ｶ", Whole, false, false, "ｶﾞ", false);
    row("voiced kept when byte matters", "ガ", Whole, false, true, "ｶﾞ", false);
    row("voiced counts one char", "?", Whole, false, false, "ｶﾞ", true);
    row("voiced counts two when kept", "??", Whole, false, true, "ｶﾞ", true);
    row("lone sound mark", "゛", Whole, false, false, "ﾞ", true);
    row("kana punctuation", "。「」、・ー", Whole, false, false, "｡｢｣､･ｰ", true);
    row("small kana", "ッャ", Whole, false, false, "ｯｬ", true);
    row("yen sign", "¥", Whole, false, false, "￥", true);
    row("hiragana is not katakana", "が", Whole, false, false, "ガ", false);
    row("hiragana is not half-width", "か", Whole, false, false, "ｶ", false);
    // Empty pattern and other code planes.
    row("empty pattern part", "", Part, false, false, "abc", false);
    row("empty pattern empty text", "", Whole, false, false, "", false);
    row("surrogate pair is one char", "?", Whole, false, false, "𠀋", true);
}

void MatcherTest::matches() {
    QFETCH(QString, what);
    QFETCH(host::LookAt, lookAt);
    QFETCH(bool, matchCase);
    QFETCH(bool, matchByte);
    QFETCH(QString, text);
    QFETCH(bool, expected);

    const Pattern pattern(what, lookAt, matchCase, matchByte);
    QCOMPARE(pattern.matches(text), expected);
    // search() must agree with matches() for a search from the start.
    QCOMPARE(pattern.search(text).has_value(), expected);
}

void MatcherTest::search_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<host::LookAt>("lookAt");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("start"); // -1: no match
    QTest::addColumn<int>("length");

    QTest::newRow("first") << "b" << Part << "abcb" << 0 << 1 << 1;
    QTest::newRow("from later") << "b" << Part << "abcb" << 2 << 3 << 1;
    QTest::newRow("nothing after") << "b" << Part << "abcb" << 4 << -1 << 0;
    QTest::newRow("greedy star to end") << "a*" << Part << "xabc" << 0 << 1 << 3;
    QTest::newRow("greedy across brackets") << "(*)" << Part << "(a)(b)" << 0 << 0 << 6;
    QTest::newRow("leftmost before longest") << "a*c" << Part << "xacbac" << 0 << 1 << 5;
    QTest::newRow("star alone") << "*" << Part << "abc" << 0 << 0 << 3;
    QTest::newRow("star alone from middle") << "*" << Part << "abc" << 1 << 1 << 2;
    QTest::newRow("voiced span in original") << "ガ" << Part << "xｶﾞy" << 0 << 1 << 2;
    QTest::newRow("from inside voiced pair") << "ｷﾞ" << Part << "ｶﾞｷﾞ" << 1 << 2 << 2;
    QTest::newRow("surrogate span") << "b" << Part << "𠀋b" << 0 << 2 << 1;
    QTest::newRow("whole from start") << "a*" << Whole << "abc" << 0 << 0 << 3;
    QTest::newRow("whole not from middle") << "a*" << Whole << "abc" << 1 << -1 << 0;
}

void MatcherTest::search() {
    QFETCH(QString, what);
    QFETCH(host::LookAt, lookAt);
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, start);
    QFETCH(int, length);

    const auto span = Pattern(what, lookAt, false, false).search(text, from);
    if (start < 0) {
        QVERIFY(!span);
        return;
    }
    QVERIFY(span);
    QCOMPARE(span->start, qsizetype(start));
    QCOMPARE(span->length, qsizetype(length));
}

void MatcherTest::replace_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<host::LookAt>("lookAt");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("matchByte");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("occurrences");

    const auto row = [](const char* name, const QString& what, host::LookAt at, bool matchCase,
                        bool matchByte, const QString& text, const QString& replacement,
                        const QString& expected, int occurrences) {
        QTest::newRow(name) << what << at << matchCase << matchByte << text << replacement
                            << expected << occurrences;
    };
    row("every occurrence", "a", Part, false, false, "a-a", "b", "b-b", 2);
    row("empty replacement deletes", "a", Part, false, false, "banana", "", "bnn", 3);
    row("whole replaces all", "a", Whole, false, false, "a", "b", "b", 1);
    row("whole needs whole", "a", Whole, false, false, "ab", "b", "ab", 0);
    row("whole star empties", "*", Whole, false, false, "abc", "", "", 1);
    row("replacement contains pattern", "a", Part, false, false, "aXa", "aa", "aaXaa", 2);
    row("same text", "a", Part, false, false, "abc", "a", "abc", 1);
    row("greedy star", "a*", Part, false, false, "xabc", "X", "xX", 1);
    row("greedy brackets", "(*)", Part, false, false, "f(a) + g(b)", "", "f", 1);
    row("question each char", "?", Part, false, false, "ab", "x", "xx", 2);
    row("star whole text", "*", Part, false, false, "abc", "x", "x", 1);
    row("case folded", "A", Part, false, false, "aAa", "x", "xxx", 3);
    row("case kept", "A", Part, true, false, "aAa", "x", "axa", 1);
    row("replacement wildcards literal", "ギ", Part, false, false, "ガギグ", "*?", "ガ*?グ", 1);
    row("replacement tilde literal", "a", Part, false, false, "a", "~*~", "~*~", 1);
    row("escaped star", "~*", Part, false, false, "2*3*4", "x", "2x3x4", 2);
    row("full-width both", "abc", Part, false, false, "ａｂｃとabc", "X", "XとX", 2);
    row("full-width kept", "abc", Part, false, true, "ａｂｃとabc", "X", "ａｂｃとX", 1);
    // Folding shortens ｶﾞ to one character; the replacement must still land on
    // the right stretch of the unfolded text and leave the rest untouched.
    row("full-width ga in half-width", "ガ", Part, false, false, "ｶﾞｷﾞｸﾞ", "カ", "カｷﾞｸﾞ", 1);
    row("half-width gi in half-width", "ｷﾞ", Part, false, false, "ｶﾞｷﾞｸﾞ", "x", "ｶﾞxｸﾞ", 1);
    row("half-width pattern mixed text", "ｶﾞ", Part, false, false, "ガｶﾞ", "ka", "kaka", 2);
    row("pa among ha and ba", "ﾊﾟ", Part, false, false, "ﾊﾊﾟﾊﾞ", "P", "ﾊPﾊﾞ", 1);
    row("wildcard over voiced", "ｷ*ｸ", Part, false, false, "ｶﾞｷｰｸﾞｸ", "_", "ｶﾞ_", 1);
    row("question over voiced", "?ｷﾞ", Part, false, false, "aｶﾞｷﾞb", "_", "a_b", 1);
    row("voiced kept with byte", "ガ", Part, false, true, "ｶﾞガ", "x", "ｶﾞx", 1);
    row("surrogate", "𠀋", Part, false, false, "a𠀋b", "x", "axb", 1);
    row("formula text", "A1", Part, false, false, "=SUM(A1:A3)", "B2", "=SUM(B2:A3)", 1);
    row("empty text", "x", Part, false, false, "", "y", "", 0);
    row("empty pattern", "", Part, false, false, "abc", "x", "abc", 0);
}

void MatcherTest::replace() {
    QFETCH(QString, what);
    QFETCH(host::LookAt, lookAt);
    QFETCH(bool, matchCase);
    QFETCH(bool, matchByte);
    QFETCH(QString, text);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QFETCH(int, occurrences);

    const auto r = Pattern(what, lookAt, matchCase, matchByte).replace(text, replacement);
    QCOMPARE(r.text, expected);
    QCOMPARE(r.occurrences, occurrences);
    QCOMPARE(r.changed, expected != text);
}

// Regular-expression and kana rules the host contract does not reach: empty
// matches, `$` forms, What's own full-width signs, spans mapped back, errors.
void MatcherTest::regexAndKana_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("flags"); // r regex, k kana, b width kept, c case kept, w whole
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("occurrences");
    QTest::addColumn<int>("spanStart"); // of search(text, 1); -1: none
    QTest::addColumn<int>("spanLength");

    const auto row = [](const char* name, const char* what, const char* flags, const char* text,
                        const char* replacement, const char* expected, int occurrences,
                        int spanStart, int spanLength) {
        QTest::newRow(name) << QString::fromUtf8(what) << QString::fromLatin1(flags)
                            << QString::fromUtf8(text) << QString::fromUtf8(replacement)
                            << QString::fromUtf8(expected) << occurrences << spanStart
                            << spanLength;
    };
    row("empty matches are no match", "x*", "r", "abxx", "Y", "abY", 1, 2, 2);
    row("dollar forms", "(a)", "r", "a", "$$1 $x $5 $", "$1 $x $5 $", 1, -1, 0);
    row("group that took no part", "(a)|b", "r", "b", "[$1]", "[]", 1, -1, 0);
    row("full-width brackets stay literal", "（\\d+）", "r", "(12)と（３）", "<$0>",
        "<(12)>と<（３）>", 2, 5, 3);
    row("width kept: full-width brackets only", "（\\d+）", "rb", "(12)と（3）", "<$0>",
        "(12)と<（3）>", 1, 5, 3);
    row("case folded by the expression", "ä+", "r", "ÄäA", "x", "xA", 1, 1, 1);
    row("case kept", "ä+", "rc", "ÄäA", "x", "ÄxA", 1, 1, 1);
    row("half-width kana span maps back", "ん.", "rk", "ﾘﾝｺﾞ", "<$0>", "ﾘ<ﾝｺﾞ>", 1, 1, 3);
    row("kana wildcard counts a voiced kana once", "?んご", "k", "ﾘﾝｺﾞとりんご", "x", "xとx", 2, 5,
        3);
    row("bad expression matches nothing", "a)", "r", "a)", "x", "a)", 0, -1, 0);
}

void MatcherTest::regexAndKana() {
    QFETCH(QString, what);
    QFETCH(QString, flags);
    QFETCH(QString, text);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QFETCH(int, occurrences);
    QFETCH(int, spanStart);
    QFETCH(int, spanLength);

    const Pattern p(what, flags.contains(u'w') ? Whole : Part, flags.contains(u'c'),
                    flags.contains(u'b'), flags.contains(u'r'), flags.contains(u'k'));
    const auto r = p.replace(text, replacement);
    QCOMPARE(r.text, expected);
    QCOMPARE(r.occurrences, occurrences);
    QCOMPARE(p.matches(text), occurrences > 0);
    const auto span = p.search(text, 1);
    QCOMPARE(span ? int(span->start) : -1, spanStart);
    if (span)
        QCOMPARE(int(span->length), spanLength);
    // An expression that does not parse says why and where, as typed.
    QCOMPARE(bool(p.error()), what == QStringLiteral("a)"));
    if (p.error())
        QVERIFY(p.error()->offset == 1 && !p.error()->message.isEmpty());
}

void MatcherTest::nextMatch_data() {
    QTest::addColumn<QString>("matches");
    QTest::addColumn<QString>("after");
    QTest::addColumn<host::SearchOrder>("order");
    QTest::addColumn<host::SearchDirection>("direction");
    QTest::addColumn<QString>("expected");

    constexpr auto Rows = host::SearchOrder::ByRows;
    constexpr auto Cols = host::SearchOrder::ByColumns;
    constexpr auto Next = host::SearchDirection::Next;
    constexpr auto Prev = host::SearchDirection::Previous;
    QTest::newRow("next in row order") << "5,2;1,1;2,3"
                                       << "2,3" << Rows << Next << "5,2";
    QTest::newRow("same row further right") << "2,1;2,5;3,1"
                                            << "2,3" << Rows << Next << "2,5";
    QTest::newRow("wraps to start") << "5,2;1,1;2,3"
                                    << "5,2" << Rows << Next << "1,1";
    QTest::newRow("after cell comes last") << "2,3"
                                           << "2,3" << Rows << Next << "2,3";
    QTest::newRow("after not a match") << "5,2;1,1;2,3"
                                       << "3,3" << Rows << Next << "5,2";
    QTest::newRow("no after starts after A1") << "5,2;1,1;2,3"
                                              << "" << Rows << Next << "2,3";
    QTest::newRow("no after A1 only") << "1,1"
                                      << "" << Rows << Next << "1,1";
    QTest::newRow("rows differ from columns") << "1,2;2,1"
                                              << "1,1" << Rows << Next << "1,2";
    QTest::newRow("columns") << "1,2;2,1"
                             << "1,1" << Cols << Next << "2,1";
    QTest::newRow("columns same column lower") << "1,1;4,1;1,2"
                                               << "2,1" << Cols << Next << "4,1";
    QTest::newRow("columns wrap") << "1,1;4,1;1,2"
                                  << "3,2" << Cols << Next << "1,1";
    QTest::newRow("sheet corner") << "1048576,16384;1,16384"
                                  << "1048576,1" << Rows << Next << "1048576,16384";
    QTest::newRow("corner wraps") << "1048576,16384;1,16384"
                                  << "1048576,16384" << Rows << Next << "1,16384";
    QTest::newRow("duplicates") << "2,2;2,2;1,1"
                                << "1,1" << Rows << Next << "2,2";
    QTest::newRow("nothing") << ""
                             << "1,1" << Rows << Next << "";
    QTest::newRow("previous") << "5,2;1,1;2,3"
                              << "2,3" << Rows << Prev << "1,1";
    QTest::newRow("previous wraps") << "5,2;1,1;2,3"
                                    << "1,1" << Rows << Prev << "5,2";
    QTest::newRow("previous no after") << "5,2;1,1;2,3"
                                       << "" << Rows << Prev << "5,2";
}

void MatcherTest::nextMatch() {
    QFETCH(QString, matches);
    QFETCH(QString, after);
    QFETCH(host::SearchOrder, order);
    QFETCH(host::SearchDirection, direction);
    QFETCH(QString, expected);

    const auto cells = positions(matches);
    const auto anchor = position(after);
    QCOMPARE(describe(matcher::nextMatch(cells, anchor, order, direction)), expected);

    auto sorted = cells;
    std::sort(sorted.begin(), sorted.end(), matcher::OrderLess{order});
    QCOMPARE(describe(matcher::nextMatchSorted(sorted, anchor, order, direction)), expected);
}

void MatcherTest::findSettingsRoundTrip() {
    host::FindOptions options;
    options.what = "ｶﾞ*";
    options.lookIn = host::LookIn::Comments;
    options.lookAt = Whole;
    options.searchOrder = host::SearchOrder::ByColumns;
    options.matchCase = true;
    options.matchByte = false;

    const auto settings = matcher::FindSettings::fromFind(options);
    const auto back = settings.toFindOptions();
    QCOMPARE(matcher::FindSettings::fromFind(back), settings);
    QVERIFY(!back.after);
    QVERIFY(settings.pattern().matches("ガギ"));
    QVERIFY(!settings.pattern().matches("xガ")); // Whole kept

    auto other = settings;
    other.matchByte = true;
    QVERIFY(other != settings);
}

void MatcherTest::cellTextsFollowLookIn() {
    const matcher::CellTexts texts{"=A1*2", "42", "note"};
    QCOMPARE(matcher::textFor(texts, host::LookIn::Formulas), QString("=A1*2"));
    QCOMPARE(matcher::textFor(texts, host::LookIn::Values), QString("42"));
    QCOMPARE(matcher::textFor(texts, host::LookIn::Comments), QString("note"));
}

void MatcherTest::pathologicalPatternsStayFast() {
    // Backtracking matchers go exponential on these (the test would not end
    // within its time limit); ours must not. bench/matcher_bench measures it.
    const QString longText(32767, u'a');
    for (const auto at : {Whole, Part}) {
        const Pattern p("*a*a*a*a*a*a*a*a*a*a*b", at, false, false);
        QVERIFY(!p.matches(longText));
        QVERIFY(p.replace(longText, "x").occurrences == 0);
    }
    const Pattern q("?", Part, false, false);
    QCOMPARE(q.replace(longText, "").text, QString());

    // One find over a large sheet: one compiled pattern, many cells.
    const Pattern cellPattern("*ｶﾞ*1", Part, false, false);
    int hits = 0;
    for (int i = 0; i < 100000; ++i) {
        if (cellPattern.matches(QStringLiteral("商品ガ-%1").arg(i)))
            ++hits;
    }
    QVERIFY(hits > 0);
}

QTEST_GUILESS_MAIN(MatcherTest)
#include "matcher_test.moc"
