#pragma once
// The search window and the replace window are one window design: the target
// book and sheets, the search text and its options, the run buttons, the
// result grid and the menus. What the replace window does differently is data
// of its WindowMode (window_mode.h); Korvex_F02 and Korvex_F03 only choose the
// mode.
//
// The window is split over files by concern: find_replace_window.cpp (load,
// unload, resize, busy state), window_controls.cpp (controls and menus),
// engine_port.cpp (what the engine works with), target_selection.cpp (book and
// sheet lists and the selection commands) and window_options.cpp (sorting,
// merging, font, in-front, cell-value fetch).

#include "engine_window.h"
#include "host.h"
#include "host_helpers.h"
#include "sheet_selection.h"
#include "tool_rules.h"
#include "window_band.h"
#include "window_mode.h"

#include <QCursor>
#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace korvex::findreplace {

class ResultGrid;

class SearchEngine;

class FindReplaceWindow : public QMainWindow, public EngineWindow {
    Q_OBJECT
public:
    FindReplaceWindow(const WindowMode& mode, QWidget* parent);
    ~FindReplaceWindow() override;

    const WindowMode& mode() const { return m_mode; }
    const ToolOptions& storedOptions() const { return m_opt; }
    const QCursor& busyCursor() const { return m_busyCursor; }
    ResultGrid* grid() const { return m_grid; }

    // What the search and replace engine works with (engine_window.h).
    EngineOptions options() const override;
    QString targetBook() const override;
    QList<SheetEntry> sheetEntries() const override;
    PassState& pass() override { return m_pass; }
    void ResetFind() override;
    void SetBusy(bool Busy) override;
    void AddSearchHistory() override;
    void setGridActive(bool active) override;
    void setMainWindowEnabled(bool enabled) override;
    void setBusyPointer(bool on) override;
    void AddResultRows(const QString& book, const QList<HitRow>& rows) override;
    void keepReplaced(const QString& book, const QList<ReplacedCell>& cells) override;
    void commit() override;
    void showMessage(const QString& messageId) override;
    void showMessageWith(const QString& messageId, const QStringList& args) override;
    void beep() override;
    void showProgress(const EngineProgress& progress) override;
    void letEventsThrough() override;
    SearchEngine& engine() const { return *m_engine; }

    // Window procedures.
    void LayoutControls();
    void ReloadBooks();
    void LoadSheets();
    void SelectSheets(bool All);
    void ToggleBookSort();
    void ToggleSheetSort();
    void ChooseFont();
    void ApplyFont();

    // Control and menu handlers.
    void Book_Combo_Click();
    void Check_Opstion_Click(int Index);
    void Combo_SOpsion_Click(int Index);
    void Cmd_Search_Click();    // 検索実行 / 置換実行
    void Cmd_SumSearch_Click(); // 一括検索 / 一括置換
    void Cmd_Cancel_Click();
    // 選択Rowを元に戻す(&U), replace window: puts the chosen rows' old values
    // back where the cells still hold what the replacement wrote.
    void SR_Revert_Click();
    void Cmd_CellGet_Click(int Index);
    void SM_SelAll_Click();
    void SM_Before_Click();
    void SM_After_Click();
    void SM_SelCancel_Click();
    void RM_Book_Click();
    void RM_Sheet_Click();
    void RM_Excel_Click();
    void OM_Activate_Click();
    void OM_ExcelActive_Click();
    void OM_BookMerge_Click();
    void OM_SheetMerge_Click();
    void OM_Regex_Click();
    void OM_Kana_Click();

    QMenu* popupMenu() const { return Popup_Menu; }
    void showPopup(const QPoint& globalPos, bool fromGrid);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createMenus();
    void Form_Load();
    bool Form_Unload();
    void Form_Activate();
    void markUnloaded();
    void setOptionsIntoControls();
    void selectBySelection(SheetSelection command);
    // The sheet list's book checked before a selection command: false (after
    // beeping or the window's "book not open" message) when there is nothing
    // to act on.
    bool targetBookReady(QString& book);
    void recoverLists();
    QString messageId(int number) const;
    // Runs a handler, turning a failure that escapes it into the window's
    // general error message instead of letting it reach the event loop.
    void guarded(const std::function<void()>& handler);
    // The window's place in the always-in-front band.
    BandWindow bandSlot() const;

    const WindowMode& m_mode;
    ToolOptions m_opt;
    PassState m_pass;
    std::unique_ptr<SearchEngine> m_engine;
    bool m_busyPointer = false;
    // Works the minimum size out again (after the status line is shown).
    std::function<void()> m_refreshMinimumSize;
    bool m_unloaded = false;
    bool m_recovering = false;
    QCursor m_busyCursor;

    QWidget* m_client = nullptr;
    QComboBox* Book_Combo = nullptr;
    QListWidget* Sheet_List = nullptr;
    QPushButton* m_runButtons[3] = {}; // one-by-one, all at once, Cmd_Cancel
    QLabel* Label1[3] = {};
    QLabel* m_runStatus = nullptr; // the line of the run in progress or of the last one
    QComboBox* Search_Combo = nullptr;
    QComboBox* Replace_Combo = nullptr;
    QPushButton* Cmd_CellGet[2] = {};
    QComboBox* Combo_SOpsion[2] = {}; // direction, look-in
    QCheckBox* Check_Opstion[3] = {};
    ResultGrid* m_grid = nullptr;

    QMenu* Sheet_Menu = nullptr;
    QMenu* Redraw_Menu = nullptr;
    QMenu* Result_Menu = nullptr;
    QMenu* Opstion_Menu = nullptr;
    QMenu* Popup_Menu = nullptr;
    QAction* OM_Activate = nullptr;
    QAction* OM_ExcelActive = nullptr;
    QAction* OM_BookSort = nullptr;
    QAction* OM_SheetSort = nullptr;
    QAction* OM_BookMerge = nullptr;
    QAction* OM_SheetMerge = nullptr;
    QAction* OM_Regex = nullptr;
    QAction* OM_Kana = nullptr;
    QAction* PM_BookSort = nullptr;
    QAction* PM_SheetSort = nullptr;
    QAction* PM_Line0 = nullptr;
};

} // namespace korvex::findreplace
