// Rules of the navigator that need no window: list order, splitter layout and
// clamping, the open dialog's request, the help book and the look-up of the
// system-information program.

#include "app_state.h"
#include "cell_position_dialog.h"
#include "help_book.h"
#include "list_logic.h"
#include "open_close.h"
#include "scripted_ui.h"
#include "system_info.h"
#include "version_dialog.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace korvex::navigator;

class NavigatorLogicTest : public QObject {
    Q_OBJECT
private slots:
    void sortedNames_data();
    void sortedNames();
    void sizeControlsFollowsSplitter();
    void sizeControlsSkipsNegativeSizes();
    void clampSplitter_data();
    void clampSplitter();
    void snapOuterSize();
    void openRequestOffersSpreadsheetsFirst();
    void rememberedFolderEndsWithSeparator();
    void versionAndCellTexts();
    void helpBookLoadsEveryPage();
    void helpSearchNeedsEveryWord();
    void helpBookReportsMissingFile();
    void sysInfo_data();
    void sysInfo();
};

void NavigatorLogicTest::sortedNames_data() {
    QTest::addColumn<QStringList>("in");
    QTest::addColumn<QStringList>("out");
    QTest::newRow("case-insensitive")
        << QStringList{"b.xls", "A.xls", "c.xls"} << QStringList{"A.xls", "b.xls", "c.xls"};
    QTest::newRow("equal names keep order") << QStringList{"book.xls", "BOOK.xls", "Book.xls"}
                                            << QStringList{"book.xls", "BOOK.xls", "Book.xls"};
    QTest::newRow("japanese after latin") << QStringList{"売上.xlsx", "zeta.xls", "Alpha.xls"}
                                          << QStringList{"Alpha.xls", "zeta.xls", "売上.xlsx"};
    QTest::newRow("empty") << QStringList{} << QStringList{};
}

void NavigatorLogicTest::sortedNames() {
    QFETCH(QStringList, in);
    QFETCH(QStringList, out);
    QCOMPARE(korvex::navigator::sortedNames(in), out);
    QCOMPARE(namesForList(in, 0), in);
    QCOMPARE(namesForList(in, -1), out);
}

static ListBoxes designBoxes() {
    ListBoxes b;
    b.bookLabel = {100, 0, 2145, 255};
    b.sheetLabel = {2355, 0, 2125, 255};
    b.splitter = {2250, 0, 105, 1955};
    return b;
}

void NavigatorLogicTest::sizeControlsFollowsSplitter() {
    const ListBoxes b = sizeControls(designBoxes(), 3000, {0, 0, 6000, 3000});
    QCOMPARE(b.bookLabel, (Box{100, 0, 3000 - 105, 255}));
    QCOMPARE(b.bookList, (Box{100, 255, 2895, 3000 - 100 - 255}));
    QCOMPARE(b.sheetLabel, (Box{3105, 0, 6000 - 200 - 2895 - 105, 255}));
    QCOMPARE(b.sheetList, (Box{3105, 255, 2800, 2645}));
    QCOMPARE(b.splitter, (Box{3000, 0, 105, 2645 + 255}));
    QCOMPARE(b.bar.left, 3000);
    QCOMPARE(b.bar.height, b.splitter.height);
    // Both lists always share their height; lists share edges with labels.
    QCOMPARE(b.bookList.height, b.sheetList.height);
}

void NavigatorLogicTest::sizeControlsSkipsNegativeSizes() {
    // A client area too small for the lists: the refused sizes keep their last
    // values, the rest is still laid out.
    const ListBoxes before = designBoxes();
    const ListBoxes b = sizeControls(before, 50, {0, 0, 300, 200});
    QCOMPARE(b.bookLabel.width, before.bookLabel.width); // 50 - 105 < 0
    QCOMPARE(b.bookLabel.left, 100);
    QCOMPARE(b.bookList.height, before.bookList.height); // 200 - 100 - 255 < 0
    QCOMPARE(b.sheetLabel.left, 155);
    QCOMPARE(b.splitter.left, 50);
}

