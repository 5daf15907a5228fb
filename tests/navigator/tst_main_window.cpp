// The main window driven against the simulated host: filling and sorting the
// lists, the selection chain and its recovery messages, the file menu with
// scripted dialog answers, the close-several-books dialog, the tool windows,
// the splitter, size limits and the settings kept between runs.

#include "close_books_dialog.h"
#include "help_book.h"
#include "nav_list.h"
#include "navigator_env.h"
#include "replace_window.h"
#include "search_window.h"
#include "version_dialog.h"
#include "window_band.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>

#include <memory>

using navtest::Env;

namespace {

const char* kThreeBooks = R"(
[book b.xls]
[sheet S1]
[sheet S2]
active
[book A.xls]
active
[sheet Zeta]
[sheet alpha]
active
[chart Graph]
[sheet Beta]
[book c.xls]
[sheet only]
[book PERSONAL.XLSB]
hidden
[sheet Macros]
)";

NavList* books(Korvex_F01& f) {
    return f.findChild<NavList*>(QStringLiteral("Book_List"));
}
NavList* sheets(Korvex_F01& f) {
    return f.findChild<NavList*>(QStringLiteral("Sheet_List"));
}
QAction* action(Korvex_F01& f, const char* name) {
    return f.findChild<QAction*>(QString::fromLatin1(name));
}
QWidget* child(Korvex_F01& f, const char* name) {
    return f.findChild<QWidget*>(QString::fromLatin1(name));
}
QString activeCell(korvex::sim::SimHost& host) {
    return host.application()->activeCell()->address(false, false);
}
QString activePlace(korvex::sim::SimHost& host) {
    auto app = host.application();
    return app->activeWorkbook()->name() + QLatin1Char('!') + app->activeSheet()->name();
}
void clickEntry(NavList* list, int row) {
    const QRect r = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void menusCarryCaptionsAndShortcuts_data();
    void menusCarryCaptionsAndShortcuts();
    void loadFillsListsFromHost();
    void noHostGivesEmptyListsSilently();
    void onlyHiddenBookGivesEmptyLists();
    void bookSortPairsStayInStep_data();
    void bookSortPairsStayInStep();
    void sheetSortUsesActiveBookCheck();
    void clickingBringsBookAndSheetForward();
    void listsAlwaysShowTheirCurrentEntry();
    void rowsAreEvenWhateverTheScript();
    void moveToCellAfterSheetClick();
    void switchedBookInHostGivesE003();
    void closedBookGivesE001AndRefreshes();
    void persistentListingFailureDoesNotLoop();
    void badCellAddressGivesE002Once();
    void openFilesInRunningHost();
    void openStartsHostAndOpensRestInIt();
    void openCancelledOrFailingChangesNothing_data();
    void openCancelledOrFailingChangesNothing();
    void closeSelectedBook();
    void closeSeveralBooks_data();
    void closeSeveralBooks();
    void closeSeveralDialogLayout();
    void toolWindowsOpenOnceAndCloseWithMain();
    void toolCommandsBeepWithoutHost();
    void modalDialogKeepsMainInFront();
    void splitterDragIsClamped_data();
    void splitterDragIsClamped();
    void restoredSplitterStaysInWindow_data();
    void restoredSplitterStaysInWindow();
    void windowCannotShrinkBelowMinimum();
    void settingsSurviveRestart();
    void fontChoiceReachesBothLists();
    void keyboardOpensTheListMenu();
    void busyPointerFallsBackToWait();
};

void MainWindowTest::menusCarryCaptionsAndShortcuts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shortcut");
    const char* rows[][3] = {
        {"FM_Open", "Excel ﾌｧｲﾙを開く(&O)", "Ctrl+O"},
        {"FM_Close", "Excel ﾌｧｲﾙを閉じる(&E)", "Ctrl+E"},
        {"FM_SelClose", "複数 Excel ﾌｧｲﾙを閉じる(&C)", "Ctrl+A"},
        {"FM_End", "Korvexの終了(&X)", ""},
        {"RM_Book", "Book List(&B)", ""},
        {"RM_Sheet", "Sheet List(&S)", ""},
        {"RM_Excel", "Excel(&E)", "Ctrl+M"},
        {"TM_Search", "検索(&F)", ""},
        {"TM_Replace", "置換(&R)", ""},
        {"TM_PrinterSet", "印刷設定(&P)", ""},
        {"OM_Activate", "手前に表示(&A)", ""},
        {"OM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)", "Ctrl+B"},
        {"OM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)", "Ctrl+S"},
        {"OM_Font", "ﾌｫﾝﾄ(&F)", ""},
        {"OM_Set", "設定(&O)", ""},
        {"OM_Extension", "Calc に Korvex を追加(&K)", ""},
        {"OM_Help", "ﾍﾙﾌﾟ(&H)", ""},
        {"OM_Version", "ﾊﾞｰｼﾞｮﾝ情報(&V)", ""},
        {"PM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)", ""},
        {"PM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)", ""},
        {"PM_Font", "ﾌｫﾝﾄ(&F)", ""},
    };
    for (const auto& r : rows)
        QTest::newRow(r[0]) << QString::fromLatin1(r[0]) << QString::fromUtf8(r[1])
                            << QString::fromLatin1(r[2]);
}

