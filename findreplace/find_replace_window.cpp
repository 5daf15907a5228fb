#include "find_replace_window.h"

#include "window_controls.h"

#include "app_state.h"
#include "busy_pointer.h"
#include "guarded_command.h"
#include "keyboard_menu.h"
#include "list_fonts.h"
#include "messages.h"
#include "print_settings_file.h"
#include "replace_log.h"
#include "result_grid.h"
#include "result_model.h"
#include "search_engine.h"
#include "settings_keys.h"
#include "ui_seam.h"
#include "window_band.h"
#include "window_geometry.h"
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

FindReplaceWindow::FindReplaceWindow(const WindowMode& mode, QWidget* parent)
    : QMainWindow(parent), m_mode(mode),
      m_engine(std::make_unique<SearchEngine>(
          mode.isReplace() ? EngineMode::Replace : EngineMode::Search, *this)) {
    setObjectName(QString::fromLatin1(mode.objectName));
    setAttribute(Qt::WA_DeleteOnClose);
    // The run's status line, once shown, comes on top of the design height so
    // that it never takes the grid's rows away.
    m_refreshMinimumSize = keepMinimumOuterSize(this, mode.minimumOuter, [this] {
        return statusBar()->isVisibleTo(this) ? statusBar()->sizeHint().height() : 0;
    });
    createControls();
    createMenus();
    Form_Load();
}

FindReplaceWindow::~FindReplaceWindow() {
    if (m_busyPointer)
        QApplication::restoreOverrideCursor();
    // A window destroyed without a close event (program teardown) must not
    // leave a dangling handle behind for the always-in-front arrangement.
    markUnloaded();
}

BandWindow FindReplaceWindow::bandSlot() const {
    return m_mode.isReplace() ? BandWindow::Replace : BandWindow::Search;
}

QString FindReplaceWindow::messageId(int number) const {
    return QString::fromLatin1(m_mode.messagePrefix) +
           QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
}

void FindReplaceWindow::Form_Load() {
    const QString name = objectName();
    setWindowTitle(utf8(m_mode.caption));
    // The program's icon, as the main window that opens this one shows it.
    if (const QWidget* main = WindowBand::instance().window(BandWindow::Main))
        setWindowIcon(main->windowIcon());

    CreateResultTable(Korvex_M01::WorkDb(), resultKind(m_mode));
    WindowBand::instance().setWindow(bandSlot(), this);

    // Design size first: it is what a first start (no stored size) comes up with.
    resize(toPixels(m_mode.designClientWidth),
           toPixels(m_mode.designClientHeight) + menuBar()->sizeHint().height());
    Korvex_M01::LoadFormPos(this, true);
    Korvex_M01::LoadCtlPos(this, Sheet_List);
    Korvex_M01::LoadFont(this, Book_Combo);
    ApplyFont();

    if (!Korvex_M01::GrxFile.isEmpty())
        m_grid->loadLayout(Korvex_M01::GrxFile, name);
    OM_BookMerge->setChecked(m_grid->columnMerged(0));
    OM_SheetMerge->setChecked(m_grid->columnMerged(1));
    try {
        Korvex_M01::PrintSetting(true, *m_grid);
    } catch (const std::exception& e) {
        // Print settings that cannot be read or kept (a read-only folder, a
        // folder where the file should be) leave the grid with its defaults.
        qWarning("Korvex: %s", e.what());
    }

    m_opt = readOptions(m_mode);
    setOptionsIntoControls();

    m_grid->bind();
    if (m_mode.isReplace())
        createReplaceLog(Korvex_M01::WorkDb());

    PM_BookSort->setChecked(m_opt.B_Sort != 0);
    PM_SheetSort->setChecked(m_opt.S_Sort != 0);
    OM_BookSort->setChecked(PM_BookSort->isChecked());
    OM_SheetSort->setChecked(PM_SheetSort->isChecked());

    OM_Activate->setChecked(keys::readInt(keys::topMost(m_mode.objectName)) != 0);
    OM_ExcelActive->setChecked(m_opt.Xls_Active != 0);
    OM_Regex->setChecked(m_opt.S_Regex != 0);
    OM_Kana->setChecked(m_opt.S_Kana != 0);
    m_grid->setLinkage(OM_ExcelActive->isChecked());

    WindowBand::instance().setInFront(bandSlot(), OM_Activate->isChecked());

    guarded([this] { ReloadBooks(); });

    m_busyCursor = busyCursorFromFile(QString::fromLatin1(m_mode.busyIconFile));

    ResetFind();
    WindowBand::instance().setLoaded(bandSlot(), true);
    setGridActive(false);
}

void FindReplaceWindow::setOptionsIntoControls() {
    Combo_SOpsion[0]->setCurrentIndex(m_opt.S_Combo_0);
    if (Combo_SOpsion[1])
        Combo_SOpsion[1]->setCurrentIndex(m_opt.S_Combo_1);
    for (int i = 0; i < 3; ++i)
        Check_Opstion[i]->setChecked(m_opt.S_Check[i] != 0);
    Search_Combo->setEditText(m_opt.S_Text);
    if (Replace_Combo)
        Replace_Combo->setEditText(m_opt.R_Text);
}

void FindReplaceWindow::Form_Activate() {
    if (WindowBand::instance().loaded(bandSlot()))
        m_grid->windowActivated();
}

