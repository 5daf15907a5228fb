// The search and replace windows driven against the simulated host: first
// start, options kept per window, closing rules, geometry, busy state,
// history, target selection with its messages, the view options and the
// cell-value fetch, and opening and closing them from the main window.

#include "find_child.h"
#include "navigator_env.h"
#include "replace_window.h"
#include "result_grid.h"
#include "search_engine.h"
#include "search_window.h"
#include "window_band.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>

#include <memory>

using korvex::findreplace::FindReplaceWindow;
using navtest::Env;

namespace {

const char* kBooks = R"(
[book b.xls]
[sheet S1]
[sheet S2]
active
[book A.xls]
active
[sheet Zeta]
[sheet alpha]
active
active C3
C3 = 12.5
[chart Graph]
[sheet Beta]
[sheet gamma]
[book Charts.xls]
[sheet One]
[sheet Two]
[chart Plot]
active
[book PERSONAL.XLSB]
hidden
[sheet Macros]
)";

std::unique_ptr<FindReplaceWindow> open(bool replace) {
    FindReplaceWindow* w = replace ? static_cast<FindReplaceWindow*>(new Korvex_F03)
                                   : static_cast<FindReplaceWindow*>(new Korvex_F02);
    w->setAttribute(Qt::WA_DeleteOnClose, false); // the test owns it
    return std::unique_ptr<FindReplaceWindow>(w);
}

using korvex::test::child;
QAction* action(QWidget& w, const char* name) {
    return child<QAction>(w, QString::fromLatin1(name));
}
QComboBox* combo(QWidget& w, const char* name) {
    return child<QComboBox>(w, QString::fromLatin1(name));
}
QListWidget* sheetList(QWidget& w) {
    return child<QListWidget>(w, QStringLiteral("Sheet_List"));
}
QStringList entries(QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}
QStringList entries(QComboBox* c) {
    QStringList names;
    for (int i = 0; i < c->count(); ++i)
        names << c->itemText(i);
    return names;
}
QStringList selected(QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->isSelected())
            names << list->item(i)->text();
    }
    return names;
}
void chooseBook(QWidget& w, const QString& book) {
    QComboBox* c = combo(w, "Book_Combo");
    const int row = c->findText(book);
    QVERIFY(row >= 0);
    c->setCurrentIndex(row);
    emit c->activated(row); // what a user's choice raises
}
QString buttonName(bool replace, int i) {
    const char* names[2][3] = {{"Cmd_Search", "Cmd_SumSearch", "Cmd_Cancel"},
                               {"Cmd_Replace", "Cmd_SumReplace", "Cmd_Cancel"}};
    return QString::fromLatin1(names[replace][i]);
}
// The one column most cases are run with: the search window, then the
// replace window.
void bothWindows() {
    QTest::addColumn<bool>("replace");
    QTest::newRow("search") << false;
    QTest::newRow("replace") << true;
}
QStringList cellGetNames(bool replace) {
    return replace ? QStringList{"Cmd_CellGet_0", "Cmd_CellGet_1"} : QStringList{"Cmd_CellGet"};
}

} // namespace

class FindReplaceWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartDefaultsAndMenus_data();
    void firstStartDefaultsAndMenus();
    void optionsKeptPerWindow();
    void unreadableStoredValuesFallBack();
    void closeRefusedWhileRunningAndBusyState_data();
    void closeRefusedWhileRunningAndBusyState();
    void minimisedCloseSavesRestoredGeometry();
    void resizeKeepsMinimumAndRightEdge_data();
    void resizeKeepsMinimumAndRightEdge();
    void historyAddsOnlyNewTexts();
    void selectionCommands_data();
    void selectionCommands();
    void targetMessagesAndRecovery_data();
    void targetMessagesAndRecovery();
    void sortFontMergeAndFront();
    void cellValueFetch_data();
    void cellValueFetch();
    void runsRecordRowsAndStopOnCancel();
    void revertChosenRowsFromTheMenu();
    void openedAndClosedByMainWindow();
};

void FindReplaceWindowsTest::firstStartDefaultsAndMenus_data() {
    bothWindows();
}