void MainWindowTest::menusCarryCaptionsAndShortcuts() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, shortcut);
    Env env;
    env.noHost();
    Korvex_F01 f;
    auto* a = f.findChild<QAction*>(name);
    QVERIFY(a);
    QCOMPARE(a->text(), caption);
    QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), shortcut);
    // Menu bar titles, in order; the pop-up is not among them.
    QStringList titles;
    for (QAction* m : f.menuBar()->actions())
        titles << m->text();
    QCOMPARE(titles, (QStringList{"ﾌｧｲﾙ(&F)", "再表示(&R)", "ﾂｰﾙ(&T)", "ｵﾌﾟｼｮﾝ(&O)"}));
    // Every command is told about in the help, under its caption.
    korvex::navigator::HelpBook help;
    QVERIFY(help.load(navtest::resourceDir() + QStringLiteral("/help")));
    const QString bare = QString(caption).remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
    QVERIFY2(!help.search(bare).isEmpty(), qPrintable(bare));
}

void MainWindowTest::loadFillsListsFromHost() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    QCOMPARE(f.windowTitle(), QStringLiteral("Korvex"));
    QCOMPARE(korvex::WindowBand::instance().window(korvex::BandWindow::Main), &f);
    // Visible books in host order; hidden book left out.
    QCOMPARE(books(f)->entries(), (QStringList{"b.xls", "A.xls", "c.xls"}));
    QCOMPARE(books(f)->currentText(), QStringLiteral("A.xls"));
    // Worksheets only, active one current.
    QCOMPARE(sheets(f)->entries(), (QStringList{"Zeta", "alpha", "Beta"}));
    QCOMPARE(sheets(f)->currentText(), QStringLiteral("alpha"));
    QCOMPARE(activePlace(*host), QStringLiteral("A.xls!alpha"));
    QVERIFY(env.ui.messages.isEmpty());
    // Defaults with no settings stored.
    QCOMPARE(Korvex_F01::B_Sort, 0);
    QCOMPARE(Korvex_F01::S_Sort, 0);
    QCOMPARE(Korvex_F01::S_Move, 0);
    QCOMPARE(Korvex_F01::CValue, QStringLiteral("A1"));
    QVERIFY(!korvex::WindowBand::instance().inFront(korvex::BandWindow::Main));
    QVERIFY(!action(f, "OM_Activate")->isChecked());
}

void MainWindowTest::noHostGivesEmptyListsSilently() {
    Env env;
    env.noHost();
    Korvex_F01 f;
    QCOMPARE(books(f)->count(), 0);
    QCOMPARE(sheets(f)->count(), 0);
    QVERIFY(env.ui.messages.isEmpty());
    QCOMPARE(env.connector->startCount, 0);
    // Clicking refresh commands does nothing either.
    f.RM_Book_Click();
    f.RM_Sheet_Click();
    QVERIFY(env.ui.messages.isEmpty());
}

void MainWindowTest::onlyHiddenBookGivesEmptyLists() {
    Env env;
    env.host(QStringLiteral("[book PERSONAL.XLSB]\nhidden\n[sheet M]\n"));
    Korvex_F01 f;
    QCOMPARE(books(f)->count(), 0);
    QCOMPARE(sheets(f)->count(), 0);
}

void MainWindowTest::bookSortPairsStayInStep_data() {
    QTest::addColumn<QString>("toggle");
    QTest::newRow("options menu") << "OM_BookSort";
    QTest::newRow("pop-up menu") << "PM_BookSort";
}

void MainWindowTest::bookSortPairsStayInStep() {
    QFETCH(QString, toggle);
    Env env;
    env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    auto* t = f.findChild<QAction*>(toggle);
    t->trigger();
    QCOMPARE(books(f)->entries(), (QStringList{"A.xls", "b.xls", "c.xls"}));
    QCOMPARE(books(f)->currentText(), QStringLiteral("A.xls"));
    QVERIFY(action(f, "OM_BookSort")->isChecked());
    QVERIFY(action(f, "PM_BookSort")->isChecked());
    QCOMPARE(Korvex_F01::B_Sort, 1);
    t->trigger();
    QCOMPARE(books(f)->entries(), (QStringList{"b.xls", "A.xls", "c.xls"}));
    QVERIFY(!action(f, "OM_BookSort")->isChecked());
    QVERIFY(!action(f, "PM_BookSort")->isChecked());
    QCOMPARE(Korvex_F01::B_Sort, 0);
}