bool FindReplaceWindow::Form_Unload() {
    if (!m_pass.NotRunning)
        return false; // an all-at-once run is active: stay open, save nothing

    if (isMinimized())
        showNormal();
    Korvex_M01::SaveFormPos(this, true);
    Korvex_M01::SaveCtlPos(this, Sheet_List);
    Korvex_M01::SaveFont(this, Book_Combo);

    keys::write(keys::topMost(m_mode.objectName), OM_Activate->isChecked() ? 1 : 0);

    m_opt.S_Text = Search_Combo->currentText();
    if (Replace_Combo)
        m_opt.R_Text = Replace_Combo->currentText();
    m_opt.Xls_Active = OM_ExcelActive->isChecked() ? 1 : 0;
    writeOptions(m_mode, m_opt);

    if (!Korvex_M01::GrxFile.isEmpty())
        m_grid->saveLayout(Korvex_M01::GrxFile, objectName());

    if (Korvex_M01::WorkDb().ConnectFlag()) {
        try {
            Korvex_M01::WorkDb().Commit();
        } catch (const std::exception&) {
            // Every row was committed when it was written; nothing is pending.
        }
    }
    WindowBand::instance().setLoaded(bandSlot(), false);
    return true;
}

void FindReplaceWindow::closeEvent(QCloseEvent* event) {
    if (!m_unloaded) {
        if (!Form_Unload()) { // a run is going on: the beep says the request was heard
            beep();
            event->ignore();
            return;
        }
        m_unloaded = true;
        m_grid->disarm();
        markUnloaded();
    }
    event->accept();
}

void FindReplaceWindow::markUnloaded() {
    WindowBand::instance().release(this);
}

void FindReplaceWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void FindReplaceWindow::LayoutControls() {
    ToolBoxes b;
    for (int i = 0; i < 3; ++i)
        b.buttons[i] = boxOf(m_runButtons[i]);
    b.bookCombo = boxOf(Book_Combo);
    b.sheetList = boxOf(Sheet_List);
    b.searchCombo = boxOf(Search_Combo);
    if (Replace_Combo)
        b.replaceCombo = boxOf(Replace_Combo);
    b.grid = boxOf(m_grid);
    b = layoutControls(b, toTwips(m_client->width()), toTwips(m_client->height()), m_mode.kind);
    for (int i = 0; i < 3; ++i)
        place(m_runButtons[i], b.buttons[i]);
    place(Book_Combo, b.bookCombo);
    place(Sheet_List, b.sheetList);
    place(Search_Combo, b.searchCombo);
    if (Replace_Combo)
        place(Replace_Combo, b.replaceCombo);
    place(m_grid, b.grid);
}

bool FindReplaceWindow::eventFilter(QObject* watched, QEvent* event) {
    if (Sheet_List && watched == Sheet_List->viewport() &&
        event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            // The right button opens the menu and leaves the selection alone.
            showPopup(mouse->globalPosition().toPoint(), false);
            return true;
        }
    }
    if (watched == m_client && event->type() == QEvent::Resize)
        LayoutControls();
    return QMainWindow::eventFilter(watched, event);
}

void FindReplaceWindow::SetBusy(bool Busy) {
    for (int i = 0; i < 2; ++i) {
        if (Cmd_CellGet[i])
            Cmd_CellGet[i]->setVisible(!Busy);
    }
    m_runButtons[2]->setVisible(Busy);
    for (QMenu* m : {Sheet_Menu, Redraw_Menu, Result_Menu, Opstion_Menu})
        m->menuAction()->setEnabled(!Busy);
    QWidget* inputs[] = {Book_Combo,       Sheet_List,       Search_Combo,
                         Replace_Combo,    Combo_SOpsion[0], Combo_SOpsion[1],
                         Check_Opstion[0], Check_Opstion[1], Check_Opstion[2]};
    for (QWidget* w : inputs) {
        if (w)
            w->setEnabled(!Busy);
    }
}

void FindReplaceWindow::ResetFind() {
    m_pass.reset();
}

void FindReplaceWindow::AddSearchHistory() {
    auto add = [](QComboBox* combo) {
        const QString text = combo->currentText();
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        if (withHistory(items, text).size() != items.size())
            combo->addItem(text);
        combo->setEditText(text);
    };
    add(Search_Combo);
    if (Replace_Combo)
        add(Replace_Combo);
}

void FindReplaceWindow::SR_Revert_Click() {
    const QList<int> chosen = m_grid->selectedRowNumbers();
    if (chosen.isEmpty() || !m_grid->resultModel()) {
        ui().beep();
        return;
    }
    QList<RevertRow> rows;
    rows.reserve(chosen.size());
    for (int r : chosen) {
        const ResultRow row = m_grid->resultModel()->row(r);
        rows.append({row.book, row.sheet, row.range, row.execute, row.seqNo});
    }
    const RevertOutcome done = revertRows(Korvex_M01::WorkDb(), rows);
    Korvex_M01::ShowMsg(QStringLiteral("N_F03_003"),
                        {QString::number(done.reverted), QString::number(done.changedSince),
                         QString::number(done.unreachable), QString::number(done.notKept),
                         QString::number(done.refused), QString::number(done.kindLost),
                         QString::number(done.neverReplaced)});
}

void FindReplaceWindow::Cmd_Search_Click() {
    m_engine->stepClick();
}

void FindReplaceWindow::Cmd_SumSearch_Click() {
    m_engine->runAllClick();
}

void FindReplaceWindow::Cmd_Cancel_Click() {
    ResetFind();
    SetBusy(false);
}

void FindReplaceWindow::Check_Opstion_Click(int Index) {
    m_opt.S_Check[Index] = Check_Opstion[Index]->isChecked() ? 1 : 0;
}

void FindReplaceWindow::Combo_SOpsion_Click(int Index) {
    const int value = Combo_SOpsion[Index]->currentIndex();
    if (value < 0)
        return;
    (Index == 0 ? m_opt.S_Combo_0 : m_opt.S_Combo_1) = value;
}

void FindReplaceWindow::guarded(const std::function<void()>& handler) {
    guardedCommand(handler, messageId(1));
}

} // namespace korvex::findreplace
