// The host contract suite: what the program relies on from any spreadsheet
// host, checked through core/host.h alone.

#include "contract_world.h"
#include "host_helpers.h"

#include "app_state.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <iterator>

using namespace korvex;
using host::HostError;
using host::LookAt;
using host::LookIn;
using host::PageProperty;
using host::SearchOrder;

Q_DECLARE_METATYPE(host::LookIn)
Q_DECLARE_METATYPE(host::LookAt)
Q_DECLARE_METATYPE(host::SearchOrder)

namespace {

// Texts worth searching: hiragana against katakana, half- and full-width
// forms, case, numbers shown with a format, formulas, notes, wildcard signs.
const char* const SearchFixture = R"(
[book 検索.xlsx]
[sheet 果物]
A1 = りんご
C1 = りんごジュース
B2 = リンゴ
A3 = りんご
B4 = Apple
C4 = APPLE
D4 = ａｐｐｌｅ
[sheet 数値]
A1 = 1234 | | 1,234
B2 = =SUM(A1) | 1234 | 1,234
C3 = 単価
note C3 = 税込みの単価
note D4 = 要確認
G2 = '0123
[sheet カナ]
A1 = ｶﾀｶﾅ
B1 = カタカナ
A2 = ｶﾞｽ
B2 = ガス
C2 = がす
[sheet 記号]
A1 = a*b
B1 = a?b
C1 = a~b
D1 = axb
A2 = ab
)";

const char* const BooksFixture = R"(
[book 売上.xlsx]
active
[sheet 1月]
A1 = 一月
[sheet 2月]
active C4
[sheet 3月]
[chart グラフ]

[book 二窓.xlsx]
windows = 2
[sheet 表]
active
active B2

[book PERSONAL.XLSB]
hidden
[sheet Sheet1]
)";

const char* const ReplaceFixture = R"(
[book 置換.xlsx]
[sheet 作業]
A1 = a-a
B1 = a-a
[sheet 保護]
protected
A1 = a-a
)";

// Cells for the bulk operations: the active cell holds a match, a formula
// shows a match its formula text lacks, notes (one on an empty cell), text
// that reads as a number, half-width kana, case and wildcard signs.
const char* const BulkFindFixture = R"(
[book 一括.xlsx]
[sheet 表]
active C3
A1 = りんご
C1 = りんごジュース
E1 = Apple
B2 = リンゴ
D2 = APPLE
A3 = ｱｯﾌﾟﾙ
C3 = りんご
E3 = =CONCATENATE("りん","ご") | りんご
B4 = 1234 | | 1,234
D4 = '0123
A5 = apple*pie
note B2 = りんごの注
note F6 = Apple
)";

// The cells every bulk replace case starts from; each case gets two copies,
// one replaced cell by cell, one in a single call.
const char* const BulkReplaceCells = R"(
A1 = a-a
B1 = A-a
C1 = りんごジュース
D1 = a
A2 = ｶﾀｶﾅです
B2 = 1234
C2 = =SUM(B2) | 1234
A3 = '0123
B3 = 5*3
note C3 = a
A4 = a-a
B4 = 1234
C4 = ｶﾀｶﾅ
A5 = ｶﾀｶﾅ
E2 = a12
E4 = a=1
B5 = 5*3
)";

const char* const PageFixture = R"(
[book 印刷.xlsx]
[sheet 基本]
pagesetup PrintTitleRows = $1:$2
pagesetup PrintTitleColumns = $A:$B
pagesetup PrintArea = $A$1:$F$40
pagesetup LeftHeader = 社外秘
pagesetup CenterHeader = 売上報告
pagesetup RightHeader = 右上
pagesetup LeftFooter = 左下
pagesetup CenterFooter = 中央下
pagesetup RightFooter = 右下
pagesetup LeftMargin = 36
pagesetup RightMargin = 28.8
pagesetup TopMargin = 72
pagesetup BottomMargin = 43.2
pagesetup HeaderMargin = 14.4
pagesetup FooterMargin = 18
pagesetup PrintHeadings = TRUE
pagesetup PrintGridlines = TRUE
pagesetup PrintComments = 1
pagesetup PrintQuality = 300
pagesetup CenterHorizontally = TRUE
pagesetup CenterVertically = TRUE
pagesetup Orientation = 2
pagesetup Draft = TRUE
pagesetup PaperSize = 8
pagesetup FirstPageNumber = 5
pagesetup Order = 2
pagesetup BlackAndWhite = TRUE
pagesetup Zoom = FALSE
pagesetup FitToPagesWide = 1
pagesetup FitToPagesTall = FALSE
[sheet 倍率]
pagesetup Zoom = 75
[sheet 対象]
pagesetup FitToPagesWide = 2
pagesetup FitToPagesTall = 3
)";

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Every occurrence the way the engines collect them: Find, then FindNext
// until the first address comes round again (or nothing comes back).
QStringList walk(host::Sheet& sheet, const host::FindOptions& options) {
    const auto cells = sheet.cells();
    const auto first = cells->find(options);
    if (!first)
        return {};
    QStringList out{first->address()};
    auto hit = first;
    for (int guard = 0; guard < 100; ++guard) {
        hit = cells->findNext(hit);
        if (!hit) {
            out.append(QStringLiteral("<lost>"));
            break;
        }
        if (hit->address() == out.first())
            break;
        out.append(hit->address());
    }
    return out;
}

// What the engines record of each occurrence: its address and value text.
QStringList hitsOf(const std::vector<host::FoundCell>& found) {
    QStringList out;
    for (const auto& f : found)
        out.append(f.address + QLatin1Char('=') + f.valueText);
    return out;
}

// The same through the one-by-one calls: Find, then FindNext until the first
// address comes round again, each hit's value read from its cell.
QStringList hitsOfWalk(host::Sheet& sheet, const host::FindOptions& options) {
    const auto cells = sheet.cells();
    QStringList out;
    QString first;
    for (auto hit = cells->find(options); hit; hit = cells->findNext(hit)) {
        if (hit->address() == first || out.size() > 100)
            break;
        if (first.isEmpty())
            first = hit->address();
        out.append(hit->address() + QLatin1Char('=') + host::valueText(hit->value()));
    }
    return out;
}

// Every non-empty cell of a sheet with its value text.
QStringList snapshot(host::Sheet& sheet) {
    host::FindOptions all;
    all.what = QStringLiteral("*");
    all.lookAt = LookAt::Whole;
    return hitsOf(sheet.findAll(all));
}

// `content` as a search text that finds exactly itself.
QString literal(const QString& content) {
    QString out;
    for (const QChar c : content) {
        if (c == u'*' || c == u'?' || c == u'~')
            out.append(u'~');
        out.append(c);
    }
    return out;
}

// A connector for the helpers that always finds the world's host.
class FixedConnector : public host::Connector {
public:
    explicit FixedConnector(host::ApplicationPtr app) : m_app(std::move(app)) {}
    host::ApplicationPtr attach() override { return m_app; }
    host::ApplicationPtr start() override { return m_app; }

private:
    host::ApplicationPtr m_app;
};

bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double)
        return std::fabs(a.toDouble() - b.toDouble()) < 0.05; // hosts may round to their units
    if (a.typeId() == QMetaType::Bool || b.typeId() == QMetaType::Bool)
        return a.typeId() == b.typeId() && a.toBool() == b.toBool();
    return a.toString() == b.toString();
}

} // namespace

namespace korvex::contract {

class HostContractTest : public QObject {
    Q_OBJECT
public:
    explicit HostContractTest(ContractWorld& world) : m_world(world) {}

private:
    host::ApplicationPtr start(const char* fixture) {
        m_app = m_world.start(text(fixture));
        if (!m_app)
            qFatal("the world did not start a host");
        return m_app;
    }

    ContractWorld& m_world;
    host::ApplicationPtr m_app;

private slots:
    void cleanup() {
        Korvex_M02::SetConnector(nullptr);
        Korvex_M02::ExcelApp.reset();
        m_app.reset();
        m_world.shutdown();
    }

    // -- find ------------------------------------------------------------

    void find_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("what");
        QTest::addColumn<host::LookIn>("lookIn");
        QTest::addColumn<host::LookAt>("lookAt");
        QTest::addColumn<host::SearchOrder>("order");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("matchByte");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("expected");