void MainWindowTest::sheetSortUsesActiveBookCheck() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    action(f, "OM_SheetSort")->trigger();
    QCOMPARE(sheets(f)->entries(), (QStringList{"alpha", "Beta", "Zeta"}));
    QCOMPARE(sheets(f)->currentText(), QStringLiteral("alpha"));
    // The user switches books in the host; the toggle keeps its new mark but
    // refuses to list another book's sheets.
    host->activeBook = host->findBook(QStringLiteral("c.xls"));
    action(f, "PM_SheetSort")->trigger();
    QCOMPARE(env.ui.messageIds(), QStringList{"E_F01_003"});
    QCOMPARE(Korvex_F01::S_Sort, 0);
    QVERIFY(!action(f, "OM_SheetSort")->isChecked());
    QCOMPARE(sheets(f)->entries(), (QStringList{"alpha", "Beta", "Zeta"}));
}

void MainWindowTest::clickingBringsBookAndSheetForward() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    clickEntry(books(f), 0);
    QCOMPARE(sheets(f)->entries(), (QStringList{"S1", "S2"}));
    QCOMPARE(activePlace(*host), QStringLiteral("b.xls!S2"));
    clickEntry(sheets(f), 0);
    QCOMPARE(activePlace(*host), QStringLiteral("b.xls!S1"));
    // The user moves on in the host; clicking the current entry again goes back.
    host->activateSheet(host->findSheet(QStringLiteral("b.xls"), QStringLiteral("S2")));
    clickEntry(sheets(f), 0);
    QCOMPARE(activePlace(*host), QStringLiteral("b.xls!S1"));
    // Taking the focus never picks an entry by itself.
    sheets(f)->clearEntries();
    books(f)->setCurrentByProgram(-1);
    sheets(f)->setFocus();
    books(f)->setFocus();
    QCOMPARE(books(f)->currentRow(), -1);
    QVERIFY(env.ui.messages.isEmpty());
}

void MainWindowTest::listsAlwaysShowTheirCurrentEntry() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    f.resize(500, 400);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const auto shownSelected = [](NavList* list) {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        return selected.size() == 1 && selected.first() == list->currentItem();
    };
    for (NavList* list : {books(f), sheets(f)}) {
        const QString current = list->currentText();
        QVERIFY(!current.isEmpty());
        QVERIFY(shownSelected(list));
        // Below the last entry, a Ctrl+click on the current entry, Ctrl+Space.
        const QPoint empty(10, list->viewport()->height() - 5);
        QVERIFY(!list->itemAt(empty));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, empty);
        QVERIFY2(shownSelected(list), qPrintable(list->objectName()));
        const QRect entry = list->visualItemRect(list->currentItem());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, entry.center());
        QVERIFY2(shownSelected(list), qPrintable(list->objectName()));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        QVERIFY2(shownSelected(list), qPrintable(list->objectName()));
        QCOMPARE(list->currentText(), current);
    }
    // The book that Ctrl+E closes is the one shown selected.
    const QString shown = books(f)->selectedItems().first()->text();
    QTest::keyClick(&f, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(host->closed.size(), 1);
    QCOMPARE(host->closed.first().book, shown);
    QVERIFY(env.ui.messages.isEmpty());
}

void MainWindowTest::rowsAreEvenWhateverTheScript() {
    Env env;
    env.host(QStringLiteral("[book sales.xlsx]\n[sheet Jan]\n[sheet 二月]\n[sheet Mar]\n"
                            "[book 売上管理.xlsx]\nactive\n[sheet 1月]\n[sheet Summary]\n"));
    Korvex_F01 f;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    for (NavList* list : {books(f), sheets(f)}) {
        QSet<int> heights;
        for (int i = 0; i < list->count(); ++i)
            heights << list->visualItemRect(list->item(i)).height();
        QVERIFY2(heights.size() == 1, qPrintable(list->objectName()));
    }
    QCOMPARE(sheets(f)->font(), books(f)->font());
}