void FindReplaceWindowsTest::firstStartDefaultsAndMenus() {
    QFETCH(bool, replace);
    Env env;
    env.host(QString::fromUtf8(kBooks));
    auto w = open(replace);

    QCOMPARE(w->objectName(), QString::fromLatin1(replace ? "Korvex_F03" : "Korvex_F02"));
    QCOMPARE(w->windowTitle(), QString::fromUtf8(replace ? "Korvex 置換" : "Korvex 検索"));
    QCOMPARE(replace ? korvex::WindowBand::instance().window(korvex::BandWindow::Replace)
                     : korvex::WindowBand::instance().window(korvex::BandWindow::Search),
             w.get());
    QVERIFY(replace ? korvex::WindowBand::instance().loaded(korvex::BandWindow::Replace)
                    : korvex::WindowBand::instance().loaded(korvex::BandWindow::Search));

    // Defaults: 行, 数式, only the width check, empty texts, no sorting,
    // linkage off, not in front.
    QCOMPARE(combo(*w, replace ? "Combo_SOpsion" : "Combo_SOpsion_0")->currentText(),
             QStringLiteral("行"));
    QCOMPARE(bool(w->findChild<QComboBox*>(QStringLiteral("Combo_SOpsion_1"))), !replace);
    if (!replace)
        QCOMPARE(combo(*w, "Combo_SOpsion_1")->currentText(), QStringLiteral("数式"));
    const QString checkCaptions[] = {QStringLiteral("大文字と小文字を区別する"),
                                     QStringLiteral("半角と全角を区別する"),
                                     QStringLiteral("完全に同一なｾﾙだけを検索する")};
    for (int i = 0; i < 3; ++i) {
        auto* box = child<QCheckBox>(*w, QStringLiteral("Check_Opstion_%1").arg(i));
        QCOMPARE(box->text(), checkCaptions[i]);
        QCOMPARE(box->isChecked(), i == 1);
    }
    QCOMPARE(combo(*w, "Search_Combo")->currentText(), QString());
    QCOMPARE(bool(w->findChild<QComboBox*>(QStringLiteral("Replace_Combo"))), replace);
    QCOMPARE(child<QLabel>(*w, QStringLiteral("Label1_2"))->text(),
             QString::fromUtf8(replace ? "置換文字列" : "対象"));
    for (const char* name :
         {"OM_BookSort", "PM_BookSort", "OM_SheetSort", "PM_SheetSort", "OM_ExcelActive",
          "OM_Activate", "OM_BookMerge", "OM_SheetMerge", "OM_Regex", "OM_Kana"})
        QVERIFY2(!action(*w, name)->isChecked(), name);
    QVERIFY(!(replace ? korvex::WindowBand::instance().inFront(korvex::BandWindow::Replace)
                      : korvex::WindowBand::instance().inFront(korvex::BandWindow::Search)));

    // The buttons of the mode; cancel only while busy.
    const char* captions[2][3] = {{"検索実行", "一括検索", "検索中止"},
                                  {"置換実行", "一括置換", "置換中止"}};
    for (int i = 0; i < 3; ++i) {
        auto* b = child<QPushButton>(*w, buttonName(replace, i));
        QCOMPARE(b->text(), QString::fromUtf8(captions[replace][i]));
        QCOMPARE(b->isVisibleTo(w.get()), i < 2);
    }
    for (const QString& name : cellGetNames(replace))
        QCOMPARE(child<QPushButton>(*w, name)->text(), QStringLiteral("ｾﾙ値取得"));
    QVERIFY(w->findChild<QWidget*>(QString::fromLatin1(replace ? "Replace_Grid" : "Search_Grid")));

    // Target: the host's active book (hidden books left out) and its active sheet.
    QCOMPARE(entries(combo(*w, "Book_Combo")), (QStringList{"b.xls", "A.xls", "Charts.xls"}));
    QCOMPARE(combo(*w, "Book_Combo")->currentText(), QStringLiteral("A.xls"));
    QCOMPARE(entries(sheetList(*w)), (QStringList{"Zeta", "alpha", "Beta", "gamma"}));
    QCOMPARE(selected(sheetList(*w)), QStringList{"alpha"});

    // Menus: bar titles in order, every item's caption and shortcut.
    QStringList titles;
    for (QAction* a : w->menuBar()->actions())
        titles << a->text() + QLatin1Char('/') + a->objectName();
    QCOMPARE(titles,
             (QStringList{QStringLiteral("ｼｰﾄ選択(&S)/Sheet_Menu"),
                          QStringLiteral("再表示(&R)/Redraw_Menu"),
                          QString::fromUtf8("ｸﾞﾘｯﾄﾞ操作(&G)/") +
                              QString::fromLatin1(replace ? "Replace_Result" : "Search_Result"),
                          QStringLiteral("ｵﾌﾟｼｮﾝ(&O)/Opstion_Menu")}));
    const char* items[][3] = {
        {"SM_SelAll", "全選択(&A)", ""},
        {"SM_Before", "現ｼｰﾄ以前選択(&B)", ""},
        {"SM_After", "現ｼｰﾄ以降(&F)", ""},
        {"SM_SelCancel", "選択解除(&C)", ""},
        {"RM_Book", "Book List(&B)", ""},
        {"RM_Sheet", "Sheet List(&S)", ""},
        {"RM_Excel", "Excel(&E)", "Ctrl+M"},
        {"SR_Undo", "元に戻す(&Z)", "Ctrl+Z"},
        {"SR_AllDel", "全Row削除(&A)", ""},
        {"SR_Before", "Row以前削除(&B)", ""},
        {"SR_After", "Row以降削除(&F)", ""},
        {"SR_Select", "選択Row削除(&S)", ""},
        {"SR_PrintSetup", "印刷設定", ""},
        {"SR_Print", "印刷(&P)", "Ctrl+P"},
        {"OM_Activate", "手前に表示(&A)", ""},
        {"OM_ExcelActive", "ｸﾞﾘｯﾄﾞとExcelを連動する(&E)", ""},
        {"OM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)", "Ctrl+B"},
        {"OM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)", "Ctrl+S"},
        {"OM_Font", "ﾌｫﾝﾄ(&F)", ""},
        {"OM_BookMerge", "ﾌﾞｯｸ名をﾏｰｼﾞ(&B)", ""},
        {"OM_SheetMerge", "ｼｰﾄ名をﾏｰｼﾞ(&S)", ""},
        {"OM_Regex", "正規表現を使う(&X)", ""},
        {"OM_Kana", "ひらがなとカタカナを区別しない(&K)", ""},
        {"PM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)", ""},
        {"PM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)", ""},
        {"PM_Font", "ﾌｫﾝﾄ(&F)", ""},
    };
    for (const auto& r : items) {
        QAction* a = action(*w, r[0]);
        QCOMPARE(a->text(), QString::fromUtf8(r[1]));
        QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), QString::fromLatin1(r[2]));
    }
    // The grid menu opened from the keyboard stands on an item that deletes nothing.
    QCOMPARE(w->menuBar()->actions().at(2)->menu()->actions().at(0)->objectName(),
             QStringLiteral("SR_Undo"));
    // Right-clicking the sheet list offers all four context items, the grid
    // only the font.
    QMenu* popup = w->popupMenu();
    w->showPopup(QPoint(10, 10), false);
    QVERIFY(action(*w, "PM_BookSort")->isVisible() && action(*w, "PM_Line0")->isVisible());
    popup->hide();
    w->showPopup(QPoint(10, 10), true);
    QVERIFY(!action(*w, "PM_BookSort")->isVisible() && !action(*w, "PM_SheetSort")->isVisible());
    QVERIFY(action(*w, "PM_Font")->isVisible());
    popup->hide();
    // Shift+F10 opens the same menus from the keyboard.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(sheetList(*w)),
                                    static_cast<QAbstractItemView*>(w->grid())}) {
        QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(popup->isVisible());
        QCOMPARE(action(*w, "PM_BookSort")->isVisible(), view == sheetList(*w));
        popup->hide();
    }

    // The busy pointer: the window's icon file, or the wait pointer without it.
    QCOMPARE(w->busyCursor().shape(), Qt::WaitCursor);
    w.reset();
    QFile::copy(navtest::resourceDir() +
                    QString::fromLatin1(replace ? "/icons/Replace.ico" : "/icons/Binoculr.ico"),
                env.dir.path() + QString::fromLatin1(replace ? "/Replace.ico" : "/Binoculr.ico"));
    w = open(replace);
    QCOMPARE(w->busyCursor().shape(), Qt::BitmapCursor);
}

