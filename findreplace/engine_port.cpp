#include "find_replace_window.h"

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
#include "window_band.h"
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

// --- what the search and replace engine works with (engine_window.h) ---

EngineOptions FindReplaceWindow::options() const {
    EngineOptions o;
    o.what = Search_Combo->currentText();
    if (Replace_Combo)
        o.replacement = Replace_Combo->currentText();
    o.directionIndex = Combo_SOpsion[0]->currentIndex();
    if (Combo_SOpsion[1])
        o.lookInIndex = Combo_SOpsion[1]->currentIndex();
    o.matchCase = Check_Opstion[0]->isChecked();
    o.matchByte = Check_Opstion[1]->isChecked();
    o.wholeCell = Check_Opstion[2]->isChecked();
    o.useRegex = m_opt.S_Regex != 0;
    o.foldKana = m_opt.S_Kana != 0;
    return o;
}

QString FindReplaceWindow::targetBook() const {
    return Book_Combo->currentText();
}

QList<SheetEntry> FindReplaceWindow::sheetEntries() const {
    QList<SheetEntry> entries;
    entries.reserve(Sheet_List->count());
    for (int i = 0; i < Sheet_List->count(); ++i) {
        const QListWidgetItem* item = Sheet_List->item(i);
        entries.append({item->text(), item->isSelected()});
    }
    return entries;
}

void FindReplaceWindow::setGridActive(bool active) {
    m_grid->setGridActive(active);
}

void FindReplaceWindow::setMainWindowEnabled(bool enabled) {
    if (QWidget* main = WindowBand::instance().window(BandWindow::Main))
        main->setEnabled(enabled);
}

void FindReplaceWindow::setBusyPointer(bool on) {
    if (on == m_busyPointer)
        return;
    m_busyPointer = on;
    if (on)
        QApplication::setOverrideCursor(m_busyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void FindReplaceWindow::AddResultRows(const QString& book, const QList<HitRow>& rows) {
    const QString replacement = Replace_Combo ? Replace_Combo->currentText() : QString();
    m_grid->addResultRows(resultRowsOf(book, Search_Combo->currentText(), replacement, rows),
                          m_pass.NotRunning);
}

void FindReplaceWindow::keepReplaced(const QString& book, const QList<ReplacedCell>& cells) {
    keepReplacedCells(Korvex_M01::WorkDb(), book, cells);
}

void FindReplaceWindow::commit() {
    Korvex_M01::WorkDb().Commit();
}

void FindReplaceWindow::showMessage(const QString& messageId) {
    Korvex_M01::ShowMsg(messageId);
}

void FindReplaceWindow::showMessageWith(const QString& messageId, const QStringList& args) {
    Korvex_M01::ShowMsg(messageId, args);
}

void FindReplaceWindow::beep() {
    ui().beep();
}

void FindReplaceWindow::showProgress(const EngineProgress& progress) {
    if (!statusBar()->isVisibleTo(this)) {
        statusBar()->show();
        m_refreshMinimumSize();
        // The grid loses the line's height once the layout runs: keep its
        // newest row in sight.
        QTimer::singleShot(0, m_grid, [grid = m_grid] { grid->scrollTo(grid->currentIndex()); });
    }
    m_runStatus->setText(
        progressText(m_mode.isReplace() ? EngineMode::Replace : EngineMode::Search, progress));
}

void FindReplaceWindow::letEventsThrough() {
    QApplication::processEvents();
}

} // namespace korvex::findreplace