void MainWindowTest::moveToCellAfterSheetClick() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    env.writeFile(QStringLiteral("korvex.ini"), "[F01_Info]\nS_Move=1\nCValue=B2\n");
    Korvex_F01 f;
    // The chain at load already moved the cursor on the active sheet.
    QCOMPARE(activeCell(*host), QStringLiteral("B2"));
    Korvex_F01::CValue = QStringLiteral("D7");
    sheets(f)->setCurrentByProgram(2);
    QCOMPARE(activePlace(*host), QStringLiteral("A.xls!Beta"));
    QCOMPARE(activeCell(*host), QStringLiteral("D7"));
}

void MainWindowTest::switchedBookInHostGivesE003() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    host->activeBook = host->findBook(QStringLiteral("b.xls"));
    f.RM_Sheet_Click();
    QCOMPARE(env.ui.messageIds(), QStringList{"E_F01_003"});
    QCOMPARE(sheets(f)->entries(), (QStringList{"Zeta", "alpha", "Beta"}));
    QCOMPARE(env.ui.messages.first().title, QStringLiteral("Korvex"));
}

void MainWindowTest::closedBookGivesE001AndRefreshes() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    // c.xls is closed in the host behind the list's back, then clicked.
    host->closeBook(host->findBook(QStringLiteral("c.xls")));
    books(f)->setCurrentByProgram(2);
    QCOMPARE(env.ui.messageIds(), QStringList{"E_F01_001"});
    QCOMPARE(books(f)->entries(), (QStringList{"b.xls", "A.xls"}));
    QCOMPARE(books(f)->currentText(), host->activeBook->name);
    QVERIFY(sheets(f)->count() > 0);
}

void MainWindowTest::persistentListingFailureDoesNotLoop() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    int attempts = 0;
    host->beforeOperation = [&](const QString& op) {
        if (op == QLatin1String("Workbook.sheetList")) {
            ++attempts;
            throw korvex::host::HostError(QStringLiteral("broken"));
        }
    };
    f.RM_Book_Click();
    // One report, one recovery, and the program is still here.
    QCOMPARE(env.ui.messageIds(), QStringList{"E_F01_001"});
    QVERIFY(attempts <= 4);
    host->beforeOperation = nullptr;
    f.RM_Book_Click();
    QCOMPARE(env.ui.messages.size(), 1);
    QCOMPARE(sheets(f)->entries(), (QStringList{"Zeta", "alpha", "Beta"}));
}

void MainWindowTest::badCellAddressGivesE002Once() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    Korvex_F01::S_Move = 1;
    Korvex_F01::CValue = QStringLiteral("not a cell");
    sheets(f)->setCurrentByProgram(0);
    // The recovery refresh picks the active sheet, which fails the same way: it
    // is not recovered again.
    QCOMPARE(env.ui.messageIds(), QStringList{"E_F01_002"});
    QCOMPARE(activePlace(*host), QStringLiteral("A.xls!Zeta"));
    QCOMPARE(sheets(f)->currentText(), QStringLiteral("Zeta"));
}

void MainWindowTest::openFilesInRunningHost() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    QDir(env.dir.path()).mkdir(QStringLiteral("data.v1"));
    const QString p1 = env.writeFile(QStringLiteral("data.v1/new.xlsx"), "[sheet N1]\n");
    const QString p2 = env.writeFile(QStringLiteral("data.v1/more.ods"), "[sheet M1]\n");
    env.ui.queueFiles({p1, p2});
    Korvex_F01 f;
    f.FM_Open_Click();
    QCOMPARE(env.ui.fileRequests.size(), 1);
    const auto& r = env.ui.fileRequests.first();
    QCOMPARE(r.title, QStringLiteral("Korvex"));
    QCOMPARE(r.folder, Korvex_M01::ExeFolder());
    QCOMPARE(r.selectedFilter, 1);
    QVERIFY(r.multiple);
    QCOMPARE(host->opened.size(), 2);
    QCOMPARE(host->opened.at(0).path, p1);
    QVERIFY(host->opened.at(0).options && host->opened.at(0).options->addToMru);
    QCOMPARE(host->opened.at(1).path, p2);
    QVERIFY(books(f)->entries().contains(QStringLiteral("new.xlsx")));
    QVERIFY(books(f)->entries().contains(QStringLiteral("more.ods")));
    QCOMPARE(env.iniText(QStringLiteral("CDialog"), QStringLiteral("Path")),
             env.dir.path() + QStringLiteral("/data.v1/"));
    // The next opening starts in the remembered folder.
    f.FM_Open_Click();
    QCOMPARE(env.ui.fileRequests.at(1).folder, env.dir.path() + QStringLiteral("/data.v1/"));
}