void FindReplaceWindowsTest::optionsKeptPerWindow() {
    Env env;
    env.host(QString::fromUtf8(kBooks));
    {
        auto s = open(false);
        auto r = open(true);
        // Both open at once; each sets its own choices.
        combo(*s, "Combo_SOpsion_0")->setCurrentIndex(1);
        combo(*s, "Combo_SOpsion_1")->setCurrentIndex(2);
        child<QCheckBox>(*s, QStringLiteral("Check_Opstion_0"))->setChecked(true);
        child<QCheckBox>(*s, QStringLiteral("Check_Opstion_1"))->setChecked(false);
        combo(*s, "Search_Combo")->setEditText(QStringLiteral("売上"));
        action(*s, "OM_BookSort")->trigger();
        action(*s, "OM_ExcelActive")->trigger();
        action(*s, "OM_Activate")->trigger();
        QVERIFY(korvex::WindowBand::instance().inFront(korvex::BandWindow::Search));
        action(*s, "OM_Regex")->trigger();
        action(*r, "OM_Kana")->trigger();
        // Applied to the run as soon as chosen.
        QVERIFY(s->options().useRegex && !s->options().foldKana);
        QVERIFY(!r->options().useRegex && r->options().foldKana);

        child<QCheckBox>(*r, QStringLiteral("Check_Opstion_2"))->setChecked(true);
        combo(*r, "Search_Combo")->setEditText(QStringLiteral("old"));
        combo(*r, "Replace_Combo")->setEditText(QStringLiteral("new"));
        action(*r, "PM_SheetSort")->trigger();
        QVERIFY(s->close());
        QVERIFY(r->close());
        QVERIFY(!korvex::WindowBand::instance().loaded(korvex::BandWindow::Search) &&
                !korvex::WindowBand::instance().loaded(korvex::BandWindow::Replace));
    }
    auto ini = [&](const char* section, const char* key) {
        return env.iniText(QString::fromLatin1(section), QString::fromLatin1(key));
    };
    const QStringList searchKeys = {"1", "0", "1", "2", "1", "0", "0", "売上", "1"};
    const char* keys[] = {"B_Sort",    "S_Sort",    "S_Combo_0", "S_Combo_1", "S_Check_0",
                          "S_Check_1", "S_Check_2", "S_Text",    "Xls_Active"};
    for (int i = 0; i < 9; ++i)
        QCOMPARE(ini("F02_Info", keys[i]), searchKeys[i]);
    QCOMPARE(ini("F02_Info", "R_Text"), QStringLiteral("<none>"));
    const QStringList replaceKeys = {"0", "1", "0", "<none>", "0", "1", "1", "old", "0"};
    for (int i = 0; i < 9; ++i)
        QCOMPARE(ini("F03_Info", keys[i]), replaceKeys[i]);
    QCOMPARE(ini("F03_Info", "R_Text"), QStringLiteral("new"));
    QCOMPARE(ini("F02_Info", "S_Regex") + ini("F02_Info", "S_Kana"), QStringLiteral("10"));
    QCOMPARE(ini("F03_Info", "S_Regex") + ini("F03_Info", "S_Kana"), QStringLiteral("01"));
    QCOMPARE(ini("OM_Activate", "Korvex_F02"), QStringLiteral("1"));
    QCOMPARE(ini("OM_Activate", "Korvex_F03"), QStringLiteral("0"));

    // Read back at the next load, each window its own.
    auto s = open(false);
    auto r = open(true);
    QCOMPARE(combo(*s, "Combo_SOpsion_0")->currentIndex(), 1);
    QCOMPARE(combo(*s, "Combo_SOpsion_1")->currentIndex(), 2);
    QCOMPARE(combo(*r, "Combo_SOpsion")->currentIndex(), 0);
    QCOMPARE(combo(*s, "Search_Combo")->currentText(), QStringLiteral("売上"));
    QCOMPARE(combo(*r, "Replace_Combo")->currentText(), QStringLiteral("new"));
    QVERIFY(child<QCheckBox>(*s, QStringLiteral("Check_Opstion_0"))->isChecked());
    QVERIFY(!child<QCheckBox>(*r, QStringLiteral("Check_Opstion_0"))->isChecked());
    QVERIFY(action(*s, "PM_BookSort")->isChecked() && action(*s, "OM_ExcelActive")->isChecked());
    QVERIFY(!action(*r, "PM_BookSort")->isChecked() && action(*r, "OM_SheetSort")->isChecked());
    QVERIFY(action(*s, "OM_Activate")->isChecked() &&
            korvex::WindowBand::instance().inFront(korvex::BandWindow::Search));
    QVERIFY(!action(*r, "OM_Activate")->isChecked());
    QVERIFY(action(*s, "OM_Regex")->isChecked() && !action(*s, "OM_Kana")->isChecked());
    QVERIFY(!action(*r, "OM_Regex")->isChecked() && action(*r, "OM_Kana")->isChecked());
    QVERIFY(s->options().useRegex && r->options().foldKana);
    QCOMPARE(entries(combo(*s, "Book_Combo")), (QStringList{"A.xls", "b.xls", "Charts.xls"}));
    QCOMPARE(entries(sheetList(*r)), (QStringList{"alpha", "Beta", "gamma", "Zeta"}));
}

void FindReplaceWindowsTest::unreadableStoredValuesFallBack() {
    Env env;
    env.host(QString::fromUtf8(kBooks));
    // A hand-edited file: indexes and check values no control can take.
    env.writeFile(QStringLiteral("korvex.ini"),
                  "[F02_Info]\nS_Combo_0=7\nS_Combo_1=-1\nS_Check_0=2\nS_Check_1=abc\n"
                  "S_Check_2=1\n[F03_Info]\nS_Combo_0=1\nS_Combo_1=9\n");
    auto s = open(false);
    auto r = open(true);
    QCOMPARE(combo(*s, "Combo_SOpsion_0")->currentIndex(), 0);
    QCOMPARE(combo(*s, "Combo_SOpsion_1")->currentIndex(), 0);
    QCOMPARE(s->storedOptions().S_Check[0], 0);
    QCOMPARE(s->storedOptions().S_Check[1], 0); // not a number reads as 0, a valid value
    QCOMPARE(s->storedOptions().S_Check[2], 1);
    QCOMPARE(combo(*r, "Combo_SOpsion")->currentIndex(), 1);
}