void NavigatorLogicTest::clampSplitter_data() {
    QTest::addColumn<int>("p");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("expected");
    QTest::newRow("far left") << 100 << 4575 << 500;
    QTest::newRow("at left limit") << 500 << 4575 << 500;
    QTest::newRow("inside") << 2000 << 4575 << 2000;
    QTest::newRow("at right limit") << 4075 << 4575 << 4075;
    QTest::newRow("beyond right") << 4500 << 4575 << 4075;
    QTest::newRow("negative") << -300 << 4575 << 500;
}

void NavigatorLogicTest::clampSplitter() {
    QFETCH(int, p);
    QFETCH(int, width);
    QFETCH(int, expected);
    QCOMPARE(korvex::navigator::clampSplitter(p, width), expected);
}

void NavigatorLogicTest::snapOuterSize() {
    QCOMPARE(korvex::navigator::snapOuterSize({100, 100}, MainMinimumOuter), MainMinimumOuter);
    QCOMPARE(korvex::navigator::snapOuterSize({6000, 100}, MainMinimumOuter), QSize(6000, 2750));
    QCOMPARE(korvex::navigator::snapOuterSize({100, 4000}, CloseBooksMinimumOuter),
             QSize(3125, 4000));
    // Pixel minimums never fall short of the twips.
    QVERIFY(toPixelsAtLeast(4700) * Twips >= 4700);
    QVERIFY(toPixelsAtLeast(2750) * Twips >= 2750);
}

void NavigatorLogicTest::openRequestOffersSpreadsheetsFirst() {
    const korvex::OpenFilesRequest r = openRequest(QStringLiteral("Korvex"), QStringLiteral("/x/"));
    QCOMPARE(r.title, QStringLiteral("Korvex"));
    QCOMPARE(r.folder, QStringLiteral("/x/"));
    QVERIFY(r.multiple);
    QCOMPARE(r.filters.size(), 3);
    QCOMPARE(r.selectedFilter, 1);
    QVERIFY(r.filters.at(0).startsWith(QStringLiteral("全てのﾌｧｲﾙ (")));
    QVERIFY(r.filters.at(1).startsWith(QStringLiteral("Microsoft Excel ﾌｧｲﾙ (")));
    QVERIFY(r.filters.at(2).startsWith(QStringLiteral("ﾃｷｽﾄ ﾌｧｲﾙ (")));
    // Patterns are blank-separated for the dialog: each must stand alone.
    for (const QString& f : r.filters) {
        const QString patterns = f.section(QLatin1Char('('), -1).chopped(1);
        for (const QString& p : patterns.split(QLatin1Char(' ')))
            QVERIFY2(p.startsWith(QLatin1Char('*')) && !p.contains(QLatin1Char(';')),
                     qPrintable(f));
    }
    for (const char* ext : {"*.x*", "*.ods", "*.csv"})
        QVERIFY(r.filters.at(1).contains(QLatin1String(ext)));
}

void NavigatorLogicTest::rememberedFolderEndsWithSeparator() {
    QCOMPARE(rememberedFolder({QStringLiteral("/home/u/data/a.xlsx")}),
             QStringLiteral("/home/u/data/"));
    QCOMPARE(rememberedFolder({QStringLiteral("/d/a.xls"), QStringLiteral("/d/b.xls")}),
             QStringLiteral("/d/"));
    QCOMPARE(rememberedFolder({}), QString());
    // A dotted folder name is part of the folder, not a file name.
    QCOMPARE(rememberedFolder({QStringLiteral("/d/data.v1/a.xls")}), QStringLiteral("/d/data.v1/"));
}