void MainWindowTest::openStartsHostAndOpensRestInIt() {
    Env env;
    env.noHost();
    const QString p1 = env.writeFile(QStringLiteral("one.xlsx"), "[sheet A]\n");
    const QString p2 = env.writeFile(QStringLiteral("two.xlsx"), "[sheet B]\n");
    const QString p3 = env.writeFile(QStringLiteral("three.xlsx"), "[sheet C]\n");
    env.ui.queueFiles({p1, p2, p3});
    Korvex_F01 f;
    f.FM_Open_Click();
    QCOMPARE(env.connector->startCount, 1);
    auto host = env.connector->host();
    QVERIFY(host->visible);
    QCOMPARE(host->bookNames(), (QStringList{"one.xlsx", "two.xlsx", "three.xlsx"}));
    QCOMPARE(books(f)->count(), 3);
    QCOMPARE(env.iniText(QStringLiteral("CDialog"), QStringLiteral("Path")),
             env.dir.path() + QLatin1Char('/'));
}

void MainWindowTest::openCancelledOrFailingChangesNothing_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancelled") << true;
    QTest::newRow("file does not exist") << false;
}

void MainWindowTest::openCancelledOrFailingChangesNothing() {
    QFETCH(bool, cancel);
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    if (!cancel) {
        const QString good = env.writeFile(QStringLiteral("later.xlsx"), "[sheet L]\n");
        env.ui.queueFiles({env.dir.path() + QStringLiteral("/sub/missing.xlsx"), good});
    }
    host->activeBook = host->findBook(QStringLiteral("b.xls"));
    f.FM_Open_Click();
    QCOMPARE(env.iniText(QStringLiteral("CDialog"), QStringLiteral("Path")),
             QStringLiteral("<none>"));
    QVERIFY(env.ui.messages.isEmpty());
    QCOMPARE(host->opened.size(), cancel ? 0 : 1); // the rest is not tried
    // The list was not refreshed (it still shows A.xls as current).
    QCOMPARE(books(f)->currentText(), QStringLiteral("A.xls"));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void MainWindowTest::closeSelectedBook() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    f.FM_Close_Click();
    QCOMPARE(host->closed.size(), 1);
    QCOMPARE(host->closed.first().book, QStringLiteral("A.xls"));
    QVERIFY(!host->closed.first().saveChanges.has_value()); // the host asks
    QVERIFY(!books(f)->entries().contains(QStringLiteral("A.xls")));
    // Nothing current: a beep and nothing closed.
    books(f)->setCurrentByProgram(-1);
    f.FM_Close_Click();
    QCOMPARE(env.ui.beeps, 1);
    QCOMPARE(host->closed.size(), 1);
}

void MainWindowTest::closeSeveralBooks_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("sorted");
    QTest::newRow("forced") << 0 << 0;
    QTest::newRow("normal, sorted list") << 1 << 1;
    QTest::newRow("cancel") << 2 << 0;
}

void MainWindowTest::closeSeveralBooks() {
    QFETCH(int, button);
    QFETCH(int, sorted);
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    if (sorted)
        env.writeFile(QStringLiteral("korvex.ini"), "[F01_Info]\nB_Sort=1\n");
    Korvex_F01 f;
    QStringList offered;
    env.ui.onDialog = [&](QDialog& d) {
        auto* dlg = qobject_cast<Korvex_F0102*>(&d);
        if (!dlg)
            return 0;
        QListWidget* list = dlg->bookList();
        for (int i = 0; i < list->count(); ++i)
            offered << list->item(i)->text();
        if (list->selectedItems().size() != 0)
            return -1;
        // Select c.xls and b.xls; b.xls is closed in the host meanwhile.
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setSelected(list->item(i)->text() != QLatin1String("A.xls"));
        host->closeBook(host->findBook(QStringLiteral("b.xls")));
        dlg->button(button)->click();
        return dlg->result();
    };
    f.FM_SelClose_Click();
    const QStringList expected =
        sorted ? QStringList{"A.xls", "b.xls", "c.xls"} : QStringList{"b.xls", "A.xls", "c.xls"};
    QCOMPARE(offered, expected);
    if (button == 2) {
        QVERIFY(host->closed.isEmpty());
        QVERIFY(!Korvex_F01::BooksClosed);
        // The main list was not refreshed: b.xls is still shown.
        QVERIFY(books(f)->entries().contains(QStringLiteral("b.xls")));
        return;
    }
    // b.xls went away by itself (skipped); only c.xls was closed here.
    QCOMPARE(host->closed.size(), 1);
    QCOMPARE(host->closed.at(0).book, QStringLiteral("c.xls"));
    if (button == 0)
        QCOMPARE(host->closed.at(0).saveChanges, std::optional<bool>(false));
    else
        QVERIFY(!host->closed.at(0).saveChanges.has_value());
    QVERIFY(Korvex_F01::BooksClosed);
    QCOMPARE(books(f)->entries(), QStringList{"A.xls"});
}