void FindReplaceWindowsTest::closeRefusedWhileRunningAndBusyState_data() {
    bothWindows();
}

void FindReplaceWindowsTest::closeRefusedWhileRunningAndBusyState() {
    QFETCH(bool, replace);
    Env env;
    env.host(QString::fromUtf8(kBooks));
    auto w = open(replace);
    w->show();
    const QString section = QString::fromLatin1(replace ? "F03_Info" : "F02_Info");

    // An all-at-once run going on: busy appearance, close refused, nothing saved.
    w->pass().NotRunning = false;
    w->SetBusy(true);
    QWidget* inputs[] = {combo(*w, "Book_Combo"),
                         sheetList(*w),
                         combo(*w, "Search_Combo"),
                         combo(*w, replace ? "Combo_SOpsion" : "Combo_SOpsion_0"),
                         child(*w, QStringLiteral("Check_Opstion_0")),
                         child(*w, QStringLiteral("Check_Opstion_2"))};
    for (QWidget* input : inputs)
        QVERIFY2(!input->isEnabled(), qPrintable(input->objectName()));
    for (const char* m : {"Sheet_Menu", "Redraw_Menu", "Opstion_Menu"})
        QVERIFY(!action(*w, m)->isEnabled());
    QVERIFY(!action(*w, replace ? "Replace_Result" : "Search_Result")->isEnabled());
    for (const QString& name : cellGetNames(replace))
        QVERIFY(!child(*w, name)->isVisible());
    QVERIFY(child(*w, buttonName(replace, 2))->isVisible());
    // The run buttons, the grid and the context menu keep their state.
    QVERIFY(child(*w, buttonName(replace, 0))->isEnabled());
    QVERIFY(child(*w, QString::fromLatin1(replace ? "Replace_Grid" : "Search_Grid"))->isEnabled());
    QVERIFY(action(*w, "PM_Font")->isEnabled());

    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    QVERIFY(replace ? korvex::WindowBand::instance().loaded(korvex::BandWindow::Replace)
                    : korvex::WindowBand::instance().loaded(korvex::BandWindow::Search));
    QCOMPARE(env.iniText(section, QStringLiteral("S_Check_1")), QStringLiteral("<none>"));

    // The stop button ends the run and restores the idle appearance.
    QTest::mouseClick(child(*w, buttonName(replace, 2)), Qt::LeftButton);
    QVERIFY(w->pass().NotRunning);
    for (QWidget* input : inputs)
        QVERIFY(input->isEnabled());
    QVERIFY(action(*w, "Opstion_Menu")->isEnabled());
    QVERIFY(child(*w, cellGetNames(replace).last())->isVisible());
    QVERIFY(!child(*w, buttonName(replace, 2))->isVisible());

    // A one-by-one pass still open does not keep the window from closing.
    w->pass().HitCount = 3;
    w->pass().ResumeSheet = 2;
    QVERIFY(w->close());
    QCOMPARE(env.iniText(section, QStringLiteral("S_Check_1")), QStringLiteral("1"));
}

void FindReplaceWindowsTest::minimisedCloseSavesRestoredGeometry() {
    Env env;
    env.host(QString::fromUtf8(kBooks));
    QRect normal;
    {
        auto w = open(false);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->setGeometry(140, 100, 520, 380);
        QTRY_COMPARE(w->width(), 520);
        normal = w->frameGeometry();
        w->showMinimized();
        QVERIFY(w->close());
    }
    QCOMPARE(env.ini(QStringLiteral("Korvex_F02"), QStringLiteral("Left")), normal.x() * 15);
    QCOMPARE(env.ini(QStringLiteral("Korvex_F02"), QStringLiteral("Width")), normal.width() * 15);
    QCOMPARE(env.ini(QStringLiteral("Korvex_F02"), QStringLiteral("Height")), normal.height() * 15);
    QVERIFY(env.ini(QStringLiteral("Korvex_F02"), QStringLiteral("Sheet_List_Top")) > 0);
    QVERIFY(!env.iniText(QStringLiteral("Korvex_F02"), QStringLiteral("FontName")).isEmpty());
    auto again = open(false);
    again->show();
    QVERIFY(QTest::qWaitForWindowExposed(again.get()));
    QTRY_COMPARE(again->frameGeometry().size(), normal.size());
}

void FindReplaceWindowsTest::resizeKeepsMinimumAndRightEdge_data() {
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QSize>("minimum"); // outer, twips
    QTest::newRow("search") << false << QSize(5200, 4100);
    QTest::newRow("replace") << true << QSize(5150, 4600);
}

void FindReplaceWindowsTest::resizeKeepsMinimumAndRightEdge() {
    QFETCH(bool, replace);
    QFETCH(QSize, minimum);
    Env env;
    env.noHost();
    auto w = open(replace);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));

    // Dragged smaller: snaps back to the minimum, each side on its own.
    w->resize(40, 1000);
    QTRY_VERIFY(w->frameGeometry().width() * 15 >= minimum.width());
    QVERIFY(w->frameGeometry().width() * 15 < minimum.width() + 15);
    w->resize(1000, 40);
    QTRY_VERIFY(w->frameGeometry().height() * 15 >= minimum.height());
    QVERIFY(w->frameGeometry().height() * 15 < minimum.height() + 15);

    for (const QSize size : {QSize(400, 330), QSize(900, 640)}) {
        w->resize(size);
        QTRY_COMPARE(w->size(), size);
        QWidget* client = w->centralWidget();
        const int W = client->width() * 15;
        const int H = client->height() * 15;
        auto twips = [&](const QString& name) {
            const QRect g = child(*w, name)->geometry();
            return QRect(g.x() * 15, g.y() * 15, g.width() * 15, g.height() * 15);
        };
        const int buttonLeft = twips(buttonName(replace, 0)).x();
        QVERIFY(qAbs(buttonLeft - (W - 100 - 975)) <= 15);
        for (int i = 1; i < 3; ++i)
            QCOMPARE(twips(buttonName(replace, i)).x(), buttonLeft);
        const QRect list = twips(QStringLiteral("Sheet_List"));
        QVERIFY(qAbs(list.x() + list.width() - (buttonLeft - 100)) <= 15);
        QVERIFY(qAbs(list.height() - 780) <= 15);
        QCOMPARE(twips(QStringLiteral("Book_Combo")).width(), list.width());
        const QRect text = twips(QStringLiteral("Search_Combo"));
        QVERIFY(qAbs(text.x() + text.width() - (W - 100)) <= 15);
        if (replace)
            QCOMPARE(twips(QStringLiteral("Replace_Combo")).width(), text.width());
        const QRect grid = twips(QString::fromLatin1(replace ? "Replace_Grid" : "Search_Grid"));
        QCOMPARE(grid.width(), text.width());
        QVERIFY(qAbs(grid.y() + grid.height() - (H - 100)) <= 15);
    }
}