void NavigatorLogicTest::versionAndCellTexts() {
    QCOMPARE(Korvex_M01::VersionText(1, 10, 1), QStringLiteral("Version 1.10.01"));
    QCOMPARE(Korvex_M01::VersionText(12, 3, 0), QStringLiteral("Version 12.03.00"));
    QCOMPARE(cellFieldText(QStringLiteral("$AB7")), QStringLiteral("AB7"));
    QCOMPARE(cellFieldText(QStringLiteral("$B12")), QStringLiteral("B12"));
    QCOMPARE(cellFieldText(QStringLiteral("C3")), QStringLiteral("C3"));
}

void NavigatorLogicTest::helpBookLoadsEveryPage() {
    HelpBook book;
    QVERIFY2(book.load(qEnvironmentVariable("KORVEX_RESOURCE_DIR") + QStringLiteral("/help")),
             qPrintable(book.error()));
    QVERIFY(book.contents().size() >= 10);
    QCOMPARE(book.firstPage(), QStringLiteral("index.html"));
    for (const HelpTopic& t : book.contents()) {
        QVERIFY2(!book.pageText(t.page).isEmpty(), qPrintable(t.page));
        QVERIFY(!t.title.isEmpty());
    }
    QVERIFY(!book.keywords().isEmpty());
    // The index reaches every page of the contents.
    std::map<QString, int> perPage;
    for (const HelpKeyword& k : book.keywords())
        ++perPage[k.page];
    for (const HelpTopic& t : book.contents())
        QVERIFY2(perPage[t.page] > 0, qPrintable(t.page));
}

void NavigatorLogicTest::helpSearchNeedsEveryWord() {
    HelpBook book;
    QVERIFY(book.load(qEnvironmentVariable("KORVEX_RESOURCE_DIR") + QStringLiteral("/help")));
    const QStringList both = book.search(QStringLiteral("強制終了 通常終了"));
    QVERIFY(both.contains(QStringLiteral("close_books.html")));
    QVERIFY(!both.contains(QStringLiteral("version.html")));
    QVERIFY(book.search(QStringLiteral("強制終了 存在しない語句xyz")).isEmpty());
    QVERIFY(book.search(QStringLiteral("   ")).isEmpty());
    // Case does not matter.
    QCOMPARE(book.search(QStringLiteral("CTRL+O")), book.search(QStringLiteral("ctrl+o")));

    // Nor does width, in the full text and in the keyword index alike: help
    // pages spell menu captions with half-width kana, users type full-width.
    QTemporaryDir dir;
    const auto page = [&](const char* name, const char* keywords, const char* body) {
        QFile f(dir.path() + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("<html><head><title>") + name +
                "</title><meta name=\"keywords\" content=\"" + keywords + "\"></head><body>" +
                body + "</body></html>");
    };
    page("sort.html", "ｼｰﾄ名ｿｰﾄ,並べ替え", "<p>ﾌﾞｯｸ名ｿｰﾄ(&amp;B)</p>");
    page("keys.html", "ｷｰ", "<p>ＣＴＲＬ＋Ｏ で開く</p>");
    QVERIFY(book.load(dir.path()));
    const QList<std::pair<const char*, QStringList>> searches = {
        {"ソート", {"sort.html"}},    {"ブック名ソート", {"sort.html"}},
        {"ﾌﾞｯｸ名ｿｰﾄ", {"sort.html"}}, {"ctrl+o 開く", {"keys.html"}},
        {"ソート ctrl", {}},
    };
    for (const auto& [query, pages] : searches)
        QCOMPARE(book.search(QString::fromUtf8(query)), pages);
    const auto keywordsFor = [&](const char* filter) {
        QStringList words;
        for (const HelpKeyword& k : book.keywordsMatching(QString::fromUtf8(filter)))
            words << k.keyword;
        return words;
    };
    QCOMPARE(keywordsFor("シート"), QStringList{"ｼｰﾄ名ｿｰﾄ"});
    QCOMPARE(keywordsFor("キー"), QStringList{"ｷｰ"});
    QCOMPARE(keywordsFor("").size(), 3);
}

