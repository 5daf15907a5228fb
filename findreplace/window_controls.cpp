#include "find_replace_window.h"

#include "window_controls.h"

#include "app_state.h"
#include "busy_pointer.h"
#include "keyboard_menu.h"
#include "messages.h"
#include "replace_log.h"
#include "result_grid.h"
#include "result_model.h"
#include "search_engine.h"
#include "settings_keys.h"
#include "ui_seam.h"
#include "work_database.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <exception>

namespace korvex::findreplace {

void FindReplaceWindow::createControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(m_client);
    m_client->installEventFilter(this); // the resize rule runs on the client's size

    Book_Combo = new QComboBox(m_client);
    Book_Combo->setObjectName(QStringLiteral("Book_Combo"));
    place(Book_Combo, BookComboBox);
    connect(Book_Combo, qOverload<int>(&QComboBox::activated), this,
            [this] { guarded([this] { Book_Combo_Click(); }); });

    Sheet_List = new QListWidget(m_client);
    Sheet_List->setObjectName(QStringLiteral("Sheet_List"));
    Sheet_List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Sheet_List->viewport()->installEventFilter(this);
    place(Sheet_List, SheetListBox);

    const char* runNames[3] = {m_mode.stepButtonName, m_mode.allButtonName, "Cmd_Cancel"};
    const char* runCaptions[3] = {m_mode.stepCaption, m_mode.allCaption, m_mode.cancelCaption};
    for (int i = 0; i < 3; ++i) {
        m_runButtons[i] = new QPushButton(utf8(runCaptions[i]), m_client);
        m_runButtons[i]->setObjectName(QString::fromLatin1(runNames[i]));
        place(m_runButtons[i], {ButtonLeft, ButtonTops[i], ButtonWidth, ButtonHeight});
    }
    m_runButtons[2]->hide();
    connect(m_runButtons[0], &QPushButton::clicked, this,
            [this] { guarded([this] { Cmd_Search_Click(); }); });
    connect(m_runButtons[1], &QPushButton::clicked, this,
            [this] { guarded([this] { Cmd_SumSearch_Click(); }); });
    connect(m_runButtons[2], &QPushButton::clicked, this, [this] { Cmd_Cancel_Click(); });

    auto label = [this](int i, const char* caption, const Box& box) {
        Label1[i] = new QLabel(utf8(caption), m_client);
        Label1[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
        place(Label1[i], box);
    };
    auto textCombo = [this](const char* name, const Box& box) {
        auto* combo = new QComboBox(m_client);
        combo->setObjectName(QString::fromLatin1(name));
        combo->setEditable(true);
        // The text used is exactly the text typed: an inline completion would
        // turn "1" into "12" from the history without the user noticing. The
        // history stays in the drop-down list, to be chosen from.
        combo->setCompleter(nullptr);
        // The list holds what was searched for, added by the runs only.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMaxVisibleItems(12);
        place(combo, box);
        return combo;
    };
    label(0, "検索文字列", m_mode.searchLabel);
    Search_Combo = textCombo("Search_Combo", m_mode.searchCombo);
    if (m_mode.isReplace()) {
        label(2, "置換文字列", m_mode.replaceLabel);
        Replace_Combo = textCombo("Replace_Combo", m_mode.replaceCombo);
    }

    const int cellGets = m_mode.isReplace() ? 2 : 1;
    for (int i = 0; i < cellGets; ++i) {
        Cmd_CellGet[i] = new QPushButton(QStringLiteral("ｾﾙ値取得"), m_client);
        Cmd_CellGet[i]->setObjectName(m_mode.isReplace() ? QStringLiteral("Cmd_CellGet_%1").arg(i)
                                                         : QStringLiteral("Cmd_CellGet"));
        place(Cmd_CellGet[i], m_mode.cellGet[i]);
        connect(Cmd_CellGet[i], &QPushButton::clicked, this,
                [this, i] { guarded([this, i] { Cmd_CellGet_Click(i); }); });
    }

    label(1, "検索方向", m_mode.directionLabel);
    Combo_SOpsion[0] = new QComboBox(m_client);
    Combo_SOpsion[0]->addItems({QStringLiteral("行"), QStringLiteral("列")});
    Combo_SOpsion[0]->setObjectName(m_mode.isReplace() ? QStringLiteral("Combo_SOpsion")
                                                       : QStringLiteral("Combo_SOpsion_0"));
    place(Combo_SOpsion[0], m_mode.directionCombo);
    if (!m_mode.isReplace()) {
        label(2, "対象", m_mode.lookInLabel);
        Combo_SOpsion[1] = new QComboBox(m_client);
        Combo_SOpsion[1]->addItems(
            {QStringLiteral("数式"), QStringLiteral("値"), QStringLiteral("ｺﾒﾝﾄ")});
        Combo_SOpsion[1]->setObjectName(QStringLiteral("Combo_SOpsion_1"));
        place(Combo_SOpsion[1], m_mode.lookInCombo);
    }
    for (int i = 0; i < 2; ++i) {
        if (Combo_SOpsion[i])
            connect(Combo_SOpsion[i], qOverload<int>(&QComboBox::currentIndexChanged), this,
                    [this, i] { Combo_SOpsion_Click(i); });
    }

    const char* checkCaptions[3] = {"大文字と小文字を区別する", "半角と全角を区別する",
                                    "完全に同一なｾﾙだけを検索する"};
    for (int i = 0; i < 3; ++i) {
        Check_Opstion[i] = new QCheckBox(utf8(checkCaptions[i]), m_client);
        Check_Opstion[i]->setObjectName(QStringLiteral("Check_Opstion_%1").arg(i));
        place(Check_Opstion[i], m_mode.checks[i]);
        // The boxes sit one small line apart; a compact indicator and text keep
        // neighbours from overlapping.
        Check_Opstion[i]->setStyleSheet(
            QStringLiteral("QCheckBox { spacing: 3px; font-size: 11px; }"
                           "QCheckBox::indicator { width: 10px; height: 10px; }"));
        connect(Check_Opstion[i], &QCheckBox::toggled, this, [this, i] { Check_Opstion_Click(i); });
    }

    m_grid = new ResultGrid(resultKind(m_mode), Korvex_M01::WorkDb(), m_client);
    place(m_grid, m_mode.grid);
    // The line of the run in progress and of the last run's outcome.
    // It appears with the first run, so a window that has not run a search
    // keeps the whole design height for its controls.
    // A label rather than the bar's own message: that one is cleared
    // whenever the pointer passes over a menu item.
    statusBar()->setObjectName(QStringLiteral("Run_Status"));
    statusBar()->setSizeGripEnabled(false);
    m_runStatus = new QLabel(statusBar());
    m_runStatus->setObjectName(QStringLiteral("Run_Status_Text"));
    statusBar()->addWidget(m_runStatus, 1);
    statusBar()->hide();

    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showPopup(m_grid->viewport()->mapToGlobal(pos), true); });
    openMenuFromKeyboard(m_grid, [this](const QPoint& at) { showPopup(at, true); });
    openMenuFromKeyboard(Sheet_List, [this](const QPoint& at) { showPopup(at, false); });

    // Tab order follows the way the window is read: target, text, options, runs.
    QWidget* order[] = {Book_Combo,       Sheet_List,       Search_Combo,     Replace_Combo,
                        Combo_SOpsion[0], Combo_SOpsion[1], Check_Opstion[0], Check_Opstion[1],
                        Check_Opstion[2], m_runButtons[0],  m_runButtons[1],  m_grid};
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (!w)
            continue;
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
}

