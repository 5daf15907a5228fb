// The main window's menu bar, its pop-up menu and the commands behind them
// (the file menu's commands are in open_close.cpp).

#include "main_window.h"

#include "app_state.h"
#include "busy_pointer.h"
#include "cell_position_dialog.h"
#include "dialog_seam.h"
#include "folder_search_window.h"
#include "help_window.h"
#include "host_helpers.h"
#include "list_fonts.h"
#include "list_logic.h"
#include "messages.h"
#include "nav_list.h"
#include "print_window.h"
#include "replace_window.h"
#include "search_window.h"
#include "version_dialog.h"
#include "window_band.h"
#include "window_order.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

using namespace korvex::navigator;

namespace {

QAction* addItem(QMenu* menu, const char* name, const char* caption,
                 const QKeySequence& shortcut = {}) {
    auto* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

void addLine(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

QMenu* addMenu(QMenuBar* bar, const char* name, const char* caption) {
    auto* menu = bar->addMenu(QString::fromUtf8(caption));
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

} // namespace

void Korvex_F01::createMenus() {
    QMenuBar* bar = menuBar();
    auto on = [this](QAction* action, void (Korvex_F01::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };

    File_Menu = addMenu(bar, "File_Menu", "ﾌｧｲﾙ(&F)");
    FM_Open =
        addItem(File_Menu, "FM_Open", "Excel ﾌｧｲﾙを開く(&O)", QKeySequence(Qt::CTRL | Qt::Key_O));
    FM_Close = addItem(File_Menu, "FM_Close", "Excel ﾌｧｲﾙを閉じる(&E)",
                       QKeySequence(Qt::CTRL | Qt::Key_E));
    addLine(File_Menu, "FM_Line0");
    FM_SelClose = addItem(File_Menu, "FM_SelClose", "複数 Excel ﾌｧｲﾙを閉じる(&C)",
                          QKeySequence(Qt::CTRL | Qt::Key_A));
    addLine(File_Menu, "FM_Line1");
    FM_End = addItem(File_Menu, "FM_End", "Korvexの終了(&X)");

    Redraw_Menu = addMenu(bar, "Redraw_Menu", "再表示(&R)");
    RM_Book = addItem(Redraw_Menu, "RM_Book", "Book List(&B)");
    RM_Sheet = addItem(Redraw_Menu, "RM_Sheet", "Sheet List(&S)");
    addLine(Redraw_Menu, "RM_Line0");
    RM_Excel = addItem(Redraw_Menu, "RM_Excel", "Excel(&E)", QKeySequence(Qt::CTRL | Qt::Key_M));

    Tool_Menu = addMenu(bar, "Tool_Menu", "ﾂｰﾙ(&T)");
    TM_Search = addItem(Tool_Menu, "TM_Search", "検索(&F)");
    TM_Replace = addItem(Tool_Menu, "TM_Replace", "置換(&R)");
    QAction* folderSearch = addItem(Tool_Menu, "TM_Folder", "フォルダ検索(&G)");
    connect(folderSearch, &QAction::triggered, this, [] {
        // One folder search window: a second click brings it forward.
        const korvex::WindowBand& band = korvex::WindowBand::instance();
        if (QWidget* w = band.window(korvex::BandWindow::Folder);
            w && band.loaded(korvex::BandWindow::Folder)) {
            if (w->isMinimized())
                w->showNormal();
            w->raise();
            w->activateWindow();
            return;
        }
        (new korvex::findreplace::FolderSearchWindow(nullptr))->show();
    });
    addLine(Tool_Menu, "TM_Line0");
    TM_PrinterSet = addItem(Tool_Menu, "TM_PrinterSet", "印刷設定(&P)");

    Opstion_Menu = addMenu(bar, "Opstion_Menu", "ｵﾌﾟｼｮﾝ(&O)");
    OM_Activate = addItem(Opstion_Menu, "OM_Activate", "手前に表示(&A)");
    addLine(Opstion_Menu, "OM_Line0");
    OM_BookSort =
        addItem(Opstion_Menu, "OM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)", QKeySequence(Qt::CTRL | Qt::Key_B));
    OM_SheetSort =
        addItem(Opstion_Menu, "OM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)", QKeySequence(Qt::CTRL | Qt::Key_S));
    addLine(Opstion_Menu, "OM_Line1");
    OM_Font = addItem(Opstion_Menu, "OM_Font", "ﾌｫﾝﾄ(&F)");
    addLine(Opstion_Menu, "OM_Line2");
    OM_Set = addItem(Opstion_Menu, "OM_Set", "設定(&O)");
    OM_Extension = addItem(Opstion_Menu, "OM_Extension", "Calc に Korvex を追加(&K)");
    addLine(Opstion_Menu, "OM_Line3");
    OM_Help = addItem(Opstion_Menu, "OM_Help", "ﾍﾙﾌﾟ(&H)");
    OM_Version = addItem(Opstion_Menu, "OM_Version", "ﾊﾞｰｼﾞｮﾝ情報(&V)");

    // Never part of the menu bar: opened by a right-button press in a list.
    Popup_Menu = new QMenu(QStringLiteral("ﾎﾟｯﾌﾟｱｯﾌﾟ"), this);
    Popup_Menu->setObjectName(QStringLiteral("Popup_Menu"));
    PM_BookSort = addItem(Popup_Menu, "PM_BookSort", "ﾌﾞｯｸ名ｿｰﾄ(&B)");
    PM_SheetSort = addItem(Popup_Menu, "PM_SheetSort", "ｼｰﾄ名ｿｰﾄ(&S)");
    addLine(Popup_Menu, "PM_Line0");
    PM_Font = addItem(Popup_Menu, "PM_Font", "ﾌｫﾝﾄ(&F)");

    for (QAction* a : {OM_Activate, OM_BookSort, OM_SheetSort, PM_BookSort, PM_SheetSort})
        a->setCheckable(true);

    on(FM_Open, &Korvex_F01::FM_Open_Click);
    on(FM_Close, &Korvex_F01::FM_Close_Click);
    on(FM_SelClose, &Korvex_F01::FM_SelClose_Click);
    on(FM_End, &Korvex_F01::FM_End_Click);
    on(RM_Book, &Korvex_F01::RM_Book_Click);
    on(RM_Sheet, &Korvex_F01::RM_Sheet_Click);
    on(RM_Excel, &Korvex_F01::RM_Excel_Click);
    on(TM_Search, &Korvex_F01::TM_Search_Click);
    on(TM_Replace, &Korvex_F01::TM_Replace_Click);
    on(TM_PrinterSet, &Korvex_F01::TM_PrinterSet_Click);
    on(OM_Activate, &Korvex_F01::OM_Activate_Click);
    on(OM_BookSort, &Korvex_F01::OM_BookSort_Click);
    on(OM_SheetSort, &Korvex_F01::OM_SheetSort_Click);
    on(OM_Font, &Korvex_F01::OM_Font_Click);
    on(OM_Set, &Korvex_F01::OM_Set_Click);
    on(OM_Extension, &Korvex_F01::OM_Extension_Click);
    on(OM_Help, &Korvex_F01::OM_Help_Click);
    on(OM_Version, &Korvex_F01::OM_Version_Click);
    on(PM_BookSort, &Korvex_F01::PM_BookSort_Click);
    on(PM_SheetSort, &Korvex_F01::PM_SheetSort_Click);
    on(PM_Font, &Korvex_F01::PM_Font_Click);
}

int Korvex_F01::RunModal(QDialog& dialog) {
    // Through the dialog seam, so that a test can act on the dialog instead of
    // waiting for a user.
    return korvex::dialogs().runDialog(dialog);
}

void Korvex_F01::RM_Book_Click() {
    RefreshBookList();
}

void Korvex_F01::RM_Sheet_Click() {
    RefreshSheetList(true);
}

void Korvex_F01::RM_Excel_Click() {
    Korvex_M02::ActivateExcel();
}

void Korvex_F01::openToolWindow(bool replace) {
    if (!Korvex_M02::AttachExcel()) {
        korvex::ui().beep();
        return;
    }
    const korvex::WindowBand& band = korvex::WindowBand::instance();
    const auto which = replace ? korvex::BandWindow::Replace : korvex::BandWindow::Search;
    QWidget* window = band.window(which);
    if (band.loaded(which) && window) {
        if (window->isMinimized())
            window->showNormal();
        window->raise();
        window->activateWindow();
        window->setFocus();
        return;
    }
    // Without owner: the tool windows stay beside the navigator, not above it.
    QWidget* tool = replace ? static_cast<QWidget*>(new Korvex_F03(nullptr))
                            : static_cast<QWidget*>(new Korvex_F02(nullptr));
    tool->show();
}

void Korvex_F01::TM_Search_Click() {
    openToolWindow(false);
}

void Korvex_F01::TM_Replace_Click() {
    openToolWindow(true);
}

void Korvex_F01::TM_PrinterSet_Click() {
    if (!Korvex_M02::AttachExcel()) {
        korvex::ui().beep();
        return;
    }
    Korvex_F04 dialog(this);
    RunModal(dialog);
}

void Korvex_F01::OM_Activate_Click() {
    // The stored flag, not the action's own toggling, decides the new state.
    korvex::WindowBand& band = korvex::WindowBand::instance();
    const bool onTop = !band.inFront(korvex::BandWindow::Main);
    OM_Activate->setChecked(onTop);
    band.setInFront(korvex::BandWindow::Main, onTop);
}

void Korvex_F01::ToggleBookSort() {
    const bool sorted = B_Sort == 0;
    PM_BookSort->setChecked(sorted);
    OM_BookSort->setChecked(PM_BookSort->isChecked());
    B_Sort = sorted ? 1 : 0;
    RefreshBookList();
}

void Korvex_F01::ToggleSheetSort() {
    const bool sorted = S_Sort == 0;
    PM_SheetSort->setChecked(sorted);
    OM_SheetSort->setChecked(PM_SheetSort->isChecked());
    S_Sort = sorted ? 1 : 0;
    RefreshSheetList(true);
}

void Korvex_F01::ChooseListFont() {
    if (Korvex_M01::SelectFont(Book_List)) {
        CopyListFont();
        SizeControls(toTwips(ImgSplitter->x()));
    }
}

void Korvex_F01::OM_BookSort_Click() {
    ToggleBookSort();
}

void Korvex_F01::OM_SheetSort_Click() {
    ToggleSheetSort();
}

void Korvex_F01::OM_Font_Click() {
    ChooseListFont();
}

void Korvex_F01::PM_BookSort_Click() {
    ToggleBookSort();
}

void Korvex_F01::PM_SheetSort_Click() {
    ToggleSheetSort();
}

void Korvex_F01::PM_Font_Click() {
    ChooseListFont();
}

void Korvex_F01::OM_Set_Click() {
    Korvex_F0101 dialog(this);
    RunModal(dialog);
}

// Adds "ツール > Korvex" to Calc for this user: the extension shipped with
// Korvex, installed by the office's own installer into the user's profile.
void Korvex_F01::OM_Extension_Click() {
    const QString file = Korvex_M01::Paths().resourceFolder + QStringLiteral("/korvex.oxt");
    QString failure;
    {
        BusyPointer busy(m_busyCursor);
        failure = Korvex_M02::InstallExtension(file);
    }
    if (failure.isEmpty())
        Korvex_M01::ShowMsg(QStringLiteral("N_F01_001"));
    else
        Korvex_M01::ShowMsg(QStringLiteral("E_F01_004"), {file, failure});
}

void Korvex_F01::OM_Version_Click() {
    Korvex_F0103 dialog(this);
    RunModal(dialog);
}

void Korvex_F01::OM_Help_Click() {
    if (!m_help)
        m_help = new HelpWindow(Korvex_M01::HelpFile, this);
    m_help->showTopics();
}