void MainWindowTest::closeSeveralDialogLayout() {
    Env env;
    env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    Korvex_F0102 dlg(&f);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("複数 Excel ﾌｧｲﾙを閉じる"));
    QCOMPARE(dlg.button(0)->text(), QStringLiteral("強制終了"));
    QCOMPARE(dlg.button(1)->text(), QStringLiteral("通常終了"));
    QCOMPARE(dlg.button(2)->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    QCOMPARE(dlg.bookList()->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(dlg.bookList()->selectedItems().size(), 0);
    dlg.findChild<QAction*>(QStringLiteral("BM_SelAll"))->trigger();
    QCOMPARE(dlg.bookList()->selectedItems().size(), 3);
    dlg.findChild<QAction*>(QStringLiteral("BM_SelCancel"))->trigger();
    QCOMPARE(dlg.bookList()->selectedItems().size(), 0);

    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.resize(600, 400);
    QTRY_COMPARE(dlg.width(), 600);
    const int clientWidth = dlg.clientArea()->width();
    for (int i = 0; i < 3; ++i) // 100 twips from the right edge
        QCOMPARE(dlg.button(i)->geometry().right() + 1, clientWidth - 7);
    QCOMPARE(dlg.bookList()->x(), 7);
    QVERIFY(qAbs(dlg.bookList()->geometry().right() + 1 - (dlg.button(0)->x() - 7)) <= 1);
    // Never smaller than 3125 x 2800 twips.
    dlg.resize(10, 10);
    QTRY_VERIFY(dlg.frameGeometry().width() * 15 >= 3125);
    QVERIFY(dlg.frameGeometry().height() * 15 >= 2800);
    dlg.reject();
    QVERIFY(env.ini(QStringLiteral("Korvex_F0102"), QStringLiteral("Width")) != -999);
    QVERIFY(env.ini(QStringLiteral("Korvex_F0102"), QStringLiteral("Book_List_Width")) != -999);
}

void MainWindowTest::toolWindowsOpenOnceAndCloseWithMain() {
    Env env;
    auto host = env.host(QString::fromUtf8(kThreeBooks));
    {
        Korvex_F01 f;
        f.show();
        action(f, "TM_Search")->trigger();
        QVERIFY(korvex::WindowBand::instance().loaded(korvex::BandWindow::Search));
        QPointer<QWidget> search =
            korvex::WindowBand::instance().window(korvex::BandWindow::Search);
        QCOMPARE(search->objectName(), QStringLiteral("Korvex_F02"));
        QCOMPARE(search->windowTitle(), QStringLiteral("Korvex 検索"));
        QVERIFY(!search->parentWidget()); // no owner
        search->showMinimized();
        action(f, "TM_Search")->trigger();
        QCOMPARE(korvex::WindowBand::instance().window(korvex::BandWindow::Search), search.data());
        QVERIFY(!search->isMinimized());
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            count += w->objectName() == QLatin1String("Korvex_F02") ? 1 : 0;
        QCOMPARE(count, 1);

        action(f, "TM_Replace")->trigger();
        QPointer<QWidget> replace =
            korvex::WindowBand::instance().window(korvex::BandWindow::Replace);
        QCOMPARE(replace->windowTitle(), QStringLiteral("Korvex 置換"));

        f.close(); // unload closes both tool windows
        QVERIFY(!korvex::WindowBand::instance().loaded(korvex::BandWindow::Search));
        QVERIFY(!korvex::WindowBand::instance().loaded(korvex::BandWindow::Replace));
        QTRY_VERIFY(!search);
        QTRY_VERIFY(!replace);
        QVERIFY(!Korvex_M01::WorkDb().ConnectFlag());
        QVERIFY(!Korvex_M02::ExcelApp);
    }
    QVERIFY(host->alive()); // the host is released, never closed
    QCOMPARE(host->bookNames().size(), 4);
}

void MainWindowTest::toolCommandsBeepWithoutHost() {
    Env env;
    env.noHost();
    Korvex_F01 f;
    int dialogs = 0;
    env.ui.onDialog = [&](QDialog&) { return ++dialogs, 0; };
    for (const char* name : {"TM_Search", "TM_Replace", "TM_PrinterSet", "FM_SelClose"})
        action(f, name)->trigger();
    QCOMPARE(env.ui.beeps, 4);
    QCOMPARE(dialogs, 0);
    QVERIFY(!korvex::WindowBand::instance().loaded(korvex::BandWindow::Search));
    QVERIFY(!korvex::WindowBand::instance().loaded(korvex::BandWindow::Replace));
    // The settings and version dialogs need no host.
    action(f, "OM_Set")->trigger();
    action(f, "OM_Version")->trigger();
    QCOMPARE(dialogs, 2);
    // A host that takes no extensions: adding Korvex to it says it failed.
    action(f, "OM_Extension")->trigger();
    QCOMPARE(env.ui.messageIds(), QStringList{"E_F01_004"});
}

void MainWindowTest::modalDialogKeepsMainInFront() {
    Env env;
    env.host(QString::fromUtf8(kThreeBooks));
    env.writeFile(QStringLiteral("korvex.ini"), "[OM_Activate]\nKorvex_F01=1\n");
    Korvex_F01 f;
    f.show();
    QVERIFY(korvex::WindowBand::instance().inFront(korvex::BandWindow::Main));
    QVERIFY(action(f, "OM_Activate")->isChecked());
    QVERIFY(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    bool onTopDuring = true;
    bool owned = false;
    QString caption;
    env.ui.onDialog = [&](QDialog& d) {
        onTopDuring = f.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        caption = d.windowTitle();
        owned = d.parentWidget() == &f;
        return 0;
    };
    action(f, "OM_Version")->trigger();
    QVERIFY(!onTopDuring);
    QVERIFY(owned);
    QCOMPARE(caption, QStringLiteral("Korvexのﾊﾞｰｼﾞｮﾝ情報"));
    QVERIFY(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(f.isVisible());
    // Toggling keep-in-front off.
    action(f, "OM_Activate")->trigger();
    QVERIFY(!korvex::WindowBand::instance().inFront(korvex::BandWindow::Main));
    QVERIFY(!action(f, "OM_Activate")->isChecked());
    QVERIFY(!f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    f.close();
    QCOMPARE(env.iniText(QStringLiteral("OM_Activate"), QStringLiteral("Korvex_F01")),
             QStringLiteral("0"));
}

void MainWindowTest::splitterDragIsClamped_data() {
    QTest::addColumn<int>("targetTwips");
    QTest::addColumn<int>("expectedTwips"); // -1: client width - 500
    QTest::newRow("too far left") << 100 << 500;
    QTest::newRow("middle") << 2250 << 2250;
    QTest::newRow("too far right") << 100000 << -1;
}

void MainWindowTest::splitterDragIsClamped() {
    QFETCH(int, targetTwips);
    QFETCH(int, expectedTwips);
    Env env;
    env.noHost();
    Korvex_F01 f;
    f.resize(500, 300);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QWidget* strip = child(f, "ImgSplitter");
    QWidget* bar = child(f, "PicSplitter");
    const int scaleWidth = f.clientArea()->width() * 15;
    if (expectedTwips < 0)
        expectedTwips = scaleWidth - 500;
    const QList<QWidget*> lists = {child(f, "Book_List"), child(f, "Sheet_List")};
    const QRect bookBefore = lists[0]->geometry();

    QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(2, 5));
    QVERIFY(bar->isVisible());
    const int within = targetTwips / 15 - strip->x();
    QTest::mouseMove(strip, QPoint(within, 5));
    QVERIFY(qAbs(bar->x() * 15 - expectedTwips) <= 15);
    QCOMPARE(lists[0]->geometry(), bookBefore); // lists wait for the release
    QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(within, 5));
    QVERIFY(!bar->isVisible());
    QCOMPARE(strip->x(), bar->x());
    // Book list ends at the splitter, sheet list starts right after it.
    QCOMPARE(lists[0]->x() + lists[0]->width(), strip->x() - strip->width() + 7);
    QCOMPARE(lists[1]->x(), strip->x() + strip->width());
    QCOMPARE(lists[0]->height(), lists[1]->height());
    QCOMPARE(child(f, "Book_Label")->width(), lists[0]->width());
    QCOMPARE(child(f, "Sheet_Label")->x(), lists[1]->x());
}

void MainWindowTest::restoredSplitterStaysInWindow_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("expectedTwips"); // -1: client width - 500
    QTest::newRow("far beyond the window") << QByteArray("99999") << -1;
    QTest::newRow("negative") << QByteArray("-4000") << 500;
    QTest::newRow("within the window") << QByteArray("2400") << 2400;
}

void MainWindowTest::restoredSplitterStaysInWindow() {
    QFETCH(QByteArray, stored);
    QFETCH(int, expectedTwips);
    Env env;
    env.noHost();
    env.writeFile(QStringLiteral("korvex.ini"),
                  "[Korvex_F01]\nWidth=7500\nHeight=4500\nImgSplitter_Left=" + stored + "\n");
    Korvex_F01 f;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    const int client = f.clientArea()->width();
    if (expectedTwips < 0)
        expectedTwips = client * 15 - 500;
    QWidget* strip = child(f, "ImgSplitter");
    QWidget* sheetList = child(f, "Sheet_List");
    QTRY_VERIFY(qAbs(strip->x() * 15 - expectedTwips) <= 15);
    // Both lists are on the window with room to show names.
    QVERIFY(sheetList->x() + sheetList->width() <= client);
    QVERIFY(sheetList->width() > 0 && child(f, "Book_List")->width() > 0);
}

void MainWindowTest::windowCannotShrinkBelowMinimum() {
    Env env;
    env.noHost();
    Korvex_F01 f;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.resize(50, 40);
    QTRY_VERIFY(f.frameGeometry().width() * 15 >= 4700);
    QVERIFY(f.frameGeometry().height() * 15 >= 2750);
    QVERIFY(f.frameGeometry().width() * 15 < 4700 + 15);
}

void MainWindowTest::settingsSurviveRestart() {
    Env env;
    env.host(QString::fromUtf8(kThreeBooks));
    QRect geometry;
    int split = 0;
    {
        Korvex_F01 f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.setGeometry(120, 90, 600, 320);
        QTRY_COMPARE(f.width(), 600);
        action(f, "OM_BookSort")->trigger();
        QWidget* strip = child(f, "ImgSplitter");
        f.ImgSplitter_MouseDown();
        f.ImgSplitter_MouseMove(1500 - strip->x() * 15);
        f.ImgSplitter_MouseUp();
        split = strip->x();
        geometry = f.geometry();
        f.close();
    }
    QCOMPARE(env.ini(QStringLiteral("F01_Info"), QStringLiteral("B_Sort")), 1);
    QCOMPARE(env.ini(QStringLiteral("F01_Info"), QStringLiteral("S_Sort")), 0);
    QCOMPARE(env.ini(QStringLiteral("OM_Activate"), QStringLiteral("Korvex_F01")), 0);
    QCOMPARE(env.ini(QStringLiteral("Korvex_F01"), QStringLiteral("ImgSplitter_Left")), split * 15);

    // Unloading the window ended the run, connector included: start again.
    Korvex_M01::WorkDb().Connect(Korvex_M01::DbFile);
    env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01::B_Sort = 0;
    Korvex_F01 again;
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(Korvex_F01::B_Sort, 1);
    QVERIFY(action(again, "PM_BookSort")->isChecked());
    QCOMPARE(books(again)->entries(), (QStringList{"A.xls", "b.xls", "c.xls"}));
    QCOMPARE(again.size(), geometry.size());
    QCOMPARE(child(again, "ImgSplitter")->x(), split);
    QCOMPARE(child(again, "Sheet_List")->x(), split + child(again, "ImgSplitter")->width());
}

void MainWindowTest::keyboardOpensTheListMenu() {
    Env env;
    env.host(QString::fromUtf8(kThreeBooks));
    Korvex_F01 f;
    for (NavList* list : {books(f), sheets(f)}) {
        QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(f.popupMenu()->isVisible());
        f.popupMenu()->hide();
    }
}

void MainWindowTest::fontChoiceReachesBothLists() {
    Env env;
    env.noHost();
    Korvex_F01 f;
    QFont chosen(QStringLiteral("Noto Sans CJK JP"));
    chosen.setPointSize(14);
    chosen.setBold(true);
    env.ui.queueFont(korvex::FontChoice{chosen, QColor(200, 0, 0)});
    action(f, "PM_Font")->trigger();
    QCOMPARE(books(f)->font().pointSize(), 14);
    QCOMPARE(sheets(f)->font(), books(f)->font());
    QCOMPARE(sheets(f)->palette().color(QPalette::Text), books(f)->palette().color(QPalette::Text));
    // A cancelled dialog changes nothing.
    action(f, "OM_Font")->trigger();
    QCOMPARE(env.ui.fontRequests, 2);
    QCOMPARE(books(f)->font().pointSize(), 14);
}

void MainWindowTest::busyPointerFallsBackToWait() {
    Env env;
    env.noHost();
    {
        Korvex_F01 f;
        QCOMPARE(f.busyCursor().shape(), Qt::WaitCursor);
    }
    QFile::copy(navtest::resourceDir() + QStringLiteral("/icons/Books05.ico"),
                env.dir.path() + QStringLiteral("/Books05.ico"));
    Korvex_F01 f;
    QCOMPARE(f.busyCursor().shape(), Qt::BitmapCursor);
}

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