        const auto F = LookIn::Formulas;
        const auto V = LookIn::Values;
        const auto C = LookIn::Comments;
        const auto P = LookAt::Part;
        const auto W = LookAt::Whole;
        const auto R = SearchOrder::ByRows;
        const auto K = SearchOrder::ByColumns;
        const QString fruit = text("果物");
        const QString ringo = text("りんご");
        QTest::newRow("by rows after A1") << fruit << ringo << F << P << R << false << false << "A1"
                                          << QStringList{"$C$1", "$A$3", "$A$1"};
        QTest::newRow("by columns after A1") << fruit << ringo << F << P << K << false << false
                                             << "A1" << QStringList{"$A$3", "$C$1", "$A$1"};
        QTest::newRow("by rows after B2") << fruit << ringo << F << P << R << false << false << "B2"
                                          << QStringList{"$A$3", "$A$1", "$C$1"};
        QTest::newRow("by columns after B2") << fruit << ringo << F << P << K << false << false
                                             << "B2" << QStringList{"$C$1", "$A$1", "$A$3"};
        QTest::newRow("after the last match wraps")
            << fruit << ringo << F << P << R << false << false << "A3"
            << QStringList{"$A$1", "$C$1", "$A$3"};
        // As the spreadsheet does without After: after the first cell, which comes last.
        QTest::newRow("no after starts after A1") << fruit << ringo << F << P << R << false << false
                                                  << "" << QStringList{"$C$1", "$A$3", "$A$1"};
        QTest::newRow("whole cell only") << fruit << ringo << F << W << R << false << false << "A1"
                                         << QStringList{"$A$3", "$A$1"};
        QTest::newRow("hiragana is not katakana") << fruit << text("リンゴ") << F << P << R << false
                                                  << false << "A1" << QStringList{"$B$2"};
        QTest::newRow("case and width folded") << fruit << "apple" << F << P << R << false << false
                                               << "A1" << QStringList{"$B$4", "$C$4", "$D$4"};
        QTest::newRow("case kept")
            << fruit << "APPLE" << F << P << R << true << false << "A1" << QStringList{"$C$4"};
        QTest::newRow("width kept") << fruit << "apple" << F << P << R << false << true << "A1"
                                    << QStringList{"$B$4", "$C$4"};
        QTest::newRow("case and width kept")
            << fruit << "Apple" << F << P << R << true << true << "A1" << QStringList{"$B$4"};

        const QString kana = text("カナ");
        QTest::newRow("half-width katakana folded")
            << kana << text("カタカナ") << F << P << R << false << false << "A1"
            << QStringList{"$B$1", "$A$1"};
        QTest::newRow("full-width katakana kept") << kana << text("カタカナ") << F << P << R
                                                  << false << true << "A1" << QStringList{"$B$1"};
        QTest::newRow("half-width katakana kept")
            << kana << text("ｶﾀｶﾅ") << F << P << R << false << true << "B2" << QStringList{"$A$1"};
        QTest::newRow("sound mark joins its kana") << kana << text("ガス") << F << W << R << false
                                                   << false << "A1" << QStringList{"$A$2", "$B$2"};

        const QString signs = text("記号");
        QTest::newRow("star") << signs << "a*b" << F << W << R << false << false << "A1"
                              << QStringList{"$B$1", "$C$1", "$D$1", "$A$2", "$A$1"};
        QTest::newRow("question mark") << signs << "a?b" << F << W << R << false << false << "A1"
                                       << QStringList{"$B$1", "$C$1", "$D$1", "$A$1"};
        QTest::newRow("tilde star")
            << signs << "a~*b" << F << W << R << false << false << "A1" << QStringList{"$A$1"};
        QTest::newRow("tilde question mark")
            << signs << "a~?b" << F << W << R << false << false << "A1" << QStringList{"$B$1"};
        QTest::newRow("tilde tilde")
            << signs << "a~~b" << F << W << R << false << false << "A1" << QStringList{"$C$1"};
        QTest::newRow("lone tilde is literal")
            << signs << "a~b" << F << W << R << false << false << "A1" << QStringList{"$C$1"};

        const QString numbers = text("数値");
        QTest::newRow("values: displayed text") << numbers << "1,234" << V << P << R << false
                                                << false << "A1" << QStringList{"$B$2", "$A$1"};
        QTest::newRow("formulas: not the displayed text")
            << numbers << "1,234" << F << P << R << false << false << "A1" << QStringList{};
        QTest::newRow("formulas: constant as entered")
            << numbers << "1234" << F << P << R << false << false << "A1" << QStringList{"$A$1"};
        QTest::newRow("values: not the entered constant")
            << numbers << "1234" << V << P << R << false << false << "A1" << QStringList{};
        QTest::newRow("formulas: text that reads as a number")
            << numbers << "0123" << F << W << R << false << false << "A1" << QStringList{"$G$2"};
        QTest::newRow("formulas: formula text")
            << numbers << "SUM" << F << P << R << false << false << "A1" << QStringList{"$B$2"};
        QTest::newRow("values: not the formula text")
            << numbers << "SUM" << V << P << R << false << false << "A1" << QStringList{};
        QTest::newRow("comments: note text") << numbers << text("税込") << C << P << R << false
                                             << false << "A1" << QStringList{"$C$3"};
        QTest::newRow("comments: note on an empty cell")
            << numbers << text("要確認") << C << P << R << false << false << "A1"
            << QStringList{"$D$4"};
        QTest::newRow("comments: not the cell text")
            << numbers << text("単価") << C << W << R << false << false << "A1" << QStringList{};
    }

    void find() {
        QFETCH(QString, sheet);
        QFETCH(QString, what);
        QFETCH(host::LookIn, lookIn);
        QFETCH(host::LookAt, lookAt);
        QFETCH(host::SearchOrder, order);
        QFETCH(bool, matchCase);
        QFETCH(bool, matchByte);
        QFETCH(QString, after);
        QFETCH(QStringList, expected);

        const auto app = start(SearchFixture);
        const auto ws = app->workbook(text("検索.xlsx"))->worksheet(sheet);
        host::FindOptions options;
        options.what = what;
        options.lookIn = lookIn;
        options.lookAt = lookAt;
        options.searchOrder = order;
        options.matchCase = matchCase;
        options.matchByte = matchByte;
        if (!after.isEmpty())
            options.after = ws->range(after);
        QCOMPARE(walk(*ws, options), expected);
    }

    void findNext_reusesTheLatestFindSettings() {
        const auto app = start(SearchFixture);
        const auto book = app->workbook(text("検索.xlsx"));
        const auto fruit = book->worksheet(text("果物"));
        host::FindOptions options;
        options.what = text("りんご");
        options.lookAt = LookAt::Whole;
        options.searchOrder = SearchOrder::ByColumns;
        options.after = fruit->range("A1");
        const auto hit = fruit->cells()->find(options);
        QVERIFY(hit);
        QCOMPARE(hit->address(), QString("$A$3"));
        // Whole and by columns still hold: C1 holds more than the text.
        QCOMPARE(fruit->cells()->findNext(hit)->address(), QString("$A$1"));

        // The settings belong to the application: a find elsewhere replaces them.
        const auto kana = book->worksheet(text("カナ"));
        host::FindOptions other;
        other.what = text("ガス");
        other.after = kana->range("A1");
        QVERIFY(kana->cells()->find(other));
        QVERIFY(!fruit->cells()->findNext(fruit->range("A1")));
    }

    void find_onlyMatchInTheAfterCellComesBackItself() {
        const auto app = start(SearchFixture);
        const auto kana = app->workbook(text("検索.xlsx"))->worksheet(text("カナ"));
        host::FindOptions options;
        options.what = text("がす");
        options.after = kana->range("C2");
        const auto hit = kana->cells()->find(options);
        QVERIFY(hit);
        QCOMPARE(hit->address(), QString("$C$2"));
        QCOMPARE(kana->cells()->findNext(hit)->address(), QString("$C$2"));
    }

    // -- cells and addresses -----------------------------------------------