void FindReplaceWindowsTest::historyAddsOnlyNewTexts() {
    Env env;
    env.noHost();
    auto r = open(true);
    QComboBox* search = combo(*r, "Search_Combo");
    QComboBox* replacement = combo(*r, "Replace_Combo");
    const std::pair<const char*, const char*> runs[] = {
        {"abc", "x"}, {"abc", "x"}, {"ABC", ""}, {"abc", ""}, {"ａｂｃ", "x"}};
    for (const auto& [s, t] : runs) {
        search->setEditText(QString::fromUtf8(s));
        replacement->setEditText(QString::fromUtf8(t));
        r->AddSearchHistory();
        QCOMPARE(search->currentText(), QString::fromUtf8(s));
    }
    QCOMPARE(entries(search), (QStringList{"abc", "ABC", QStringLiteral("ａｂｃ")}));
    QCOMPARE(entries(replacement), (QStringList{"x", ""}));

    // What is typed is what is used, key by key, whatever the history holds.
    search->addItem(QStringLiteral("12"));
    search->addItem(QStringLiteral("apple"));
    replacement->addItem(QStringLiteral("12"));
    r->show();
    r->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(r.get()));
    const std::pair<const char*, const char*> typed[] = {{"1", "1"}, {"A", "a"}, {"ab", "x"}};
    for (const auto& [s, t] : typed) {
        for (auto [box, keys] : {std::pair{search, s}, std::pair{replacement, t}}) {
            box->clearEditText();
            box->setFocus();
            QTest::keyClicks(box, QString::fromUtf8(keys));
        }
        QCOMPARE(r->options().what, QString::fromUtf8(s));
        QCOMPARE(r->options().replacement, QString::fromUtf8(t));
    }
}

void FindReplaceWindowsTest::selectionCommands_data() {
    QTest::addColumn<QString>("book");
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("expected");
    const QString a = QStringLiteral("A.xls");
    const QString c = QStringLiteral("Charts.xls");
    // A.xls lists Zeta, alpha, Beta, gamma (active alpha); sorted: alpha, Beta,
    // gamma, Zeta. Charts.xls has a chart sheet active.
    QTest::newRow("all") << a << false << "SM_SelAll"
                         << QStringList{"Zeta", "alpha", "Beta", "gamma"};
    QTest::newRow("cancel") << a << false << "SM_SelCancel" << QStringList{"alpha"};
    QTest::newRow("before") << a << false << "SM_Before" << QStringList{"Zeta", "alpha"};
    QTest::newRow("after") << a << false << "SM_After" << QStringList{"alpha", "Beta", "gamma"};
    QTest::newRow("before sorted") << a << true << "SM_Before" << QStringList{"alpha"};
    QTest::newRow("after sorted") << a << true << "SM_After"
                                  << QStringList{"alpha", "Beta", "gamma", "Zeta"};
    QTest::newRow("cancel sorted") << a << true << "SM_SelCancel" << QStringList{"alpha"};
    QTest::newRow("chart all") << c << false << "SM_SelAll" << QStringList{"One", "Two"};
    QTest::newRow("chart cancel") << c << false << "SM_SelCancel" << QStringList{};
    QTest::newRow("chart before") << c << false << "SM_Before" << QStringList{"One", "Two"};
    QTest::newRow("chart after") << c << true << "SM_After" << QStringList{};
}

void FindReplaceWindowsTest::selectionCommands() {
    QFETCH(QString, book);
    QFETCH(bool, sorted);
    QFETCH(QString, command);
    QFETCH(QStringList, expected);
    Env env;
    env.host(QString::fromUtf8(kBooks));
    if (sorted)
        env.writeFile(QStringLiteral("korvex.ini"), "[F02_Info]\nS_Sort=1\n[F03_Info]\nS_Sort=1\n");
    for (bool replace : {false, true}) {
        auto w = open(replace);
        chooseBook(*w, book);
        // Choosing the book selects its active sheet (none for a chart sheet).
        QCOMPARE(selected(sheetList(*w)).size(), book == QLatin1String("A.xls") ? 1 : 0);
        sheetList(*w)->item(sheetList(*w)->count() - 1)->setSelected(true);
        action(*w, command.toLatin1().constData())->trigger();
        QCOMPARE(selected(sheetList(*w)), expected);
        QVERIFY(env.ui.messages.isEmpty());
    }
}

void FindReplaceWindowsTest::targetMessagesAndRecovery_data() {
    bothWindows();
}