void NavigatorLogicTest::helpBookReportsMissingFile() {
    QTemporaryDir dir;
    HelpBook book;
    QVERIFY(!book.load(dir.path() + QStringLiteral("/nothing.hlp")));
    QVERIFY(!book.error().isEmpty());
    // An empty folder has nothing to show either.
    QVERIFY(!book.load(dir.path()));
}

// A key-value source holding fixed values.
class FakeSource : public KeyValueSource {
public:
    std::map<QString, QString> values; // "key|value" -> text
    std::optional<QString> query(const QString& root, const QString& key,
                                 const QString& value) const override {
        if (root != QLatin1String(RootLocalMachine))
            return std::nullopt;
        const auto it = values.find(key + QLatin1Char('|') + value);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
};

void NavigatorLogicTest::sysInfo_data() {
    QTest::addColumn<QString>("programPath");   // first look-up ("" = absent)
    QTest::addColumn<QString>("folder");        // second look-up ("" = absent)
    QTest::addColumn<QStringList>("existing");  // files that exist
    QTest::addColumn<QStringList>("onPath");    // programs found on PATH
    QTest::addColumn<QStringList>("startable"); // programs that start
    QTest::addColumn<QString>("started");       // "" = the failure box
    QTest::newRow("named program starts")
        << "/opt/info/sysinfo"
        << "" << QStringList{} << QStringList{} << QStringList{"/opt/info/sysinfo"}
        << "/opt/info/sysinfo";
    QTest::newRow("named program missing: no fallback, box")
        << "/opt/none"
        << "/usr/bin" << QStringList{"/usr/bin/hardinfo"} << QStringList{"hardinfo"}
        << QStringList{"/usr/bin/hardinfo"} << "";
    QTest::newRow("folder with a known program")
        << ""
        << "/opt/tools/" << QStringList{"/opt/tools/kinfocenter"} << QStringList{}
        << QStringList{"/opt/tools/kinfocenter"} << "/opt/tools/kinfocenter";
    QTest::newRow("folder without one falls to PATH")
        << ""
        << "/opt/tools" << QStringList{} << QStringList{"gnome-system-monitor"}
        << QStringList{"/usr/bin/gnome-system-monitor"} << "/usr/bin/gnome-system-monitor";
    QTest::newRow("nothing anywhere")
        << ""
        << "" << QStringList{} << QStringList{} << QStringList{} << "";
}

void NavigatorLogicTest::sysInfo() {
    QFETCH(QString, programPath);
    QFETCH(QString, folder);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, onPath);
    QFETCH(QStringList, startable);
    QFETCH(QString, started);

    FakeSource source;
    if (!programPath.isEmpty())
        source.values[QString::fromLatin1(ProgramKey) + "|" + ProgramValue] = programPath;
    if (!folder.isEmpty())
        source.values[QString::fromLatin1(FolderKey) + "|" + FolderValue] = folder;
    QStringList attempts;
    SysInfoPlatform platform;
    platform.start = [&](const QString& p) {
        attempts << p;
        return startable.contains(p);
    };
    platform.fileExists = [&](const QString& p) { return existing.contains(p); };
    platform.findOnPath = [&](const QString& n) {
        return onPath.contains(n) ? QStringLiteral("/usr/bin/") + n : QString();
    };

    korvex::test::ScriptedUi ui;
    const bool ok = StartSysInfo(source, platform);
    QCOMPARE(ok, !started.isEmpty());
    if (ok) {
        QCOMPARE(attempts, QStringList{started});
        QVERIFY(ui.messages.isEmpty());
    } else {
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages.first().text, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
        QCOMPARE(ui.messages.first().style, korvex::mb::OkOnly);
        QCOMPARE(ui.messages.first().title, QStringLiteral("Korvex"));
    }
}

QTEST_MAIN(NavigatorLogicTest)
#include "tst_navigator_logic.moc"
