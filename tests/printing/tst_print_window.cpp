// The print window driven against the simulated host: the lists and their
// options, the selection commands, the page-setup copy with its stop and
// deselection rules, the office's two dialogs with the grouping put back, and
// the size limit.

#include "name_order.h"
#include "print_env.h"
#include "settings.h"
#include "sim_host.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

using korvex::host::Dialog;
using korvex::host::PageProperty;
using korvex::sim::SimHost;
using namespace printtest;

namespace {

// 売上.xlsx is the base book (its active sheet 1月 carries the page setup to
// copy); 別冊.xlsx has sheets of the same names; 図表.xlsx has a chart sheet
// active, so its sheet list has no current entry.
const char* kBooks = R"(
[book 別冊.xlsx]
[sheet 1月]
[sheet 2月]
active
[sheet 集計]
[book 図表.xlsx]
[sheet b]
[sheet A]
[chart グラフ]
active
[book 売上.xlsx]
active
group = 表紙 | 1月
[sheet 表紙]
[sheet 1月]
active
active C3
pagesetup CenterHeader = &A 報告
pagesetup PrintTitleRows = $1:$2
pagesetup Orientation = 2
pagesetup Zoom = 80
pagesetup LeftMargin = 30
[sheet 3月]
[sheet 2月]
)";

class Env : public printtest::Scratch {
public:
    Env() {
        QString error;
        connector = korvex::sim::SimConnector::fromFixtureText(QString::fromUtf8(kBooks), &error);
        if (!connector)
            qFatal("bad fixture: %s", qPrintable(error));
        Korvex_M02::SetConnector(connector);
        host = connector->host();
    }
    std::shared_ptr<korvex::sim::SimConnector> connector;
    std::shared_ptr<SimHost> host;
};

QString cursorOf(SimHost& host) {
    auto app = host.application();
    return app->activeWorkbook()->name() + QLatin1Char('!') + app->activeSheet()->name() +
           QLatin1Char('!') + app->activeCell()->address(false, false);
}
QVariant page(SimHost& host, const char* book, const char* sheet, PageProperty p) {
    return host.findSheet(QString::fromUtf8(book), QString::fromUtf8(sheet))->page[size_t(p)];
}

} // namespace

class PrintWindowTest : public QObject {
    Q_OBJECT
private slots:
    void loadShowsCaptionsAndActiveSheets();
    void pageSetupCopy_data();
    void pageSetupCopy();
    void selectionCommands_data();
    void selectionCommands();
    void listsFollowTheBaseAndTheOptions();
    void officeDialogsOnBaseAndGroup_data();
    void officeDialogsOnBaseAndGroup();
    void windowCannotShrinkBelowMinimum();
};