    void addresses() {
        const auto app = start(SearchFixture);
        const auto ws = app->workbook(text("検索.xlsx"))->worksheet(text("果物"));
        const auto cell = ws->cell(12, 2);
        QCOMPARE(cell->address(), QString("$B$12"));
        QCOMPARE(cell->address(false, true), QString("$B12"));
        QCOMPARE(cell->address(true, false), QString("B$12"));
        QCOMPARE(cell->address(false, false), QString("B12"));
        QCOMPARE(cell->row(), 12);
        QCOMPARE(cell->column(), 2);
        QCOMPARE(ws->cell(1, 28)->address(), QString("$AB$1"));
        QCOMPARE(ws->range("B2:C3")->address(), QString("$B$2:$C$3"));
        QVERIFY_THROWS_EXCEPTION(HostError, ws->cell(0, 1));
        QVERIFY_THROWS_EXCEPTION(HostError, ws->range(QString::fromUtf8("あ1")));
    }

    void values() {
        const auto app = start(SearchFixture);
        const auto book = app->workbook(text("検索.xlsx"));
        const auto numbers = book->worksheet(text("数値"));
        QCOMPARE(numbers->range("A1")->value().toDouble(), 1234.0);
        QCOMPARE(numbers->range("B2")->value().toDouble(), 1234.0);
        QCOMPARE(numbers->range("C3")->value().toString(), text("単価"));
        QVERIFY(!numbers->range("E5")->value().isValid() ||
                numbers->range("E5")->value().toString().isEmpty());

        const auto cell = numbers->range("F6");
        cell->setValue(text("売上"));
        QCOMPARE(cell->value().toString(), text("売上"));
        cell->setValue(42);
        QCOMPARE(cell->value().toDouble(), 42.0);
    }

    // Whatever the host keeps a value as, it reads back as the same text.
    void values_asText() {
        const auto app = start(R"(
[book 型.xlsx]
[sheet 値]
A1 = 2024/1/5
A2 = 9:05:30
A3 = 2024/1/5 12:30
A4 = TRUE
A5 = FALSE
A6 = 1234567.5 | | 1,234,567.50
A7 = =1>0 | TRUE
A8 = 0.1
)");
        const auto ws = app->workbook(text("型.xlsx"))->worksheet(text("値"));
        const QStringList expected{"2024/01/05", "09:05:30", "2024/01/05 12:30:00",
                                   "True",       "False",    "1234567.5",
                                   "True",       "0.1"};
        for (int row = 1; row <= expected.size(); ++row)
            QCOMPARE(host::valueText(ws->cell(row, 1)->value()), expected[row - 1]);

        // Values written through the interface keep their kind.
        const auto cell = ws->range("B1");
        cell->setValue(QDateTime(QDate(2025, 3, 31), QTime(8, 0), Qt::UTC));
        QCOMPARE(host::valueText(cell->value()), QString("2025/03/31 08:00:00"));
        cell->setValue(true);
        QCOMPARE(host::valueText(cell->value()), QString("True"));

        // A search hit answers with the same value as a fresh read.
        host::FindOptions find;
        find.what = "2024/01/05";
        find.lookIn = LookIn::Values;
        find.lookAt = LookAt::Whole;
        const auto hit = ws->cells()->find(find);
        QVERIFY(hit);
        QCOMPARE(host::valueText(hit->value()), QString("2024/01/05"));
    }

    // -- replace -----------------------------------------------------------

    void replace_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<host::LookAt>("lookAt");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("matchByte");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("result");

