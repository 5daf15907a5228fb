// The navigator's dialogs: the cell-position settings, the version dialog and
// the help viewer, against the simulated host.

#include "cell_position_dialog.h"
#include "help_window.h"
#include "nav_list.h"
#include "navigator_env.h"
#include "version_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>

using navtest::Env;

namespace {
const char* kBooks = R"(
[book 集計.xlsx]
active
[sheet 明細]
active
active AB7
[sheet 合計]
[chart グラフ]
)";
}

class NavigatorDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void cellDialogShowsCurrentValues();
    void cellGetTakesActiveCell_data();
    void cellGetTakesActiveCell();
    void cellDialogWithoutHostDisablesFetch();
    void okStoresAndCancelDoesNot_data();
    void okStoresAndCancelDoesNot();
    void okTakesEffectOnNextSheetClick();
    void versionDialogContents();
    void helpWindowHasTopicsTabs();
};

void NavigatorDialogsTest::cellDialogShowsCurrentValues() {
    Env env;
    env.host(QString::fromUtf8(kBooks));
    Korvex_F01::S_Move = 1;
    Korvex_F01::CValue = QStringLiteral("C9");
    Korvex_F0101 dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("Korvex_F0101"));
    QVERIFY(dlg.windowTitle().trimmed().isEmpty());
    QVERIFY(dlg.moveBox()->isChecked());
    QCOMPARE(dlg.moveBox()->text(), QStringLiteral("シート移動後、セルを移動する"));
    QCOMPARE(dlg.cellField()->text(), QStringLiteral("C9"));
    QCOMPARE(dlg.cellGetButton()->text(), QStringLiteral("ｾﾙ取得"));
    QVERIFY(dlg.cellGetButton()->isEnabled());
    QCOMPARE(dlg.button(0)->text(), QStringLiteral("OK"));
    QCOMPARE(dlg.button(1)->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    // Design size: 3990 x 930 twips, fixed.
    QCOMPARE(dlg.size(), QSize(266, 62));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    QCOMPARE(dlg.cellField()->geometry(), QRect(40, 33, 65, 19));
}

void NavigatorDialogsTest::cellGetTakesActiveCell_data() {
    QTest::addColumn<QString>("front");    // "" = leave the fixture's active place
    QTest::addColumn<QString>("expected"); // the field afterwards
    QTest::newRow("worksheet cell AB7") << ""
                                        << "AB7";
    QTest::newRow("chart sheet in front") << "グラフ"
                                          << "C9";
    QTest::newRow("no book open") << "-"
                                  << "C9";
}

void NavigatorDialogsTest::cellGetTakesActiveCell() {
    QFETCH(QString, front);
    QFETCH(QString, expected);
    Env env;
    auto host = env.host(QString::fromUtf8(kBooks));
    Korvex_F01::CValue = QStringLiteral("C9");
    Korvex_F0101 dlg;
    if (front == QLatin1String("-"))
        host->closeBook(host->findBook(QStringLiteral("集計.xlsx")));
    else if (!front.isEmpty())
        host->activateSheet(host->findSheet(QStringLiteral("集計.xlsx"), front));
    dlg.cellGetButton()->click();
    QCOMPARE(dlg.cellField()->text(), expected);
    QVERIFY(env.ui.messages.isEmpty());
}

void NavigatorDialogsTest::cellDialogWithoutHostDisablesFetch() {
    Env env;
    env.noHost();
    Korvex_F01::CValue = QStringLiteral("A1");
    Korvex_F0101 dlg;
    QVERIFY(!dlg.cellGetButton()->isEnabled());
    dlg.CellGet_Cmd_Click(); // the host vanished: nothing happens
    QCOMPARE(dlg.cellField()->text(), QStringLiteral("A1"));
}

void NavigatorDialogsTest::okStoresAndCancelDoesNot_data() {
    QTest::addColumn<int>("button");
    QTest::newRow("OK") << 0;
    QTest::newRow("cancel") << 1;
}