void PrintWindowTest::loadShowsCaptionsAndActiveSheets() {
    Env env;
    Korvex_F04 f;
    QCOMPARE(f.windowTitle(), QStringLiteral("印刷設定"));
    const char* captions[][2] = {
        {"Label_Book", "基本ﾌﾞｯｸ"},
        {"Label_Sheet", "基本ｼｰﾄ"},
        {"Label_BookSel", "対象ﾌﾞｯｸ"},
        {"Label_SheetSel", "対象ｼｰﾄ"},
        {"Command_PrintSet", "ﾌﾟﾛﾊﾟﾃｨ"},
        {"Command_SetStart", "設定開始"},
        {"Command_Cancel", "ｷｬﾝｾﾙ"},
        {"Command_PrintOut", "印刷"},
        {"Sheet_Menu", "ｼｰﾄ選択(&S)"},
        {"SM_SelAll", "全選択(&A)"},
        {"SM_Before", "現ｼｰﾄ以前選択(&B)"},
        {"SM_After", "現ｼｰﾄ以降(&F)"},
        {"SM_SelCancel", "選択解除(&C)"},
        {"SM_Reversal", "選択反転(&R)"},
        {"Redraw_Menu", "再表示(&R)"},
        {"RM_Book", "Book List(&B)"},
        {"RM_Sheet", "Sheet List(&S)"},
        {"RM_Excel", "Excel(&E)"},
        {"Opstion_Menu", "ｵﾌﾟｼｮﾝ(&O)"},
        {"OM_ListFree", "設定後に選択を自動解除する(&F)"},
        {"OM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)"},
        {"OM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)"},
        {"OM_Font", "ﾌｫﾝﾄ(&F)"},
        {"Popup_Menu", "ﾎﾟｯﾌﾟｱｯﾌﾟ"},
        {"PM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)"},
        {"PM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)"},
        {"PM_Font", "ﾌｫﾝﾄ(&F)"},
    };
    for (const auto& [name, caption] : captions) {
        QString text;
        if (auto* a = f.findChild<QAction*>(QString::fromLatin1(name)))
            text = a->text();
        else if (auto* m = f.findChild<QMenu*>(QString::fromLatin1(name)))
            text = m->title();
        else if (auto* b = f.findChild<QPushButton*>(QString::fromLatin1(name)))
            text = b->text();
        else
            text = child<QLabel>(f, name)->text();
        QCOMPARE(text, QString::fromUtf8(caption));
    }
    // The pop-up is not part of the menu bar.
    const auto barMenus = child<QMenuBar>(f, "MenuBar")->actions();
    QCOMPARE(barMenus.size(), 3);
    QVERIFY(!barMenus.contains(f.popupMenu()->menuAction()));

    // Both book lists in host order with the active book chosen; the base sheet
    // and the target list's current entry are that book's active sheet, and no
    // target is selected yet.
    const QStringList books{"別冊.xlsx", "図表.xlsx", "売上.xlsx"};
    QCOMPARE(comboEntries(child<QComboBox>(f, "Combo_Book")), books);
    QCOMPARE(comboEntries(child<QComboBox>(f, "Combo_BookSel")), books);
    QCOMPARE(child<QComboBox>(f, "Combo_Book")->currentText(), QStringLiteral("売上.xlsx"));
    QCOMPARE(child<QComboBox>(f, "Combo_Sheet")->currentText(), QStringLiteral("1月"));
    QCOMPARE(entries(targets(f)), (QStringList{"表紙", "1月", "3月", "2月"}));
    QCOMPARE(targets(f)->currentItem()->text(), QStringLiteral("1月"));
    QVERIFY(targets(f)->selectedItems().isEmpty());
    QCOMPARE(targets(f)->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(env.ui.messages.isEmpty());
}

// One run of 設定開始 per row. `stopAt` is the target during whose copy the
// user presses ｷｬﾝｾﾙ (after trying to close the window); `copied` the targets
// that end with the base page setup, `selectedAfter` what stays selected.
void PrintWindowTest::pageSetupCopy_data() {
    QTest::addColumn<QString>("targetBook");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<bool>("listFree");
    QTest::addColumn<int>("stopAt"); // 1-based index among the copies, 0: never
    QTest::addColumn<QStringList>("copied");
    QTest::addColumn<QStringList>("selectedAfter");

    QTest::newRow("base among targets is skipped, still deselected")
        << "売上.xlsx" << QStringList{"表紙", "1月", "2月"} << true << 0
        << QStringList{"表紙", "2月"} << QStringList{};
    QTest::newRow("same sheet name in another book is copied")
        << "別冊.xlsx" << QStringList{"1月", "集計"} << false << 0 << QStringList{"1月", "集計"}
        << QStringList{"1月", "集計"};
    QTest::newRow("stopped run leaves the unreached selected")
        << "売上.xlsx" << QStringList{"表紙", "3月", "2月"} << true << 2
        << QStringList{"表紙", "3月"} << QStringList{"2月"};
}

void PrintWindowTest::pageSetupCopy() {
    QFETCH(QString, targetBook);
    QFETCH(QStringList, selected);
    QFETCH(bool, listFree);
    QFETCH(int, stopAt);
    QFETCH(QStringList, copied);
    QFETCH(QStringList, selectedAfter);

    Env env;
    Korvex_F04 f;
    f.show();
    if (listFree)
        child<QAction>(f, "OM_ListFree")->trigger();
    choose(child<QComboBox>(f, "Combo_BookSel"), targetBook);
    select(targets(f), selected);
    const QString cursorBefore = cursorOf(*env.host);

    // Every copy writes PrintTitleRows once: that write tells which target the
    // run is at, and what the window looks like meanwhile.
    int copies = 0;
    bool closedWhileRunning = false;
    QStringList enabledWhileRunning;
    env.host->beforeOperation = [&](const QString& op) {
        if (op != QLatin1String("PageSetup.set:PrintTitleRows"))
            return;
        ++copies;
        if (copies == 1) {
            for (const char* name :
                 {"Combo_Book", "Combo_Sheet", "Combo_BookSel", "List_Sheet", "Command_PrintSet",
                  "Command_SetStart", "Command_Cancel", "Command_PrintOut"}) {
                if (child<QWidget>(f, name)->isEnabled())
                    enabledWhileRunning << QString::fromLatin1(name);
            }
            for (const char* menu : {"Sheet_Menu", "Redraw_Menu", "Opstion_Menu"}) {
                if (child<QMenu>(f, menu)->menuAction()->isEnabled())
                    enabledWhileRunning << QString::fromLatin1(menu);
            }
        }
        // A re-sort asked for during the run waits until the run is over.
        if (copies == 1)
            child<QAction>(f, "PM_SheetSort")->trigger();
        if (copies == stopAt) {
            f.close();
            closedWhileRunning = !f.isVisible();
            QTest::mouseClick(child<QPushButton>(f, "Command_Cancel"), Qt::LeftButton);
        }
    };
    press(f, "Command_SetStart");
    env.host->beforeOperation = nullptr;

    QCOMPARE(copies, int(copied.size()));
    QCOMPARE(enabledWhileRunning, (QStringList{"Command_Cancel", "Opstion_Menu"}));
    QVERIFY(!closedWhileRunning);
    QVERIFY(f.isVisible());
    QVERIFY(!f.running());

    // The targets carry the base page setup, header codes as codes; the other
    // sheets of both books keep their own.
    for (const auto& book : env.host->books) {
        for (const auto& sheet : book->sheets) {
            if (sheet->chart || (book->name == "売上.xlsx" && sheet->name == "1月"))
                continue;
            const bool isCopy = book->name == targetBook && copied.contains(sheet->name);
            const QByteArray where = (book->name + "!" + sheet->name).toUtf8();
            const auto p = [&](PageProperty pp) { return sheet->page[size_t(pp)]; };
            QVERIFY2((p(PageProperty::CenterHeader).toString() == "&A 報告") == isCopy, where);
            QVERIFY2((p(PageProperty::Orientation).toInt() == 2) == isCopy, where);
            QVERIFY2((p(PageProperty::Zoom).toInt() == 80) == isCopy, where);
            QVERIFY2((p(PageProperty::LeftMargin).toDouble() == 30) == isCopy, where);
        }
    }
    QCOMPARE(page(*env.host, "売上.xlsx", "1月", PageProperty::Zoom).toInt(), 80);

    QCOMPARE(entries(targets(f)), korvex::sortedNames(entries(targets(f))));
    QCOMPARE(selectedEntries(targets(f)), selectedAfter);

    // The office was never brought over the window.
    QCOMPARE(env.host->bringToFrontCount, 0);

    // Back where the user was, with every control usable and the pointer back.
    QCOMPARE(cursorOf(*env.host), cursorBefore);
    QVERIFY(child<QWidget>(f, "List_Sheet")->isEnabled());
    QVERIFY(child<QMenu>(f, "Sheet_Menu")->menuAction()->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(env.ui.messages.isEmpty());

    // Idle, ｷｬﾝｾﾙ closes the window, which keeps its options.
    QTest::mouseClick(child<QPushButton>(f, "Command_Cancel"), Qt::LeftButton);
    QVERIFY(!f.isVisible());
    QCOMPARE(Korvex_M01::GetIniInt("F04_Info", "List_Free", -1), listFree ? 1 : 0);
}

// The selection commands work on the list's order, from its current entry.
void PrintWindowTest::selectionCommands_data() {
    QTest::addColumn<QString>("book");
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<QString>("current"); // empty: keep what loading left
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("after");

    const QStringList none;
    QTest::newRow("before, active sheet current")
        << "売上.xlsx" << false << "" << QStringList{"2月"} << "SM_Before"
        << QStringList{"表紙", "1月"};
    QTest::newRow("before, sorted list keeps the active sheet current")
        << "売上.xlsx" << true << "" << QStringList{"表紙"} << "SM_Before" << QStringList{"1月"};
    QTest::newRow("after, clicked entry") << "別冊.xlsx" << false << "2月" << QStringList{"1月"}
                                          << "SM_After" << QStringList{"2月", "集計"};
    QTest::newRow("after without a current entry selects none")
        << "図表.xlsx" << false << "" << QStringList{"A"} << "SM_After" << none;
    QTest::newRow("before without a current entry selects all")
        << "図表.xlsx" << false << "" << none << "SM_Before" << QStringList{"b", "A"};
    QTest::newRow("reversal") << "売上.xlsx" << false << "" << QStringList{"表紙", "2月"}
                              << "SM_Reversal" << QStringList{"1月", "3月"};
    QTest::newRow("all") << "別冊.xlsx" << false << "" << none << "SM_SelAll"
                         << QStringList{"1月", "2月", "集計"};
    QTest::newRow("cancel") << "別冊.xlsx" << false << "" << QStringList{"2月"} << "SM_SelCancel"
                            << none;
}

void PrintWindowTest::selectionCommands() {
    QFETCH(QString, book);
    QFETCH(bool, sorted);
    QFETCH(QString, current);
    QFETCH(QStringList, before);
    QFETCH(QString, command);
    QFETCH(QStringList, after);

    Env env;
    Korvex_F04 f;
    if (sorted)
        child<QAction>(f, "OM_SheetSort")->trigger();
    choose(child<QComboBox>(f, "Combo_BookSel"), book);
    QListWidget* list = targets(f);
    if (sorted)
        QCOMPARE(entries(list), (QStringList{"1月", "2月", "3月", "表紙"}));
    if (!current.isEmpty())
        list->setCurrentRow(int(entries(list).indexOf(current)), QItemSelectionModel::NoUpdate);
    select(list, before);
    child<QAction>(f, command.toLatin1().constData())->trigger();

    QStringList expected;
    for (const QString& name : entries(list)) {
        if (after.contains(name))
            expected << name;
    }
    QCOMPARE(selectedEntries(list), expected);
    QVERIFY(env.ui.messages.isEmpty());
}

void PrintWindowTest::listsFollowTheBaseAndTheOptions() {
    Env env;
    {
        Korvex_F04 f;
        f.show();
        auto* base = child<QComboBox>(f, "Combo_Sheet");
        QListWidget* list = targets(f);

        // Same book as base and target: another base sheet starts the targets
        // afresh; with another target book the targets stay.
        select(list, {"表紙", "3月"});
        choose(base, "3月");
        QVERIFY(list->selectedItems().isEmpty());
        QCOMPARE(list->currentItem()->text(), QStringLiteral("1月"));
        choose(child<QComboBox>(f, "Combo_BookSel"), "別冊.xlsx");
        select(list, {"集計"});
        choose(base, "表紙");
        QCOMPARE(list->selectedItems().size(), 1);

        // Sorting: both book lists by name, the active book still chosen.
        child<QAction>(f, "PM_BookSort")->trigger();
        QVERIFY(child<QAction>(f, "OM_BookSort")->isChecked());
        const QStringList hostOrder{"別冊.xlsx", "図表.xlsx", "売上.xlsx"};
        QCOMPARE(comboEntries(child<QComboBox>(f, "Combo_BookSel")),
                 korvex::sortedNames(hostOrder));
        QVERIFY(korvex::sortedNames(hostOrder) != hostOrder);
        QCOMPARE(child<QComboBox>(f, "Combo_BookSel")->currentText(), QStringLiteral("売上.xlsx"));
        child<QAction>(f, "OM_ListFree")->trigger();

        // A target book closed behind the window's back.
        env.host->findBook("売上.xlsx")->open = false;
        env.host->books.erase(env.host->books.begin() + 2);
        env.host->activeBook = env.host->books.front();
        child<QAction>(f, "SM_SelAll")->trigger();
        press(f, "Command_PrintSet");
        QCOMPARE(env.ui.messageIds(), (QStringList{"E_F04_002", "E_F04_002"}));
        f.close();
    }
    QCOMPARE(Korvex_M01::GetIniInt("F04_Info", "B_Sort", -1), 1);
    QCOMPARE(Korvex_M01::GetIniInt("F04_Info", "S_Sort", -1), 0);
    QCOMPARE(Korvex_M01::GetIniInt("F04_Info", "List_Free", -1), 1);

    // The options come back at the next load, marks and lists alike.
    Korvex_F04 again;
    QVERIFY(child<QAction>(again, "PM_BookSort")->isChecked());
    QVERIFY(child<QAction>(again, "OM_ListFree")->isChecked());
    QVERIFY(!child<QAction>(again, "OM_SheetSort")->isChecked());
    QCOMPARE(comboEntries(child<QComboBox>(again, "Combo_Book")),
             korvex::sortedNames({"別冊.xlsx", "図表.xlsx"}));
}

// ﾌﾟﾛﾊﾟﾃｨ opens the office's page-setup dialog on the base sheet; 印刷 opens
// the print dialog on exactly the selected targets. Both wait for the dialog,
// keep the window disabled meanwhile and put the cursor and the user's
// selection back, a group or the active sheet alone, even where the targets
// include the user's sheet (activating it inside the group keeps the group).
void PrintWindowTest::officeDialogsOnBaseAndGroup_data() {
    QTest::addColumn<QStringList>("userSelection");
    QTest::newRow("the user's group") << QStringList{"表紙", "1月"};
    QTest::newRow("one sheet among the targets") << QStringList{"1月"};
}

void PrintWindowTest::officeDialogsOnBaseAndGroup() {
    QFETCH(QStringList, userSelection);
    Env env;
    env.host->application()->workbook("売上.xlsx")->selectSheets(userSelection);
    Korvex_F04 f;
    f.show();
    choose(child<QComboBox>(f, "Combo_Sheet"), "3月");
    select(targets(f), {"表紙", "1月", "3月", "2月"});
    const QString cursorBefore = cursorOf(*env.host);
    auto grouping = [&] {
        return env.host->application()->workbook("売上.xlsx")->window(1)->selectedSheets();
    };
    QCOMPARE(grouping(), userSelection);

    struct Seen {
        Dialog dialog;
        QString where;
        QStringList group;
        bool windowEnabled;
    };
    QList<Seen> seen;
    bool confirm = false;
    env.host->dialogScript = [&](Dialog d, korvex::host::Application& app) {
        seen.append({d, app.activeSheet()->name(), grouping(), f.isEnabled()});
        if (d == Dialog::PageSetup && confirm)
            app.activeSheet()->pageSetup()->set(PageProperty::Orientation, 2);
        return confirm;
    };
    auto press = [&](const char* button, bool answer) {
        confirm = answer;
        QTest::mouseClick(child<QPushButton>(f, button), Qt::LeftButton);
        QCOMPARE(cursorOf(*env.host), cursorBefore);
        QCOMPARE(grouping(), userSelection);
        QVERIFY(f.isEnabled());
    };

    press("Command_PrintSet", false);
    QCOMPARE(page(*env.host, "売上.xlsx", "3月", PageProperty::Orientation).toInt(), 1);
    press("Command_PrintSet", true);
    QCOMPARE(page(*env.host, "売上.xlsx", "3月", PageProperty::Orientation).toInt(), 2);
    press("Command_PrintOut", false);
    QVERIFY(env.host->printed.isEmpty());
    press("Command_PrintOut", true);
    QCOMPARE(env.host->printed.size(), 1);
    QCOMPARE(env.host->printed[0].sheets, (QStringList{"表紙", "1月", "3月", "2月"}));

    QCOMPARE(seen.size(), 4);
    for (const Seen& s : seen) {
        QVERIFY(!s.windowEnabled);
        if (s.dialog == Dialog::PageSetup)
            QCOMPARE(s.where, QStringLiteral("3月"));
        else
            QCOMPARE(s.group, (QStringList{"表紙", "1月", "3月", "2月"}));
    }

    // A target book closed behind the window's back: 印刷 and 設定開始 say so
    // and do nothing.
    choose(child<QComboBox>(f, "Combo_BookSel"), "別冊.xlsx");
    select(targets(f), {"1月"});
    env.host->findBook("別冊.xlsx")->open = false;
    env.host->books.erase(env.host->books.begin());
    QTest::mouseClick(child<QPushButton>(f, "Command_PrintOut"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(f, "Command_SetStart"), Qt::LeftButton);
    QCOMPARE(env.ui.messageIds(), (QStringList{"E_F04_002", "E_F04_002"}));
    QCOMPARE(seen.size(), 4);
    choose(child<QComboBox>(f, "Combo_BookSel"), "売上.xlsx");
    select(targets(f), {"表紙", "1月", "3月", "2月"});
    env.ui.messages.clear();

    // A target that has gone cannot be grouped: no print dialog on whatever
    // else is selected, and the user is told.
    auto book = env.host->findBook("売上.xlsx");
    book->sheets.erase(book->sheets.begin() + 3); // 2月
    press("Command_PrintOut", true);
    QCOMPARE(seen.size(), 4);
    QCOMPARE(env.ui.messageIds(), QStringList{"E_F04_002"});

    // Nothing selected: a beep and no dialog.
    select(targets(f), {});
    QTest::mouseClick(child<QPushButton>(f, "Command_PrintOut"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(f, "Command_SetStart"), Qt::LeftButton);
    QCOMPARE(env.ui.beeps, 2);
    QCOMPARE(seen.size(), 4);
}

void PrintWindowTest::windowCannotShrinkBelowMinimum() {
    Env env;
    Korvex_F04 f;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.resize(40, 30);
    QTRY_VERIFY(f.frameGeometry().width() * 15 >= 3950);
    QVERIFY(f.frameGeometry().height() * 15 >= 2600);
    QVERIFY(f.frameGeometry().width() * 15 < 3950 + 15);

    // Wider: the buttons keep to the right edge, the lists fill the rest.
    f.resize(700, 500);
    QTRY_COMPARE(f.width(), 700);
    auto* client = child<QWidget>(f, "Client");
    auto* setStart = child<QPushButton>(f, "Command_SetStart");
    for (const char* name :
         {"Command_PrintSet", "Command_SetStart", "Command_Cancel", "Command_PrintOut"}) {
        const auto* b = child<QPushButton>(f, name);
        QVERIFY(qAbs(b->geometry().right() + 1 + 100 / 15 - client->width()) <= 1);
    }
    const QListWidget* list = targets(f);
    QVERIFY(qAbs(list->geometry().bottom() + 1 + 100 / 15 - client->height()) <= 1);
    QVERIFY(qAbs(list->geometry().right() + 1 + 100 / 15 - setStart->x()) <= 1);
    QCOMPARE(child<QComboBox>(f, "Combo_BookSel")->width(), list->width());
}

QTEST_MAIN(PrintWindowTest)
#include "tst_print_window.moc"
