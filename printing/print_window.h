#pragma once
// Korvex_F04, the batch page-setup and print window, shown modally and owned
// by the main window: one base sheet (基本ﾌﾞｯｸ / 基本ｼｰﾄ) whose page setup is
// copied to, or printed with, the target sheets chosen in 対象ﾌﾞｯｸ / 対象ｼｰﾄ.
//
// Split by concern: print_window.cpp (controls, menus, load, unload, layout),
// print_lists.cpp (filling the lists, the selection commands and options) and
// print_commands.cpp (the page-setup copy, the page-setup dialog, printing).

#include <QCursor>
#include <QDialog>

#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;

class Korvex_F04 : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = "Korvex_F04";
    static constexpr const char* Caption = "印刷設定";

    explicit Korvex_F04(QWidget* parent = nullptr);

    // Refused (the window stays) while a page-setup copy runs.
    void done(int result) override;

    // Lists.
    void LoadSheets(const QString& book, QWidget* list);
    void ReloadBooks();
    void Combo_Book_Click();
    void Combo_Sheet_Click();
    void Combo_BookSel_Click();
    QStringList GetSelectedSheets() const;

    // Commands.
    void Command_PrintSet_Click();
    void Command_SetStart_Click();
    void Command_Cancel_Click();
    void Command_PrintOut_Click();
    void EnableControls(bool enabled);

    void SM_SelAll_Click();
    void SM_Before_Click();
    void SM_After_Click();
    void SM_SelCancel_Click();
    void SM_Reversal_Click();
    void RM_Book_Click();
    void RM_Sheet_Click();
    void RM_Excel_Click();
    void OM_ListFree_Click();
    void ToggleBookSort();
    void ToggleSheetSort();
    void ChooseFont();
    void ApplyFont();
    void LayoutControls();

    bool running() const { return Running; }
    QMenu* popupMenu() const { return Popup_Menu; }
    const QCursor& busyCursor() const { return m_busyCursor; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenus();
    void Form_Load();
    bool Form_Unload();
    // Sets a combo's text as a user's choice would, raising its click.
    void chooseComboText(QComboBox* combo, const QString& text);
    void selectionCommand(int command);
    // Runs a command, turning any failure that escapes it into the window's
    // general error message.
    void guarded(const std::function<void()>& command);
    // After a failure in filling or selecting: the message, then the book
    // lists again, at most once per user action.
    void recoverLists();

    QWidget* m_client = nullptr;
    QLabel* Label_Book = nullptr;
    QComboBox* Combo_Book = nullptr;
    QLabel* Label_Sheet = nullptr;
    QComboBox* Combo_Sheet = nullptr;
    QLabel* Label_BookSel = nullptr;
    QComboBox* Combo_BookSel = nullptr;
    QLabel* Label_SheetSel = nullptr;
    QListWidget* List_Sheet = nullptr;
    QPushButton* Command_PrintSet = nullptr;
    QPushButton* Command_SetStart = nullptr;
    QPushButton* Command_Cancel = nullptr;
    QPushButton* Command_PrintOut = nullptr;

    QMenuBar* m_menuBar = nullptr;
    QMenu* Sheet_Menu = nullptr;
    QMenu* Redraw_Menu = nullptr;
    QMenu* Opstion_Menu = nullptr;
    QMenu* Popup_Menu = nullptr;
    QAction* SM_SelAll = nullptr;
    QAction* SM_Before = nullptr;
    QAction* SM_After = nullptr;
    QAction* SM_SelCancel = nullptr;
    QAction* SM_Reversal = nullptr;
    QAction* RM_Book = nullptr;
    QAction* RM_Sheet = nullptr;
    QAction* RM_Excel = nullptr;
    QAction* OM_ListFree = nullptr;
    QAction* OM_BookSort = nullptr;
    QAction* OM_SheetSort = nullptr;
    QAction* OM_Font = nullptr;
    QAction* PM_BookSort = nullptr;
    QAction* PM_SheetSort = nullptr;
    QAction* PM_Font = nullptr;

    // Options, section "F04_Info"; any non-zero value means on.
    int B_Sort = 0;
    int S_Sort = 0;
    int List_Free = 0;

    bool Running = false;
    // The sort options stay at hand during a copy run, but the lists it works
    // through are refilled only once it has ended.
    enum Refill { RefillNone, RefillSheets, RefillBooks };
    Refill m_refillAfterRun = RefillNone;
    bool m_recovering = false;
    QCursor m_busyCursor;
};