        const auto P = LookAt::Part;
        const auto W = LookAt::Whole;
        QTest::newRow("every occurrence") << "a-a"
                                          << "a"
                                          << "b" << P << false << false << "b-b" << true;
        QTest::newRow("empty replacement") << text("りんごジュース") << text("りんご") << "" << P
                                           << false << false << text("ジュース") << true;
        QTest::newRow("whole: part is not enough") << "ab"
                                                   << "a"
                                                   << "b" << W << false << false << "ab" << false;
        QTest::newRow("whole: whole cell") << "ab"
                                           << "ab"
                                           << "cd" << W << false << false << "cd" << true;
        QTest::newRow("case kept") << "Apple apple"
                                   << "apple"
                                   << "pear" << P << true << false << "Apple pear" << true;
        QTest::newRow("case folded") << "Apple apple"
                                     << "apple"
                                     << "pear" << P << false << false << "pear pear" << true;
        QTest::newRow("width folded") << text("ｶﾀｶﾅです") << text("カタカナ") << text("かな") << P
                                      << false << false << text("かなです") << true;
        QTest::newRow("width kept") << text("ｶﾀｶﾅです") << text("カタカナ") << text("かな") << P
                                    << false << true << text("ｶﾀｶﾅです") << false;
        QTest::newRow("star spans as far as it can") << "(a)(b)"
                                                     << "(*)"
                                                     << "x" << P << false << false << "x" << true;
        QTest::newRow("tilde makes the star literal")
            << "5*3"
            << "~*"
            << "x" << P << false << false << "5x3" << true;
        QTest::newRow("replacement holding the text")
            << "a"
            << "a"
            << "aa" << P << false << false << "aa" << true;
        QTest::newRow("text that reads as a number stays text")
            << "'0123"
            << "1"
            << "9" << P << false << false << "0923" << true;
        QTest::newRow("inside a number") << "1234"
                                         << "2"
                                         << "9" << P << false << false << "1934" << true;
    }

    void replace() {
        QFETCH(QString, before);
        QFETCH(QString, what);
        QFETCH(QString, replacement);
        QFETCH(host::LookAt, lookAt);
        QFETCH(bool, matchCase);
        QFETCH(bool, matchByte);
        QFETCH(QString, after);
        QFETCH(bool, result);

        const auto app = start(ReplaceFixture);
        const auto ws = app->workbook(text("置換.xlsx"))->worksheet(text("作業"));
        const auto cell = ws->range("C3");
        cell->setValue(before);
        host::ReplaceOptions options;
        options.what = what;
        options.replacement = replacement;
        options.lookAt = lookAt;
        options.matchCase = matchCase;
        options.matchByte = matchByte;
        QCOMPARE(cell->replace(options), result);
        QCOMPARE(host::valueText(ws->range("C3")->value()), after);
    }

    void replace_touchesOnlyItsCell() {
        const auto app = start(ReplaceFixture);
        const auto ws = app->workbook(text("置換.xlsx"))->worksheet(text("作業"));
        host::ReplaceOptions options;
        options.what = "a";
        options.replacement = "b";
        QVERIFY(ws->range("A1")->replace(options));
        QCOMPARE(ws->range("A1")->value().toString(), QString("b-b"));
        QCOMPARE(ws->range("B1")->value().toString(), QString("a-a"));
    }

    void protectedSheet_refusesChanges() {
        const auto app = start(ReplaceFixture);
        const auto ws = app->workbook(text("置換.xlsx"))->worksheet(text("保護"));
        const auto cell = ws->range("A1");
        host::ReplaceOptions options;
        options.what = "a";
        options.replacement = "b";
        bool refused = false;
        try {
            refused = !cell->replace(options);
        } catch (const HostError&) {
            refused = true;
        }
        QVERIFY(refused);
        QCOMPARE(cell->value().toString(), QString("a-a"));
        QVERIFY_THROWS_EXCEPTION(HostError, cell->setValue("x"));
        QCOMPARE(cell->value().toString(), QString("a-a"));
    }

    // setValueIf writes only over an expected value and as setValue would; a
    // changed cell and a locked one are left alone; a long value is compared
    // by its head when asked; a closed book fails the call.
    void setValueIf_writesOnlyOverAnExpectedValue() {
        using W = host::CheckedWrite;
        const auto app = start(ReplaceFixture);
        const auto book = app->workbook(text("置換.xlsx"));
        const auto ws = book->worksheet(text("作業"));
        const auto a1 = ws->range("A1");
        QCOMPARE(a1->setValueIf({"b-b"}, 0, "x"), W::Changed);
        QCOMPARE(a1->value().toString(), QString("a-a"));
        QCOMPARE(a1->setValueIf({"z", "a-a"}, 0, "12"), W::Written);
        QCOMPARE(a1->value(), QVariant(12.0)); // as typed: a number
        QCOMPARE(ws->range("D9")->setValueIf({QString()}, 0, "new"), W::Written);
        QCOMPARE(ws->range("D9")->value().toString(), QString("new"));
        const auto c2 = ws->range("C2");
        c2->setValue(QString(300, u'x') + text("末"));
        QCOMPARE(c2->setValueIf({QString(255, u'x')}, 0, "short"), W::Changed);
        QCOMPARE(c2->setValueIf({QString(255, u'x')}, 255, "short"), W::Written);
        QCOMPARE(c2->value().toString(), QString("short"));
        const auto locked = book->worksheet(text("保護"))->range("A1");
        QCOMPARE(locked->setValueIf({"a-a"}, 0, "x"), W::Refused);
        QCOMPARE(locked->setValueIf({"b"}, 0, "x"), W::Changed);
        QCOMPARE(locked->value().toString(), QString("a-a"));
        book->close(false);
        QVERIFY_THROWS_EXCEPTION(HostError, a1->setValueIf({"12"}, 0, "y"));
    }

    // A constant is searched and replaced in formulas as the formula bar
    // shows it, whatever number the host keeps it as; a replacement is
    // entered as if typed, so a date that stays a valid date stays a date.
    // One-cell replace and the bulk call agree, and each tells what the cell
    // held with its kind.
    void typedConstants_searchedAndReplacedAsTyped() {
        using Kind = host::CellContent::Kind;
        struct Case {
            const char* cell;
            const char* content; // fixture line
            const char* shown;   // as a search in formulas sees it
            Kind kind;
            const char* what;
            const char* replacement;
            const char* after; // value text afterwards
            int afterType;
        };
        const int Date = QMetaType::QDateTime, Number = QMetaType::Double,
                  Text = QMetaType::QString, Flag = QMetaType::Bool;
        const Case cases[] = {
            {"A1", "2024/2/29", "2024/02/29", Kind::DateTime, "02/29", "03/01", "2024/03/01", Date},
            {"A2", "2024/2/29", "2024/02/29", Kind::DateTime, "29", "30", "2024/02/30", Text},
            {"A3", "9:05:30", "09:05:30", Kind::DateTime, "05", "45", "09:45:30", Date},
            {"A4", "2024/1/5 12:30", "2024/01/05 12:30:00", Kind::DateTime, "12:30", "18:00",
             "2024/01/05 18:00:00", Date},
            {"A5", "12.5% | | 12.5%", "12.5%", Kind::Percent, "12.5", "20", "0.2", Number},
            {"A6", "12.5% | | 12.5%", "12.5%", Kind::Percent, "%", "", "12.5", Number},
            {"A7", "1234 | | $1,234", "1234", Kind::Number, "12", "99", "9934", Number},
            {"A8", "TRUE", "TRUE", Kind::Flag, "TRUE", "FALSE", "False", Flag},
            {"A9", "'0012", "0012", Kind::Text, "00", "99", "9912", Text},
        };
        QString sheetText;
        for (const Case& c : cases)
            sheetText += QStringLiteral("%1 = %2\n").arg(c.cell, text(c.content));
        const auto app = m_world.start(QStringLiteral("[book 型置換.xlsx]\n[sheet 1]\n%1"
                                                      "[sheet 2]\n%1")
                                           .arg(sheetText));
        m_app = app;
        const auto book = app->workbook(text("型置換.xlsx"));
        const auto one = book->worksheet("1");
        const auto bulk = book->worksheet("2");
        // The date's serial number (45351) is not what is searched.
        host::FindOptions serial;
        serial.what = "453";
        QVERIFY(one->findAll(serial).empty());
        for (const Case& c : cases) {
            const QByteArray label = QByteArray(c.cell) + " " + c.content;
            const auto cell = one->range(c.cell);
            host::FindOptions shown;
            shown.what = text(c.shown);
            shown.lookAt = LookAt::Whole;
            shown.after = cell;
            const auto found = one->findAll(shown);
            QVERIFY2(!found.empty() && found.back().address == cell->address(), label);

            host::ReplaceOptions r;
            r.what = text(c.what);
            r.replacement = text(c.replacement);
            QVERIFY2(cell->replace(r), label);
            const QVariant now = cell->value();
            QVERIFY2(host::valueText(now) == text(c.after),
                     label + " " + host::valueText(now).toUtf8());
            QVERIFY2(now.typeId() == c.afterType, label);

            const auto done = bulk->replaceCells(r, {{cell->row(), cell->column()}});
            QVERIFY2(done.size() == 1 && done[0].newValueText == text(c.after), label);
            QVERIFY2(done[0].oldContent.kind == c.kind && done[0].oldContent.text == text(c.shown),
                     label + " " + done[0].oldContent.text.toUtf8());
            QVERIFY2(bulk->range(c.cell)->value().typeId() == c.afterType, label);
        }
        // "2024" finds every date still holding that year, in both sheets.
        host::FindOptions year;
        year.what = "2024";
        QCOMPARE(one->findAll(year).size(), size_t(3));
        QCOMPARE(bulk->findAll(year).size(), size_t(3));
    }

    // -- bulk find and replace ---------------------------------------------

    // findAll gives what the Find/FindNext loop gives, hit for hit and value
    // for value, under every combination of options, and leaves the settings
    // FindNext reuses alone.
    void findAll_equalsTheFindLoop() {
        const auto app = start(BulkFindFixture);
        const auto ws = app->workbook(text("一括.xlsx"))->worksheet(text("表"));
        const QStringList whats{text("りんご"), "apple", text("アップル"), "0123", "*", "a~*p"};
        int compared = 0;
        for (const QString& what : whats)
            for (LookIn lookIn : {LookIn::Formulas, LookIn::Values, LookIn::Comments})
                for (LookAt lookAt : {LookAt::Part, LookAt::Whole})
                    for (SearchOrder order : {SearchOrder::ByRows, SearchOrder::ByColumns})
                        for (int flags = 0; flags < 4; ++flags)
                            for (const QString& after : {QString(), QString("C3")}) {
                                host::FindOptions options;
                                options.what = what;
                                options.lookIn = lookIn;
                                options.lookAt = lookAt;
                                options.searchOrder = order;
                                options.matchCase = (flags & 1) != 0;
                                options.matchByte = (flags & 2) != 0;
                                if (!after.isEmpty())
                                    options.after = ws->range(after);
                                const QStringList walked = hitsOfWalk(*ws, options);
                                const QStringList bulk = hitsOf(ws->findAll(options));
                                QVERIFY2(bulk == walked,
                                         qPrintable(
                                             QStringLiteral("%1 in %2, lookAt %3, order %4, "
                                                            "flags %5, after '%6': %7 / %8")
                                                 .arg(what)
                                                 .arg(int(lookIn))
                                                 .arg(int(lookAt))
                                                 .arg(int(order))
                                                 .arg(flags)
                                                 .arg(after, bulk.join(u' '), walked.join(u' '))));
                                compared += int(walked.size());
                            }
        QVERIFY(compared > 300);

        host::FindOptions values;
        values.what = text("りんご");
        values.lookIn = LookIn::Values;
        values.after = ws->range("C3");
        QCOMPARE(hitsOf(ws->findAll(values)),
                 (QStringList{text("$E$3=りんご"), text("$A$1=りんご"), text("$C$1=りんごジュース"),
                              text("$C$3=りんご")}));

        host::FindOptions apple;
        apple.what = "apple";
        apple.lookAt = LookAt::Whole;
        const auto hit = ws->cells()->find(apple);
        QCOMPARE(hit->address(), QString("$E$1"));
        QVERIFY(!ws->findAll(values).empty());
        QCOMPARE(ws->cells()->findNext(hit)->address(), QString("$D$2"));
    }

    // replaceCells does what Range::replace does cell by cell, touches no
    // cell it is not given, and tells what it found and wrote.
    void replaceCells_equalsReplacingCellByCell() {
        struct Case {
            const char* what;
            const char* replacement;
            LookAt lookAt;
            bool matchCase;
            bool matchByte;
            bool protectedSheet;
        };
        const Case cases[] = {
            {"a", "b", LookAt::Part, false, false, false},
            {"a", "aa", LookAt::Part, true, false, false},
            {"a", "", LookAt::Part, false, false, false},
            {"a-a", "x", LookAt::Whole, false, false, false},
            {"カタカナ", "かな", LookAt::Part, false, false, false},
            {"カタカナ", "かな", LookAt::Part, false, true, false},
            {"SUM", "MAX", LookAt::Part, false, false, false},
            {"2", "9", LookAt::Part, false, false, false},
            {"1", "x", LookAt::Part, false, false, false},
            {"~*", "x", LookAt::Part, false, false, false},
            {"a", "b", LookAt::Part, false, false, true},
        };
        QString fixture = QStringLiteral("[book 置換一括.xlsx]\n");
        for (size_t i = 0; i < std::size(cases); ++i)
            for (const char* copy : {"each", "bulk"})
                fixture += QStringLiteral("[sheet %1%2]\n%3%4")
                               .arg(copy)
                               .arg(i)
                               .arg(cases[i].protectedSheet ? "protected\n" : "")
                               .arg(text(BulkReplaceCells));
        const auto app = m_world.start(fixture);
        m_app = app;
        const auto book = app->workbook(text("置換一括.xlsx"));
        // D1 is left out: it must keep its text. E5 is empty. "a" taken out
        // of E2 leaves a number, out of E4 a formula.
        const std::vector<host::CellPosition> cells{{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3},
                                                    {3, 1}, {3, 2}, {3, 3}, {4, 1}, {4, 2}, {4, 3},
                                                    {5, 1}, {5, 2}, {5, 5}, {2, 5}, {4, 5}};
        using Outcome = host::CellReplacement::Outcome;
        for (size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            const QByteArray label = QByteArray::number(qulonglong(i)) + ": " + c.what;
            host::ReplaceOptions options;
            options.what = text(c.what);
            options.replacement = text(c.replacement);
            options.lookAt = c.lookAt;
            options.matchCase = c.matchCase;
            options.matchByte = c.matchByte;

            const auto each = book->worksheet(QStringLiteral("each%1").arg(i));
            const auto bulk = book->worksheet(QStringLiteral("bulk%1").arg(i));
            const QStringList before = snapshot(*bulk);
            std::vector<Outcome> expected;
            for (const auto& p : cells) {
                try {
                    expected.push_back(each->cell(p.row, p.column)->replace(options)
                                           ? Outcome::Replaced
                                           : Outcome::NoMatch);
                } catch (const HostError&) {
                    expected.push_back(Outcome::Refused);
                }
            }
            const auto done = bulk->replaceCells(options, cells);
            const QStringList after = snapshot(*bulk);
            QVERIFY2(after == snapshot(*each), label);

            QCOMPARE(done.size(), cells.size());
            for (size_t k = 0; k < cells.size(); ++k) {
                const auto& r = done[k];
                const QString where = bulk->cell(cells[k].row, cells[k].column)->address();
                const QByteArray at = label + " " + where.toUtf8();
                QVERIFY2(r.cell == cells[k] && r.address == where, at);
                QVERIFY2(r.outcome == expected[k], at);
                const auto valueIn = [&](const QStringList& shot) {
                    for (const QString& e : shot)
                        if (e.startsWith(where + QLatin1Char('=')))
                            return e.mid(where.size() + 1);
                    return QString();
                };
                QVERIFY2(r.oldValueText == valueIn(before), at);
                if (r.outcome != Outcome::Replaced)
                    continue;
                QVERIFY2(r.newValueText == valueIn(after), at);
                // The cell holds exactly the content reported, as typed.
                if (!r.newContent.isEmpty()) {
                    host::FindOptions exact;
                    exact.what = literal(r.newContent);
                    exact.lookAt = LookAt::Whole;
                    exact.matchCase = exact.matchByte = true;
                    QVERIFY2(hitsOf(bulk->findAll(exact)).join(u'|').contains(where + u'='), at);
                }
            }
            // What is known of the sheet after the call is what a fresh search finds.
            host::FindOptions next;
            next.what = options.replacement.isEmpty() ? QStringLiteral("*") : options.replacement;
            QVERIFY2(hitsOf(bulk->findAll(next)) == hitsOfWalk(*bulk, next), label);
        }
        const auto untouched = book->worksheet("bulk0");
        QCOMPARE(untouched->range("D1")->value().toString(), QString("a"));
        QCOMPARE(untouched->range("A1")->value().toString(), QString("b-b"));
    }

    // Regular expressions and kana folding: both hosts find the same cells
    // (find/findNext and findAll) and replace them alike in one bulk call,
    // groups and `$0` taking the cell's own characters.
    void regexAndKana_findAndReplace() {
        struct Case {
            const char* what;
            const char* replacement;
            const char* flags;   // r regex, k kana, b width kept, c case kept, w whole cell
            const char* changes; // every hit, as it reads after the replacement
        };
        const Case cases[] = {
            {"(\\d+)-(\\d+)-(\\d+)", "$3/$2/$1", "r", "$A$1=日付 09/12/2024"},
            {"[0-9]+", "#", "r", "$A$1=日付 #-#-#|$A$3=cost #|$B$1=#年#月|$C$1=ＡＢＣ#|$D$1=abc#"},
            {"[0-9]+", "#", "rb", "$A$1=日付 #-#-#|$A$3=cost #|$D$1=abc#"},
            {"([a-z]+)(\\d+)", "$2-$1", "r", "$C$1=１２３-ＡＢＣ|$D$1=123-abc"},
            {"([a-z]+)(\\d+)", "$2-$1", "rc", "$D$1=123-abc"},
            {"abc|abc123", "[$0]", "rwb", "$D$1=[abc123]"},
            {"りんご", "みかん", "kb", "$A$2=みかん|$B$2=みかん|$C$2=みかんｼﾞｭｰｽ"},
            {"がす", "ガス", "kbw", "$D$2=ガス"},
            {"^[ぁ-ゖ]+$", "$0!", "rkb", "$A$2=りんご!|$B$2=リンゴ!|$D$2=ｶﾞｽ!"},
            {"5", "$1", "", "$A$3=cost $1"},
            {"(abc", "x", "r", ""},
        };
        QString fixture = QStringLiteral("[book 様式.xlsx]\n");
        for (size_t i = 0; i < std::size(cases); ++i)
            fixture += QStringLiteral("[sheet c%1]\n").arg(i) +
                       text("A1 = 日付 2024-12-09\nB1 = ２０２４年１２月\nC1 = ＡＢＣ１２３\n"
                            "D1 = abc123\nA2 = りんご\nB2 = リンゴ\nC2 = ﾘﾝｺﾞｼﾞｭｰｽ\nD2 = ｶﾞｽ\n"
                            "A3 = cost 5\n");
        start(fixture.toUtf8().constData());
        const std::vector<host::CellPosition> all{{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 1},
                                                  {2, 2}, {2, 3}, {2, 4}, {3, 1}};
        for (size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            const QString flags = QString::fromLatin1(c.flags);
            const QByteArray label = QByteArray::number(qulonglong(i)) + ": " + c.what;
            const auto ws =
                m_app->workbook(text("様式.xlsx"))->worksheet(QStringLiteral("c%1").arg(i));
            host::FindOptions find;
            host::ReplaceOptions replace;
            find.what = replace.what = text(c.what);
            replace.replacement = text(c.replacement);
            find.useRegex = replace.useRegex = flags.contains(u'r');
            find.foldKana = replace.foldKana = flags.contains(u'k');
            find.matchByte = replace.matchByte = flags.contains(u'b');
            find.matchCase = replace.matchCase = flags.contains(u'c');
            find.lookAt = replace.lookAt = flags.contains(u'w') ? LookAt::Whole : LookAt::Part;
            const QStringList changes = text(c.changes).split(u'|', Qt::SkipEmptyParts);
            QStringList hits, found, walked = walk(*ws, find);
            for (const QString& change : changes)
                hits.append(change.section(u'=', 0, 0));
            for (const auto& f : ws->findAll(find))
                found.append(f.address);
            found.sort();
            walked.sort();
            QVERIFY2(found == hits && walked == hits, label + ": " + found.join(u' ').toUtf8());

            QStringList expected = snapshot(*ws);
            for (QString& e : expected)
                for (const QString& change : changes)
                    if (e.section(u'=', 0, 0) == change.section(u'=', 0, 0))
                        e = change;
            for (const auto& r : ws->replaceCells(replace, all))
                QVERIFY2((r.outcome == host::CellReplacement::Outcome::Replaced) ==
                             hits.contains(r.address),
                         label + " " + r.address.toUtf8());
            const QStringList after = snapshot(*ws);
            QVERIFY2(after == expected, label + ": " + after.join(u'|').toUtf8());
        }
    }

    // -- page setup --------------------------------------------------------

    void pageSetup_valuesHaveTheirTypes() {
        const auto app = start(PageFixture);
        const auto book = app->workbook(text("印刷.xlsx"));
        const auto ps = book->worksheet(text("対象"))->pageSetup();
        for (int i = 0; i < host::PagePropertyCount; ++i) {
            const auto p = PageProperty(i);
            if (!m_world.keepsPageProperty(p))
                continue;
            const QVariant v = ps->get(p);
            QVERIFY2(v.isValid(), host::pagePropertyName(p));
            if (i <= int(PageProperty::RightFooter))
                QVERIFY2(v.typeId() == QMetaType::QString, host::pagePropertyName(p));
            else if (i <= int(PageProperty::FooterMargin))
                QVERIFY2(v.typeId() == QMetaType::Double, host::pagePropertyName(p));
        }
        QCOMPARE(ps->get(PageProperty::Orientation).toInt(), host::page::Portrait);
    }

    void pageSetup_copiesAllProperties() {
        const auto app = start(PageFixture);
        const auto book = app->workbook(text("印刷.xlsx"));
        const auto base = book->worksheet(text("基本"))->pageSetup();
        const auto target = book->worksheet(text("対象"));
        Korvex_M02::CopyPageSetup(*target, *base);

        const auto copied = target->pageSetup();
        for (int i = 0; i < host::PagePropertyCount; ++i) {
            const auto p = PageProperty(i);
            if (!m_world.keepsPageProperty(p))
                continue;
            const QVariant want = base->get(p);
            const QVariant got = copied->get(p);
            QVERIFY2(sameValue(want, got), qPrintable(QStringLiteral("%1: base %2, target %3")
                                                          .arg(host::pagePropertyName(p),
                                                               want.toString(), got.toString())));
        }
        QCOMPARE(copied->get(PageProperty::Zoom).typeId(), QMetaType::Bool);
        QCOMPARE(copied->get(PageProperty::Zoom).toBool(), false);
        QCOMPARE(copied->get(PageProperty::Orientation).toInt(), host::page::Landscape);
        QCOMPARE(copied->get(PageProperty::PrintArea).toString(), QString("$A$1:$F$40"));
        // Zoom false carries the base's page counts: one page wide, as many
        // tall as it takes (not the target's own 2 x 3, nor 1 x 1).
        const QPair<QVariant, QVariant> oneWide{1, false};
        QCOMPARE(m_world.fitToPages(text("印刷.xlsx"), text("対象")), oneWide);
        // The base sheet is only read.
        QCOMPARE(m_world.fitToPages(text("印刷.xlsx"), text("基本")), oneWide);
    }

    void pageSetup_copiesAZoomPercentage() {
        const auto app = start(PageFixture);
        const auto book = app->workbook(text("印刷.xlsx"));
        const auto target = book->worksheet(text("対象"));
        Korvex_M02::CopyPageSetup(*target, *book->worksheet(text("倍率"))->pageSetup());
        QCOMPARE(target->pageSetup()->get(PageProperty::Zoom).toInt(), 75);
    }

    // Header and footer texts in the spreadsheet's codes read back as
    // written, on the sheet itself and on a sheet they are copied to; where
    // the host keeps the codes as fields, each code is one field.
    void pageSetup_headerCodesReadBackAsWritten_data() {
        QTest::addColumn<QString>("codes");
        QTest::addColumn<int>("fields");
        QTest::newRow("plain text") << text("社外秘") << 0;
        QTest::newRow("page of pages") << text("Page &P of &N") << 2;
        QTest::newRow("sheet and file") << text("&A - &F") << 2;
        QTest::newRow("date, time, folder") << text("&D &T &Z") << 3;
        // A path with the name after it is one field where the host has one
        // for both.
        QTest::newRow("codes side by side") << text("&Z&F&P&N") << 3;
        QTest::newRow("literal ampersand") << text("A && B") << 0;
        QTest::newRow("literal ampersand before a code") << text("R&&&D") << 1;
        QTest::newRow("two lines") << text("&A\n- &P -") << 2;
        QTest::newRow("formatting codes") << text("&B太字&B &\"Arial,Bold\"&12小") << 0;
        QTest::newRow("empty") << QString() << 0;
    }

    void pageSetup_headerCodesReadBackAsWritten() {
        QFETCH(QString, codes);
        QFETCH(int, fields);
        const QString book = text("印刷.xlsx");
        const auto app = start(PageFixture);
        const auto sheet = app->workbook(book)->worksheet(text("倍率"));
        const auto ps = sheet->pageSetup();
        ps->set(PageProperty::CenterHeader, codes);
        ps->set(PageProperty::RightFooter, codes);
        const auto target = app->workbook(book)->worksheet(text("対象"));
        Korvex_M02::CopyPageSetup(*target, *ps);

        for (const QString& name : {text("倍率"), text("対象")}) {
            const auto readBack = app->workbook(book)->worksheet(name)->pageSetup();
            for (const auto part : {PageProperty::CenterHeader, PageProperty::RightFooter}) {
                const QString where = name + u' ' + host::pagePropertyName(part);
                QCOMPARE(readBack->get(part).toString(), codes);
                if (const auto n = m_world.headerFooterFields(book, name, part))
                    QVERIFY2(*n == fields,
                             qPrintable(where + QStringLiteral(": %1 fields").arg(*n)));
            }
            QCOMPARE(readBack->get(PageProperty::LeftHeader).toString(), QString());
        }
    }

    // -- books, windows, sheets --------------------------------------------

    void books_inHostOrderWithHiddenOnes() {
        const auto app = start(BooksFixture);
        QCOMPARE(app->workbookCount(), 3);
        QCOMPARE(app->workbook(1)->name(), text("売上.xlsx"));
        QCOMPARE(app->workbook(2)->name(), text("二窓.xlsx"));
        QCOMPARE(app->workbook(3)->name(), QString("PERSONAL.XLSB"));
        QVERIFY(!app->window("PERSONAL.XLSB")->visible());
        QVERIFY(!app->workbook("PERSONAL.XLSB")->window(1)->visible());
        QVERIFY(app->window(text("売上.xlsx"))->visible());
        QCOMPARE(app->workbook(text("売上.xlsx"))->window(1)->caption(), text("売上.xlsx"));
        const auto listed = app->bookList();
        QStringList names;
        QList<bool> shown;
        for (const auto& b : listed) {
            names << b.name;
            shown << b.visible;
        }
        QCOMPARE(names, (QStringList{text("売上.xlsx"), text("二窓.xlsx"), "PERSONAL.XLSB"}));
        QCOMPARE(shown, (QList<bool>{true, true, false}));
    }

    // Showing the office, closing books and what follows never bring a
    // hidden book forward, make it the active one or list it.
    void books_hiddenOneNeverComesForward() {
        const auto app = start(BooksFixture);
        Korvex_M02::SetConnector(std::make_shared<FixedConnector>(app));
        app->setVisible(true);
        Korvex_M02::ShowExcel();
        QVERIFY(!app->window("PERSONAL.XLSB")->visible());
        Korvex_M02::CloseBook(text("売上.xlsx"), false);
        Korvex_M02::ShowExcel();
        QVERIFY(!app->window("PERSONAL.XLSB")->visible());
        QCOMPARE(app->activeWorkbook()->name(), text("二窓.xlsx"));
        Korvex_M02::CloseBook(text("二窓.xlsx"), false);
        Korvex_M02::ShowExcel();
        QVERIFY(!app->window("PERSONAL.XLSB")->visible());
        QVERIFY_THROWS_EXCEPTION(HostError, app->activeWorkbook());
        QStringList books{"stale"};
        QVERIFY(!Korvex_M02::ListBooks(books));
        QVERIFY(books.isEmpty());
    }

    void books_shownInTwoWindows() {
        if (!m_world.supportsMultipleWindows())
            QSKIP("this host shows a book in one window only");
        const auto app = start(BooksFixture);
        const auto book = app->workbook(text("二窓.xlsx"));
        QCOMPARE(book->windowCount(), 2);
        QCOMPARE(book->window(1)->caption(), text("二窓.xlsx:1"));
        QCOMPARE(book->window(2)->caption(), text("二窓.xlsx:2"));
        QVERIFY(app->window(text("二窓.xlsx:2"))->visible());
        QVERIFY_THROWS_EXCEPTION(HostError, app->window(text("二窓.xlsx")));
    }

    void sheets_chartSheetsAreNotWorksheets() {
        const auto app = start(BooksFixture);
        const auto book = app->workbook(text("売上.xlsx"));
        QCOMPARE(book->sheetCount(), 4);
        QCOMPARE(book->worksheetCount(), 3);
        QStringList worksheets;
        for (int i = 1; i <= book->worksheetCount(); ++i)
            worksheets << book->worksheet(i)->name();
        QCOMPARE(worksheets, (QStringList{text("1月"), text("2月"), text("3月")}));
        QStringList listed;
        for (const auto& entry : book->sheetList())
            listed << entry.name + (entry.worksheet ? "" : "*");
        QCOMPARE(listed, (QStringList{text("1月"), text("2月"), text("3月"), text("グラフ*")}));
        // The whole book's worksheets in one call, each handle the sheet named.
        QStringList handed;
        for (const auto& [name, sheet] : book->worksheets())
            handed << name + (sheet->name() == name && sheet->isWorksheet() ? "" : "?");
        QCOMPARE(handed, worksheets);
        const auto chart = book->sheet(4);
        QCOMPARE(chart->name(), text("グラフ"));
        QVERIFY(!chart->isWorksheet());
        QVERIFY(book->sheet(text("1月"))->isWorksheet());
        QVERIFY_THROWS_EXCEPTION(HostError, book->worksheet(text("グラフ")));
        QVERIFY_THROWS_EXCEPTION(HostError, chart->cells());
    }

    void lookups_ofMissingThingsRaise() {
        const auto app = start(BooksFixture);
        QVERIFY_THROWS_EXCEPTION(HostError, app->workbook(text("無い.xlsx")));
        QVERIFY_THROWS_EXCEPTION(HostError, app->workbook(0));
        QVERIFY_THROWS_EXCEPTION(HostError, app->workbook(4));
        QVERIFY_THROWS_EXCEPTION(HostError, app->window(text("無い.xlsx")));
        const auto book = app->workbook(text("売上.xlsx"));
        QVERIFY_THROWS_EXCEPTION(HostError, book->sheet(text("4月")));
        QVERIFY_THROWS_EXCEPTION(HostError, book->sheet(5));
        QVERIFY_THROWS_EXCEPTION(HostError, book->worksheet(4));
        QVERIFY_THROWS_EXCEPTION(HostError, book->window(3));
    }

    void activation_andActiveCell() {
        const auto app = start(BooksFixture);
        QCOMPARE(app->activeWorkbook()->name(), text("売上.xlsx"));
        QCOMPARE(app->activeSheet()->name(), text("1月"));
        QCOMPARE(app->activeCell()->address(), QString("$A$1"));

        // Each sheet remembers its active cell, each book its active sheet;
        // a sheet tells its own without being activated.
        const auto sales = app->workbook(text("売上.xlsx"));
        QCOMPARE(sales->sheet(text("2月"))->cursorCell()->address(), QString("$C$4"));
        QCOMPARE(app->activeSheet()->name(), text("1月"));
        sales->sheet(text("2月"))->activate();
        QCOMPARE(app->activeCell()->address(), QString("$C$4"));
        app->activeSheet()->cell(5, 3)->activate();
        QCOMPARE(app->activeCell()->address(), QString("$C$5"));
        QCOMPARE(app->activeCell()->row(), 5);
        QCOMPARE(app->activeCell()->column(), 3);
        const auto here = app->currentPosition();
        QCOMPARE(QStringList({here.book, here.sheet}),
                 QStringList({text("売上.xlsx"), text("2月")}));
        QCOMPARE(QList<int>({here.row, here.column}), QList<int>({5, 3}));

        app->workbook(text("二窓.xlsx"))->activate();
        QCOMPARE(app->activeWorkbook()->name(), text("二窓.xlsx"));
        QCOMPARE(app->activeSheet()->name(), text("表"));
        QCOMPARE(app->activeCell()->address(), QString("$B$2"));

        sales->activate();
        QCOMPARE(app->activeSheet()->name(), text("2月"));
        QCOMPARE(app->activeCell()->address(), QString("$C$5"));
        sales->sheet(text("1月"))->activate();
        QCOMPARE(sales->activeSheet()->name(), text("1月"));
        QCOMPARE(app->activeCell()->address(), QString("$A$1"));
        QCOMPARE(sales->sheet(text("1月"))->cursorCell()->address(), QString("$A$1"));
        QCOMPARE(sales->sheet(text("2月"))->cursorCell()->address(), QString("$C$5"));
        QCOMPARE(app->activeSheet()->name(), text("1月"));
    }

    void closing_leavesDeadHandles() {
        const auto app = start(BooksFixture);
        const auto book = app->workbook(text("二窓.xlsx"));
        const auto sheet = book->sheet(1);
        book->close(false);
        QCOMPARE(app->workbookCount(), 2);
        QVERIFY_THROWS_EXCEPTION(HostError, book->name());
        QVERIFY_THROWS_EXCEPTION(HostError, sheet->name());
        QVERIFY_THROWS_EXCEPTION(HostError, app->workbook(text("二窓.xlsx")));
    }

    void opening_aWorkbookFile() {
        const auto app = start(BooksFixture);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = m_world.writeWorkbookFile(dir.path(), text("月報.xlsx"),
                                                       text("[sheet 集計]\nA1 = 月報\n"));
        const auto opened = app->openWorkbook(path);
        QVERIFY(opened);
        QCOMPARE(opened->name(), text("月報.xlsx"));
        QCOMPARE(opened->fullName(), QFileInfo(path).absoluteFilePath());
        QCOMPARE(app->workbook(text("売上.xlsx"))->fullName(), text("売上.xlsx"));
        QCOMPARE(app->workbookCount(), 4);
        QCOMPARE(app->activeWorkbook()->name(), text("月報.xlsx"));
        QCOMPARE(opened->worksheet(1)->range("A1")->value().toString(), text("月報"));
        QVERIFY_THROWS_EXCEPTION(HostError, app->openWorkbook(dir.filePath("無い.xlsx")));
        QCOMPARE(app->workbookCount(), 4);
    }

    // A file read without being opened gives the hits it gives open, in a
    // hidden book that no list or lookup of the open books has and that goes
    // again; an open one is read where it is, as it stands; the files
    // stay as they were, with no lock beside them; a damaged one and one
    // saved with a password are refused at once with their reason (nobody is
    // asked for the password) and leave nothing open.
    void readingFiles_leavesThemAsTheyWere() {
        const auto app = start(BooksFixture);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QStringList files{
            m_world.writeWorkbookFile(dir.path(), text("月報.ods"),
                                      text("[sheet 集計]\nA1 = 月報\nC3 = 四月の月報\n"
                                           "[sheet 予算]\nB2 = 月報の予算\n")),
            m_world.writeWorkbookFile(dir.path(), text("顧客.xlsx"),
                                      text("[sheet 一覧]\nB1 = 顧客\nA2 = 月報を送る\n")),
            m_world.writeWorkbookFile(dir.path(), text("一覧.csv"),
                                      text("[sheet 一覧]\nA1 = 名前\nB3 = 月報\n")),
        };
        const QString damaged = dir.filePath(text("壊れた.xlsx"));
        {
            QFile f(damaged);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("PK\x03\x04", 4) + QByteArray(300, '\x7f'));
        }
        const QString locked = m_world.writeWorkbookFile(
            dir.path(), text("鍵付き.ods"), text("password = 秘密\n[sheet 表]\nA1 = 月報\n"));
        auto stamp = [](const QString& path) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                return QString();
            return QString::fromLatin1(
                       QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex()) +
                   QFileInfo(path).lastModified().toString(Qt::ISODateWithMs);
        };
        QStringList before;
        for (const QString& f : files + QStringList{damaged, locked})
            before << stamp(f);
        auto hitsIn = [](const host::WorkbookPtr& book) {
            QStringList hits;
            for (const auto& entry : book->sheetList()) {
                if (!entry.worksheet)
                    continue;
                host::FindOptions options;
                options.what = text("月報");
                for (const auto& hit : book->worksheet(entry.name)->findAll(options))
                    hits << entry.name + "!" + hit.address + "=" + hit.valueText;
            }
            return hits;
        };
        auto locks = [&] {
            return QDir(dir.path()).entryList({".~lock.*"}, QDir::Files | QDir::Hidden);
        };
        const int books = app->workbookCount();
        const QList<QStringList> expected{
            {text("集計!$C$3=四月の月報"), text("集計!$A$1=月報"), text("予算!$B$2=月報の予算")},
            {text("一覧!$A$2=月報を送る")},
            {text("一覧!$B$3=月報")},
        };
        for (qsizetype i = 0; i < files.size(); ++i) {
            const QString active = app->activeWorkbook()->name();
            const auto closed = app->openForReading(files[i]);
            QVERIFY(!closed.wasOpen);
            QCOMPARE(app->workbookCount(), books);
            QCOMPARE(app->activeWorkbook()->name(), active);
            QCOMPARE(int(app->bookList().size()), books);
            QVERIFY_THROWS_EXCEPTION(HostError, app->workbook(closed.book->name()));
            QCOMPARE(hitsIn(closed.book), expected[i]);
            QCOMPARE(locks(), QStringList());
            closed.book->close(false);
            QCOMPARE(app->workbookCount(), books);

            // Opened for work, a comma-separated file asks nothing either.
            // An open book is read as it stands, unsaved edits and all, and
            // stays open; the edit never reaches the file.
            const auto opened = app->openWorkbook(files[i]);
            const auto first = opened->worksheet(1);
            first->range("A9")->setValue(text("月報の追記"));
            const auto inPlace = app->openForReading(files[i]);
            QVERIFY(inPlace.wasOpen);
            QCOMPARE(inPlace.book->name(), opened->name());
            QStringList edited = expected[i];
            edited.insert(1, first->name() + text("!$A$9=月報の追記"));
            QCOMPARE(hitsIn(inPlace.book), edited);
            QCOMPARE(app->workbookCount(), books + 1);
            QCOMPARE(app->activeWorkbook()->name(), opened->name());
            opened->close(false);
        }
        // Both hosts name the same kind of failure, which the user reads.
        const auto failure = [&](const QString& path) {
            try {
                app->openForReading(path);
            } catch (const host::FileReadError& e) {
                return int(e.kind());
            }
            return -1;
        };
        QCOMPARE(failure(damaged), int(host::ReadFailure::Damaged));
        QCOMPARE(failure(locked), int(host::ReadFailure::Protected));
        QCOMPARE(failure(dir.filePath(text("無い.ods"))), int(host::ReadFailure::Missing));
        QCOMPARE(app->workbookCount(), books);
        QStringList after;
        for (const QString& f : files + QStringList{damaged, locked})
            after << stamp(f);
        QCOMPARE(after, before);
        QCOMPARE(locks(), QStringList());
    }

    // -- grouping and dialogs ----------------------------------------------

    void grouping_selectsSheetsTogether() {
        const auto app = start(BooksFixture);
        const auto book = app->workbook(text("売上.xlsx"));
        QCOMPARE(book->window(1)->selectedSheets(), QStringList{text("1月")});

        book->selectSheets({text("3月"), text("1月")});
        QCOMPARE(book->window(1)->selectedSheets(), (QStringList{text("1月"), text("3月")}));
        QCOMPARE(app->activeSheet()->name(), text("3月"));

        // Activating a grouped sheet keeps the group; any other sheet ends it.
        book->sheet(text("1月"))->activate();
        QCOMPARE(book->window(1)->selectedSheets(), (QStringList{text("1月"), text("3月")}));
        book->sheet(text("2月"))->activate();
        QCOMPARE(book->window(1)->selectedSheets(), QStringList{text("2月")});

        QVERIFY_THROWS_EXCEPTION(HostError, book->selectSheets({text("1月"), text("4月")}));
        QCOMPARE(book->window(1)->selectedSheets(), QStringList{text("2月")});
    }

    // A group of every sheet of a book stays whole, on the sheet named first.
    void grouping_everySheet() {
        const auto app = start("[book 全部.xlsx]\n[sheet A]\n[sheet B]\n[sheet C]\n");
        const auto book = app->workbook(text("全部.xlsx"));
        book->selectSheets({"B", "A", "C"});
        QCOMPARE(book->window(1)->selectedSheets(), (QStringList{"A", "B", "C"}));
        QCOMPARE(app->activeSheet()->name(), QStringLiteral("B"));
    }

    void dialogs_runOnTheActiveBook() {
        const auto app = start(BooksFixture);
        QStringList printedGroup;
        const bool scripted = m_world.scriptDialogs([&](host::Dialog dialog, host::Application& a) {
            if (dialog == host::Dialog::PageSetup)
                a.activeSheet()->pageSetup()->set(PageProperty::Orientation, host::page::Landscape);
            else
                printedGroup = a.activeWorkbook()->window(1)->selectedSheets();
            return true;
        });
        if (!scripted)
            QSKIP("this host cannot script its dialogs");
        const auto book = app->workbook(text("売上.xlsx"));
        book->sheet(text("2月"))->activate();
        QVERIFY(app->showDialog(host::Dialog::PageSetup));
        QCOMPARE(book->worksheet(text("2月"))->pageSetup()->get(PageProperty::Orientation).toInt(),
                 host::page::Landscape);
        QCOMPARE(book->worksheet(text("1月"))->pageSetup()->get(PageProperty::Orientation).toInt(),
                 host::page::Portrait);

        book->selectSheets({text("2月"), text("3月")});
        QVERIFY(app->showDialog(host::Dialog::Print));
        QCOMPARE(printedGroup, (QStringList{text("2月"), text("3月")}));
    }

    // -- the application and the helpers over it --------------------------

    void application_showing() {
        const auto app = start(BooksFixture);
        QVERIFY(!app->name().isEmpty());
        QVERIFY(!app->version().isEmpty());
        app->setVisible(true);
        QVERIFY(app->visible());
        app->setWindowState(host::WindowState::Minimized);
        QCOMPARE(app->windowState(), host::WindowState::Minimized);
        app->setWindowState(host::WindowState::Normal);
        QCOMPARE(app->windowState(), host::WindowState::Normal);
        app->bringToFront();
    }

    void helpers_overThisHost() {
        const auto app = start(BooksFixture);
        Korvex_M02::SetConnector(std::make_shared<FixedConnector>(app));

        QStringList books{"stale"};
        QVERIFY(Korvex_M02::ListBooks(books));
        QCOMPARE(books, (QStringList{text("売上.xlsx"), text("二窓.xlsx")}));
        QStringList sheets;
        Korvex_M02::ListSheets(sheets, text("売上.xlsx"));
        QCOMPARE(sheets, (QStringList{text("1月"), text("2月"), text("3月")}));
        QVERIFY(Korvex_M02::IsBookOpen("PERSONAL.XLSB"));
        QVERIFY(!Korvex_M02::IsBookOpen("personal.xlsb"));
        QVERIFY(Korvex_M02::IsSheetExist(text("売上.xlsx"), text("3月")));
        QVERIFY(!Korvex_M02::IsSheetExist(text("売上.xlsx"), text("グラフ")));
        QCOMPARE(Korvex_M02::GetCellValue(), text("一月"));

        Korvex_M02::CellPos start;
        Korvex_M02::GetCurrentPos(start);
        QCOMPARE(start.Book, text("売上.xlsx"));
        QCOMPARE(start.Sheet, text("1月"));
        QCOMPARE(start.Row, 1);
        QCOMPARE(start.Col, 1);

        const Korvex_M02::CellPos elsewhere{text("二窓.xlsx"), text("表"), 7, 4};
        Korvex_M02::GoToPos(elsewhere);
        QCOMPARE(app->activeWorkbook()->name(), text("二窓.xlsx"));
        QCOMPARE(app->activeCell()->address(), QString("$D$7"));
        Korvex_M02::SetCellValue(text("移動先"));
        QCOMPARE(Korvex_M02::GetCellValue(), text("移動先"));

        Korvex_M02::GoToPos(start);
        Korvex_M02::CellPos back;
        Korvex_M02::GetCurrentPos(back);
        QCOMPARE(back.Book, start.Book);
        QCOMPARE(back.Sheet, start.Sheet);
        QCOMPARE(back.Row, 1);
        QCOMPARE(back.Col, 1);
    }
};

int runContract(ContractWorld& world, int argc, char** argv) {
    HostContractTest test(world);
    return QTest::qExec(&test, argc, argv);
}

} // namespace korvex::contract

#include "host_contract_test.moc"