void FindReplaceWindowsTest::targetMessagesAndRecovery() {
    QFETCH(bool, replace);
    const QString prefix = QString::fromLatin1(replace ? "E_F03_" : "E_F02_");
    Env env;
    auto host = env.host(QString::fromUtf8(kBooks));
    auto w = open(replace);

    // The chosen book was closed in the host: "not open" for every command,
    // and the lists stay as they were.
    chooseBook(*w, QStringLiteral("b.xls"));
    host->closeBook(host->findBook(QStringLiteral("b.xls")));
    for (const char* command : {"SM_SelAll", "SM_Before", "SM_After", "SM_SelCancel", "RM_Sheet"})
        action(*w, command)->trigger();
    QCOMPARE(env.ui.messageIds(), QStringList(5, prefix + QStringLiteral("002")));
    QCOMPARE(entries(sheetList(*w)), (QStringList{"S1", "S2"}));
    env.ui.clear();

    // After "Book List" the target is the host's active book again.
    action(*w, "RM_Book")->trigger();
    QCOMPARE(combo(*w, "Book_Combo")->currentText(), QStringLiteral("A.xls"));
    QCOMPARE(entries(combo(*w, "Book_Combo")), (QStringList{"A.xls", "Charts.xls"}));
    QVERIFY(env.ui.messages.isEmpty());

    // The host's active book has no visible window: the target stays.
    host->activeBook = host->findBook(QStringLiteral("PERSONAL.XLSB"));
    action(*w, "RM_Book")->trigger();
    QCOMPARE(combo(*w, "Book_Combo")->currentText(), QStringLiteral("A.xls"));
    QCOMPARE(selected(sheetList(*w)), QStringList{"alpha"});
    host->activeBook = host->findBook(QStringLiteral("A.xls"));

    // Reading the sheets keeps failing: one message, one recovery, no loop.
    int attempts = 0;
    host->beforeOperation = [&](const QString& op) {
        if (op == QLatin1String("Workbook.sheetList")) {
            ++attempts;
            throw korvex::host::HostError(QStringLiteral("broken"));
        }
    };
    action(*w, "RM_Sheet")->trigger();
    QCOMPARE(env.ui.messageIds(), QStringList{prefix + QStringLiteral("001")});
    QVERIFY(attempts <= 4);
    // The next user action gets its own report.
    action(*w, "RM_Sheet")->trigger();
    QCOMPARE(env.ui.messages.size(), 2);
    host->beforeOperation = nullptr;
    env.ui.clear();
    action(*w, "RM_Sheet")->trigger();
    QCOMPARE(selected(sheetList(*w)), QStringList{"alpha"});

    // The book list cannot be read at all: no message, books kept, sheets gone.
    host->beforeOperation = [&](const QString& op) {
        if (op == QLatin1String("Application.bookList"))
            throw korvex::host::HostError(QStringLiteral("broken"));
    };
    action(*w, "RM_Book")->trigger();
    QVERIFY(env.ui.messages.isEmpty());
    QCOMPARE(entries(combo(*w, "Book_Combo")), (QStringList{"A.xls", "Charts.xls"}));
    QCOMPARE(sheetList(*w)->count(), 0);
    host->beforeOperation = nullptr;

    // No host at all: the same, silently.
    host->vanish();
    action(*w, "RM_Book")->trigger();
    action(*w, "SM_SelAll")->trigger();
    QVERIFY(env.ui.messages.isEmpty());
    QCOMPARE(entries(combo(*w, "Book_Combo")), (QStringList{"A.xls", "Charts.xls"}));
}