void NavigatorDialogsTest::okStoresAndCancelDoesNot() {
    QFETCH(int, button);
    Env env;
    env.host(QString::fromUtf8(kBooks));
    Korvex_F01::S_Move = 0;
    Korvex_F01::CValue = QStringLiteral("A1");
    Korvex_F0101 dlg;
    dlg.moveBox()->setChecked(true);
    dlg.cellField()->setText(QStringLiteral("  z99 ")); // stored exactly as typed
    dlg.button(button)->click();
    QCOMPARE(dlg.result(), button == 0 ? int(QDialog::Accepted) : int(QDialog::Rejected));
    if (button == 0) {
        QCOMPARE(Korvex_F01::S_Move, 1);
        QCOMPARE(Korvex_F01::CValue, QStringLiteral("  z99 "));
        QCOMPARE(env.ini(QStringLiteral("F01_Info"), QStringLiteral("S_Move")), 1);
        QCOMPARE(env.iniText(QStringLiteral("F01_Info"), QStringLiteral("CValue")),
                 QStringLiteral("z99"));
    } else {
        QCOMPARE(Korvex_F01::S_Move, 0);
        QCOMPARE(Korvex_F01::CValue, QStringLiteral("A1"));
        QCOMPARE(env.ini(QStringLiteral("F01_Info"), QStringLiteral("S_Move")), -999);
    }
    // Either way its position is kept, and only its position.
    QVERIFY(env.ini(QStringLiteral("Korvex_F0101"), QStringLiteral("Left")) != -999);
    QCOMPARE(env.ini(QStringLiteral("Korvex_F0101"), QStringLiteral("Width")), -999);
}

void NavigatorDialogsTest::okTakesEffectOnNextSheetClick() {
    Env env;
    auto host = env.host(QString::fromUtf8(kBooks));
    Korvex_F01 f;
    env.ui.onDialog = [](QDialog& d) {
        auto* dlg = qobject_cast<Korvex_F0101*>(&d);
        dlg->moveBox()->setChecked(true);
        dlg->cellField()->setText(QStringLiteral("B2"));
        dlg->button(0)->click();
        return dlg->result();
    };
    f.OM_Set_Click();
    f.findChild<NavList*>(QStringLiteral("Sheet_List"))->setCurrentByProgram(1);
    auto app = host->application();
    QCOMPARE(app->activeSheet()->name(), QStringLiteral("合計"));
    QCOMPARE(app->activeCell()->address(false, false), QStringLiteral("B2"));
}

void NavigatorDialogsTest::versionDialogContents() {
    Env env;
    env.noHost();
    Korvex_F0103 dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Korvexのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(dlg.versionLabel()->text(), QStringLiteral("Version 1.10.01"));
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("lblTitle"))->text(), QStringLiteral("Korvex"));
    QCOMPARE(dlg.sysInfoButton()->text(), QStringLiteral("ｼｽﾃﾑ情報(&S)..."));
    QVERIFY(dlg.okButton()->isDefault());
    QCOMPARE(dlg.size(), QSize(296, 155));
    QCOMPARE(dlg.okButton()->geometry(), QRect(150, 120, 92, 23));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClick(&dlg, Qt::Key_Escape); // Esc presses OK's role: closes
    QVERIFY(!dlg.isVisible());
    QVERIFY(env.ini(QStringLiteral("Korvex_F0103"), QStringLiteral("Top")) != -999);
}

void NavigatorDialogsTest::helpWindowHasTopicsTabs() {
    HelpWindow help(navtest::resourceDir() + QStringLiteral("/help"));
    QCOMPARE(help.tabs()->count(), 3);
    QCOMPARE(help.tabs()->tabText(0), QStringLiteral("目次"));
    QCOMPARE(help.tabs()->tabText(1), QStringLiteral("キーワード"));
    QCOMPARE(help.tabs()->tabText(2), QStringLiteral("検索"));
    QVERIFY(help.browser()->source().fileName() == QLatin1String("index.html"));
    help.searchField()->setText(QStringLiteral("ｾﾙ取得"));
    help.runSearch();
    QVERIFY(help.searchResults()->count() >= 1);
    help.searchResults()->itemClicked(help.searchResults()->item(0));
    QVERIFY(help.browser()->toPlainText().contains(QStringLiteral("ｾﾙ取得")));
    // A missing help file is said in the viewer, not by a crash.
    HelpWindow missing(QStringLiteral("/nonexistent/korvex.hlp"));
    QVERIFY(missing.browser()->toPlainText().contains(QStringLiteral("見つかりません")));
}

QTEST_MAIN(NavigatorDialogsTest)
#include "tst_navigator_dialogs.moc"