void FindReplaceWindow::createMenus() {
    auto menu = [this](const char* name, const char* caption) {
        QMenu* m = menuBar()->addMenu(utf8(caption));
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    auto item = [this](QMenu* m, const char* name, const char* caption,
                       void (FindReplaceWindow::*handler)(), const char* shortcut = nullptr,
                       bool checkable = false) {
        QAction* a = m->addAction(utf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setCheckable(checkable);
        if (shortcut)
            a->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
        connect(a, &QAction::triggered, this,
                [this, handler] { guarded([=] { (this->*handler)(); }); });
        return a;
    };
    auto line = [](QMenu* m, const char* name) {
        m->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    // Grid commands belong to the grid; these items only hand them over.
    auto gridItem = [this](QMenu* m, const char* name, const char* caption,
                           void (ResultGrid::*command)(), const char* shortcut = nullptr) {
        QAction* a = m->addAction(utf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        if (shortcut)
            a->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
        connect(a, &QAction::triggered, this,
                [this, command] { guarded([=] { (m_grid->*command)(); }); });
        return a;
    };
    using W = FindReplaceWindow;

    Sheet_Menu = menu("Sheet_Menu", "ｼｰﾄ選択(&S)");
    item(Sheet_Menu, "SM_SelAll", "全選択(&A)", &W::SM_SelAll_Click);
    line(Sheet_Menu, "SM_Line0");
    item(Sheet_Menu, "SM_Before", "現ｼｰﾄ以前選択(&B)", &W::SM_Before_Click);
    item(Sheet_Menu, "SM_After", "現ｼｰﾄ以降(&F)", &W::SM_After_Click);
    line(Sheet_Menu, "SM_Line1");
    item(Sheet_Menu, "SM_SelCancel", "選択解除(&C)", &W::SM_SelCancel_Click);

    Redraw_Menu = menu("Redraw_Menu", "再表示(&R)");
    item(Redraw_Menu, "RM_Book", "Book List(&B)", &W::RM_Book_Click);
    item(Redraw_Menu, "RM_Sheet", "Sheet List(&S)", &W::RM_Sheet_Click);
    line(Redraw_Menu, "RM_Line0");
    item(Redraw_Menu, "RM_Excel", "Excel(&E)", &W::RM_Excel_Click, "Ctrl+M");

    Result_Menu = menu(m_mode.resultMenuName, "ｸﾞﾘｯﾄﾞ操作(&G)");
    // Opened from the keyboard the menu stands on its first item, so that
    // item takes nothing away: every deletion below can be taken back with it.
    gridItem(Result_Menu, "SR_Undo", "元に戻す(&Z)", &ResultGrid::undoDelete, "Ctrl+Z");
    line(Result_Menu, "SR_LineZ");
    gridItem(Result_Menu, "SR_AllDel", "全Row削除(&A)", &ResultGrid::deleteAll);
    line(Result_Menu, "SR_Line0");
    gridItem(Result_Menu, "SR_Before", "Row以前削除(&B)", &ResultGrid::deleteBefore);
    gridItem(Result_Menu, "SR_After", "Row以降削除(&F)", &ResultGrid::deleteAfter);
    line(Result_Menu, "SR_Line1");
    gridItem(Result_Menu, "SR_Select", "選択Row削除(&S)", &ResultGrid::deleteSelected);
    if (m_mode.isReplace())
        item(Result_Menu, "SR_Revert", "選択Rowを元に戻す(&U)", &W::SR_Revert_Click);
    line(Result_Menu, "SR_Line2");
    gridItem(Result_Menu, "SR_PrintSetup", "印刷設定", &ResultGrid::printSetup);
    gridItem(Result_Menu, "SR_Print", "印刷(&P)", &ResultGrid::print, "Ctrl+P");
    line(Result_Menu, "SR_Line3");
    QAction* csv = Result_Menu->addAction(QStringLiteral("CSV出力(&C)..."));
    csv->setObjectName(QStringLiteral("SR_Csv"));
    connect(csv, &QAction::triggered, this, [this] { guarded([this] { m_grid->exportCsv(); }); });

    Opstion_Menu = menu("Opstion_Menu", "ｵﾌﾟｼｮﾝ(&O)");
    OM_Activate =
        item(Opstion_Menu, "OM_Activate", "手前に表示(&A)", &W::OM_Activate_Click, nullptr, true);
    line(Opstion_Menu, "OM_Line1");
    OM_ExcelActive = item(Opstion_Menu, "OM_ExcelActive", "ｸﾞﾘｯﾄﾞとExcelを連動する(&E)",
                          &W::OM_ExcelActive_Click, nullptr, true);
    line(Opstion_Menu, "OM_Line2");
    OM_BookSort =
        item(Opstion_Menu, "OM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)", &W::ToggleBookSort, "Ctrl+B", true);
    OM_SheetSort =
        item(Opstion_Menu, "OM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)", &W::ToggleSheetSort, "Ctrl+S", true);
    line(Opstion_Menu, "OM_Line3");
    item(Opstion_Menu, "OM_Font", "ﾌｫﾝﾄ(&F)", &W::ChooseFont);
    line(Opstion_Menu, "OM_Line4");
    OM_BookMerge = item(Opstion_Menu, "OM_BookMerge", "ﾌﾞｯｸ名をﾏｰｼﾞ(&B)", &W::OM_BookMerge_Click,
                        nullptr, true);
    OM_SheetMerge = item(Opstion_Menu, "OM_SheetMerge", "ｼｰﾄ名をﾏｰｼﾞ(&S)", &W::OM_SheetMerge_Click,
                         nullptr, true);
    line(Opstion_Menu, "OM_Line5");
    OM_Regex =
        item(Opstion_Menu, "OM_Regex", "正規表現を使う(&X)", &W::OM_Regex_Click, nullptr, true);
    OM_Kana = item(Opstion_Menu, "OM_Kana", "ひらがなとカタカナを区別しない(&K)", &W::OM_Kana_Click,
                   nullptr, true);

    // The context menu is not on the menu bar.
    Popup_Menu = new QMenu(utf8("ﾎﾟｯﾌﾟｱｯﾌﾟ"), this);
    Popup_Menu->setObjectName(QStringLiteral("Popup_Menu"));
    PM_BookSort =
        item(Popup_Menu, "PM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)", &W::ToggleBookSort, nullptr, true);
    PM_SheetSort =
        item(Popup_Menu, "PM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)", &W::ToggleSheetSort, nullptr, true);
    PM_Line0 = Popup_Menu->addSeparator();
    PM_Line0->setObjectName(QStringLiteral("PM_Line0"));
    item(Popup_Menu, "PM_Font", "ﾌｫﾝﾄ(&F)", &W::ChooseFont);
}

void FindReplaceWindow::showPopup(const QPoint& globalPos, bool fromGrid) {
    // Sorting concerns the lists; over the grid only the font is offered.
    PM_BookSort->setVisible(!fromGrid);
    PM_SheetSort->setVisible(!fromGrid);
    PM_Line0->setVisible(!fromGrid);
    Popup_Menu->popup(globalPos);
}

} // namespace korvex::findreplace