void FindReplaceWindowsTest::sortFontMergeAndFront() {
    Env env;
    env.host(QString::fromUtf8(kBooks));
    auto w = open(false);
    w->show();
    chooseBook(*w, QStringLiteral("b.xls"));

    // Either item of a pair toggles both marks; a book sort re-selects the
    // host's active book, a sheet sort the active sheet only.
    action(*w, "PM_BookSort")->trigger();
    QVERIFY(action(*w, "OM_BookSort")->isChecked() && action(*w, "PM_BookSort")->isChecked());
    QCOMPARE(entries(combo(*w, "Book_Combo")), (QStringList{"A.xls", "b.xls", "Charts.xls"}));
    QCOMPARE(combo(*w, "Book_Combo")->currentText(), QStringLiteral("A.xls"));
    sheetList(*w)->item(0)->setSelected(true);
    action(*w, "OM_SheetSort")->trigger();
    QVERIFY(action(*w, "PM_SheetSort")->isChecked());
    QCOMPARE(entries(sheetList(*w)), (QStringList{"alpha", "Beta", "gamma", "Zeta"}));
    QCOMPARE(selected(sheetList(*w)), QStringList{"alpha"});
    action(*w, "OM_BookSort")->trigger();
    QVERIFY(!action(*w, "OM_BookSort")->isChecked() && !action(*w, "PM_BookSort")->isChecked());
    QCOMPARE(entries(combo(*w, "Book_Combo")), (QStringList{"b.xls", "A.xls", "Charts.xls"}));

    // A font choice reaches the sheet list and the grid, not the text boxes,
    // and the layout rule runs again.
    const QFont textFont = combo(*w, "Search_Combo")->font();
    QFont big(QStringLiteral("Noto Sans CJK JP"), 16);
    env.ui.queueFont(korvex::FontChoice{big, QColor(200, 0, 0)});
    action(*w, "OM_Font")->trigger();
    QCOMPARE(sheetList(*w)->font().pointSize(), 16);
    QCOMPARE(w->grid()->font().pointSize(), 16);
    QCOMPARE(sheetList(*w)->palette().color(QPalette::Text), QColor(200, 0, 0));
    QCOMPARE(combo(*w, "Search_Combo")->font(), textFont);
    env.ui.queueFont(std::nullopt);
    action(*w, "PM_Font")->trigger(); // cancelled: nothing changes
    QCOMPARE(sheetList(*w)->font().pointSize(), 16);

    // Merge switches go to the grid columns 0 and 1.
    action(*w, "OM_BookMerge")->trigger();
    QVERIFY(w->grid()->columnMerged(0) && action(*w, "OM_BookMerge")->isChecked());
    QVERIFY(!w->grid()->columnMerged(1));
    action(*w, "OM_SheetMerge")->trigger();
    action(*w, "OM_BookMerge")->trigger();
    QVERIFY(!w->grid()->columnMerged(0) && w->grid()->columnMerged(1));

    // In front and back again.
    action(*w, "OM_Activate")->trigger();
    QVERIFY(korvex::WindowBand::instance().inFront(korvex::BandWindow::Search) &&
            action(*w, "OM_Activate")->isChecked());
    QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    action(*w, "OM_Activate")->trigger();
    QVERIFY(!korvex::WindowBand::instance().inFront(korvex::BandWindow::Search) &&
            !action(*w, "OM_Activate")->isChecked());
    QVERIFY(!w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void FindReplaceWindowsTest::cellValueFetch_data() {
    QTest::addColumn<bool>("replace");
    QTest::addColumn<int>("index");
    QTest::newRow("search") << false << 0;
    QTest::newRow("replace text") << true << 0;
    QTest::newRow("replacement") << true << 1;
}

void FindReplaceWindowsTest::cellValueFetch() {
    QFETCH(bool, replace);
    QFETCH(int, index);
    Env env;
    auto host = env.host(QString::fromUtf8(kBooks));
    auto w = open(replace);
    const QString button = cellGetNames(replace)[index];
    QComboBox* target = combo(*w, index == 1 ? "Replace_Combo" : "Search_Combo");

    // Target b.xls, active cell in A.xls: the active cell is taken anyway.
    chooseBook(*w, QStringLiteral("b.xls"));
    QTest::mouseClick(child(*w, button), Qt::LeftButton);
    QCOMPARE(target->currentText(), QStringLiteral("12.5"));
    if (replace)
        QCOMPARE(combo(*w, index == 1 ? "Search_Combo" : "Replace_Combo")->currentText(),
                 QString());

    // Target closed meanwhile: "not open"; no target at all: a beep.
    target->setEditText(QStringLiteral("kept"));
    host->closeBook(host->findBook(QStringLiteral("b.xls")));
    QTest::mouseClick(child(*w, button), Qt::LeftButton);
    QCOMPARE(env.ui.messageIds(),
             QStringList{QString::fromLatin1(replace ? "E_F03_002" : "E_F02_002")});
    combo(*w, "Book_Combo")->setCurrentIndex(-1);
    QTest::mouseClick(child(*w, button), Qt::LeftButton);
    QCOMPARE(env.ui.beeps, 1);
    QCOMPARE(target->currentText(), QStringLiteral("kept"));
}

void FindReplaceWindowsTest::runsRecordRowsAndStopOnCancel() {
    Env env;
    const auto host =
        env.host(QStringLiteral("[book R.xls]\nactive\n[sheet One]\nA1 = 売上\nA2 = 売上高\n"
                                "A3 = x\nA4 = 売上\n[sheet Two]\nB2 = 売上\n"));
    {
        auto w = open(false);
        w->show();
        w->engine().setYieldIntervalMs(0);
        combo(*w, "Search_Combo")->setEditText(QStringLiteral("売上"));
        action(*w, "SM_SelAll")->trigger();
        if (!action(*w, "OM_ExcelActive")->isChecked())
            action(*w, "OM_ExcelActive")->trigger();

        // One by one: a row per click, the pass left open, and with the grid
        // linked the office's cursor shows the occurrence found after A1.
        QTest::mouseClick(child(*w, QStringLiteral("Cmd_Search")), Qt::LeftButton);
        QCOMPARE(w->grid()->rowCount(), 1);
        QCOMPARE(host->application()->activeCell()->address(false, false), QStringLiteral("A2"));
        QCOMPARE(w->pass().HitCount, 1);
        QVERIFY(w->pass().NotRunning);
        QTest::mouseClick(child(*w, QStringLiteral("Cmd_Cancel")), Qt::LeftButton);
        QCOMPARE(w->pass().HitCount, 0);

        // All at once, stopped at its first chance, once the sheet is read and
        // before its first row: while it runs the window is busy and refuses
        // to close, every run command of every window is refused with a beep
        // (the main window staying disabled), and the stop button ends it.
        auto r = open(true);
        r->show();
        combo(*r, "Search_Combo")->setEditText(QStringLiteral("売上"));
        combo(*r, "Replace_Combo")->setEditText(QStringLiteral("x"));
        action(*r, "SM_SelAll")->trigger();
        QWidget mainWindow;
        korvex::WindowBand::instance().setWindow(korvex::BandWindow::Main, &mainWindow);
        bool closed = true;
        bool cancelShown = false;
        int refusedBeeps = 0;
        bool mainEnabledMeanwhile = true;
        QTimer::singleShot(0, w.get(), [&] {
            closed = w->close();
            cancelShown = child(*w, QStringLiteral("Cmd_Cancel"))->isVisible();
            const int beeps = env.ui.beeps;
            for (QWidget* other : {child(*r, QStringLiteral("Cmd_SumReplace")),
                                   child(*r, QStringLiteral("Cmd_Replace")),
                                   child(*w, QStringLiteral("Cmd_Search"))})
                QTest::mouseClick(other, Qt::LeftButton);
            refusedBeeps = env.ui.beeps - beeps;
            mainEnabledMeanwhile = mainWindow.isEnabled();
            QTest::mouseClick(child(*w, QStringLiteral("Cmd_Cancel")), Qt::LeftButton);
        });
        QTest::mouseClick(child(*w, QStringLiteral("Cmd_SumSearch")), Qt::LeftButton);
        korvex::WindowBand::instance().release(&mainWindow);
        QVERIFY(!closed);
        QVERIFY(cancelShown);
        QCOMPARE(refusedBeeps, 3);
        QVERIFY(!mainEnabledMeanwhile);
        QVERIFY(mainWindow.isEnabled());
        QCOMPARE(r->grid()->rowCount(), 0);
        QVERIFY(r->close());
        QVERIFY(w->pass().NotRunning);
        QVERIFY(combo(*w, "Book_Combo")->isEnabled());
        const int stoppedAt = w->grid()->rowCount();
        QCOMPARE(stoppedAt, 1);

        // Run to the end; the history holds the text once.
        QTest::mouseClick(child(*w, QStringLiteral("Cmd_SumSearch")), Qt::LeftButton);
        QCOMPARE(w->grid()->rowCount(), stoppedAt + 4);
        QCOMPARE(entries(combo(*w, "Search_Combo")), QStringList{"売上"});
        // The outcome stays on the status line when the pointer passes over
        // a menu item, which sends the window an empty status tip.
        const auto* status = w->findChild<QLabel*>(QStringLiteral("Run_Status_Text"));
        QVERIFY(status->text().startsWith(QString::fromUtf8("検索完了: 4 件")));
        QStatusTipEvent tip{QString()};
        QApplication::sendEvent(w.get(), &tip);
        QVERIFY(status->isVisibleTo(w.get()));
        QVERIFY(status->text().startsWith(QString::fromUtf8("検索完了: 4 件")));
        action(*w, "OM_BookMerge")->trigger();
        QVERIFY(w->close());
    }
    // The rows stay in the work database and the merging in the layout file.
    QVERIFY(QFile::exists(Korvex_M01::GrxFile));
    auto again = open(false);
    QCOMPARE(again->grid()->rowCount(), 5);
    QVERIFY(action(*again, "OM_BookMerge")->isChecked());
    QVERIFY(!action(*again, "OM_SheetMerge")->isChecked());
}

// "選択Rowを元に戻す(&U)": the chosen rows' cells get their old values back
// unless changed since; the notice counts both, and a second undo finds
// nothing left to undo. The search window has no such item. A protected
// sheet's locked cell keeps its row, but the status line and the notice say
// it was not replaced, and the undo has nothing to undo there.
void FindReplaceWindowsTest::revertChosenRowsFromTheMenu() {
    Env env;
    auto host = env.host(QStringLiteral("[book R.xls]\nactive\n[sheet One]\nA1 = a\nA2 = xa\n"
                                        "A3 = a\n[sheet Two]\nprotected\nunlocked B1\nA1 = a\n"
                                        "B1 = a\n"));
    QVERIFY(!open(false)->findChild<QAction*>(QStringLiteral("SR_Revert")));
    auto w = open(true);
    w->show();
    combo(*w, "Search_Combo")->setEditText(QStringLiteral("a"));
    combo(*w, "Replace_Combo")->setEditText(QStringLiteral("b"));
    action(*w, "SM_SelAll")->trigger();
    env.ui.clear();
    QTest::mouseClick(child(*w, QStringLiteral("Cmd_SumReplace")), Qt::LeftButton);
    QCOMPARE(w->grid()->rowCount(), 5);
    const QString said = QStringLiteral("置換完了: 4 件（保護のため 1 件は置換できませんでした）");
    QCOMPARE(env.ui.messageIds(), QStringList{"N_F03_004"});
    QVERIFY2(env.ui.messages.first().text.endsWith(QLatin1Char('\n') + said),
             qPrintable(env.ui.messages.first().text));
    const auto* status = w->findChild<QLabel*>(QStringLiteral("Run_Status_Text"));
    QVERIFY2(status->text().startsWith(said), qPrintable(status->text()));
    const auto sheet = host->findSheet(QStringLiteral("R.xls"), QStringLiteral("One"));
    QCOMPARE(sheet->cell(2, 1)->formula, QStringLiteral("xb"));
    Korvex_M02::ExcelApp->workbook(QStringLiteral("R.xls"))
        ->worksheet(QStringLiteral("One"))
        ->range(QStringLiteral("A3"))
        ->setValue(QStringLiteral("changed"));

    QVERIFY(action(*w, "SR_Revert")->isEnabled());
    w->grid()->selectAll();
    env.ui.clear();
    action(*w, "SR_Revert")->trigger();
    QCOMPARE(sheet->cell(1, 1)->formula, QStringLiteral("a"));
    QCOMPARE(sheet->cell(2, 1)->formula, QStringLiteral("xa"));
    QCOMPARE(sheet->cell(3, 1)->formula, QStringLiteral("changed"));
    QCOMPARE(env.ui.messageIds(), QStringList{"N_F03_003"});
    const QString first = env.ui.messages.first().text;
    QVERIFY2(first.contains(QStringLiteral("3 件のセル")) &&
                 first.contains(QStringLiteral("置換後に変更されたセル 1 件")) &&
                 first.contains(QStringLiteral("保護のため置換されなかった行 1 件")),
             qPrintable(first));
    env.ui.clear();
    action(*w, "SR_Revert")->trigger();
    QVERIFY2(env.ui.messages.first().text.contains(QStringLiteral("記録がない行 3 件")),
             qPrintable(env.ui.messages.first().text));
    QCOMPARE(w->grid()->rowCount(), 5); // the log never removes rows
}

void FindReplaceWindowsTest::openedAndClosedByMainWindow() {
    Env env;
    env.host(QString::fromUtf8(kBooks));
    QPointer<QWidget> search;
    QPointer<QWidget> replace;
    {
        Korvex_F01 f;
        f.show();
        f.TM_Search_Click();
        f.TM_Replace_Click();
        search = korvex::WindowBand::instance().window(korvex::BandWindow::Search);
        replace = korvex::WindowBand::instance().window(korvex::BandWindow::Replace);
        QVERIFY(search && replace && search->isVisible() && !search->isModal());
        combo(*search, "Combo_SOpsion_0")->setCurrentIndex(1);
        combo(*replace, "Replace_Combo")->setEditText(QStringLiteral("置換後"));
        search->showMinimized();
        f.TM_Search_Click(); // the open one comes back, no second one
        QCOMPARE(korvex::WindowBand::instance().window(korvex::BandWindow::Search), search.data());
        QVERIFY(!search->isMinimized());
        // While a run goes on in one of them, neither it nor the navigator
        // closes, each with a beep: the navigator's shutdown would take the
        // work database away from the run.
        auto* running = static_cast<FindReplaceWindow*>(replace.data());
        running->pass().NotRunning = false;
        running->setMainWindowEnabled(false);
        env.ui.clear();
        QVERIFY(!f.close());
        QVERIFY(!running->close());
        QCOMPARE(env.ui.beeps, 2);
        QVERIFY(f.isVisible() && search && replace && Korvex_M01::WorkDb().ConnectFlag());
        running->pass().NotRunning = true;
        running->setMainWindowEnabled(true);
        f.close(); // the navigator's shutdown unloads both, each saving its own state
        QTRY_VERIFY(!search && !replace);
    }
    QCOMPARE(env.ini(QStringLiteral("F02_Info"), QStringLiteral("S_Combo_0")), 1);
    QCOMPARE(env.ini(QStringLiteral("F03_Info"), QStringLiteral("S_Combo_0")), 0);
    QCOMPARE(env.iniText(QStringLiteral("F03_Info"), QStringLiteral("R_Text")),
             QStringLiteral("置換後"));
}

QTEST_MAIN(FindReplaceWindowsTest)
#include "tst_find_replace_windows.moc"
