#pragma once
// Korvex_F01, the navigator: the open books of the host on the left, the
// worksheets of the selected book on the right, a splitter between them, and
// the program's menus. Closing it ends the program.
//
// The window is split over several files by concern: main_window.cpp (load,
// unload, layout, splitter), book_sheet_lists.cpp (filling the lists and the
// selection chain), menus.cpp (menu bar, pop-up and their commands) and
// open_close.cpp (the file menu).

#include <QCursor>
#include <QMainWindow>

#include <functional>

class NavList;
class QAction;
class QDialog;
class QLabel;
class QMenu;
class HelpWindow;

class Korvex_F01 : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* ObjectName = "Korvex_F01";

    // Program-wide options owned by this window (section "F01_Info"); other
    // windows read them. Any non-zero value means on.
    static int B_Sort;
    static int S_Sort;
    static int S_Move;
    static QString CValue;
    // Set by the close-several-books dialog when it has closed a book.
    static bool BooksClosed;

    explicit Korvex_F01(QWidget* parent = nullptr);
    ~Korvex_F01() override;

    // Window procedures.
    void RefreshBookList();
    void RefreshSheetList(bool CheckActive);
    void ActivateSelectedSheet();
    void SizeControls(int SplitX); // twips
    void CopyListFont();
    void CloseToolWindows();
    void ToggleBookSort();
    void ToggleSheetSort();
    void ChooseListFont();

    // Opens the files in the host (starting it when none runs) and lists
    // them; false when the host refused one (the rest are then not opened).
    bool OpenFiles(const QStringList& files);

    // Menu commands.
    void FM_Open_Click();
    void FM_Close_Click();
    void FM_SelClose_Click();
    void FM_End_Click();
    void RM_Book_Click();
    void RM_Sheet_Click();
    void RM_Excel_Click();
    void TM_Search_Click();
    void TM_Replace_Click();
    void TM_PrinterSet_Click();
    void OM_Activate_Click();
    void OM_BookSort_Click();
    void OM_SheetSort_Click();
    void OM_Font_Click();
    void OM_Set_Click();
    void OM_Extension_Click();
    void OM_Help_Click();
    void OM_Version_Click();
    void PM_BookSort_Click();
    void PM_SheetSort_Click();
    void PM_Font_Click();

    // List events.
    void Book_List_Click();
    void Sheet_List_Click();

    // Splitter drag; x is the pointer's position within the splitter strip, in
    // twips.
    void ImgSplitter_MouseDown();
    void ImgSplitter_MouseMove(int x);
    void ImgSplitter_MouseUp();

    // The modal-dialog sequence: the main, search and replace windows leave the
    // always-in-front band, the dialog runs owned by this window, then the
    // stored in-front arrangement comes back.
    int RunModal(QDialog& dialog);

    QMenu* popupMenu() const { return Popup_Menu; }
    QWidget* clientArea() const { return m_client; }
    const QCursor& busyCursor() const { return m_busyCursor; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenus();
    void Form_Load();
    void Form_Unload();
    void Form_Resize();
    void showPopup(const QPoint& globalPos);
    void fillList(NavList* list, const QStringList& names, int sortValue);
    void openToolWindow(bool replace);
    // Runs a command, turning any failure that escapes it into the window's
    // general error message instead of letting it reach the event loop.
    void guarded(const std::function<void()>& command);

    QWidget* m_client = nullptr;
    QLabel* Book_Label = nullptr;
    NavList* Book_List = nullptr;
    QLabel* Sheet_Label = nullptr;
    NavList* Sheet_List = nullptr;
    QWidget* ImgSplitter = nullptr;
    QWidget* PicSplitter = nullptr;

    QMenu* File_Menu = nullptr;
    QMenu* Redraw_Menu = nullptr;
    QMenu* Tool_Menu = nullptr;
    QMenu* Opstion_Menu = nullptr;
    QMenu* Popup_Menu = nullptr;
    QAction* FM_Open = nullptr;
    QAction* FM_Close = nullptr;
    QAction* FM_SelClose = nullptr;
    QAction* FM_End = nullptr;
    QAction* RM_Book = nullptr;
    QAction* RM_Sheet = nullptr;
    QAction* RM_Excel = nullptr;
    QAction* TM_Search = nullptr;
    QAction* TM_Replace = nullptr;
    QAction* TM_PrinterSet = nullptr;
    QAction* OM_Activate = nullptr;
    QAction* OM_BookSort = nullptr;
    QAction* OM_SheetSort = nullptr;
    QAction* OM_Font = nullptr;
    QAction* OM_Set = nullptr;
    QAction* OM_Extension = nullptr;
    QAction* OM_Help = nullptr;
    QAction* OM_Version = nullptr;
    QAction* PM_BookSort = nullptr;
    QAction* PM_SheetSort = nullptr;
    QAction* PM_Font = nullptr;

    QCursor m_busyCursor;
    HelpWindow* m_help = nullptr;
    bool m_moving = false;
    bool m_unloaded = false;
    // Guards of the recovery refreshes: a failure that repeats while the
    // program is already recovering from it is not recovered again (it would
    // recurse without end).
    bool m_bookRecovery = false;
    bool m_sheetRecovery = false;
};
