// The commands that work on the host: copying the base sheet's page setup to
// the target sheets, the office's page-setup dialog on the base sheet, and
// printing the targets as one group through the office's print dialog.
//
// Once their preconditions hold, these commands run every host step on its
// own: a step the host refuses is passed over and the rest still run, so the
// cursor, the grouping and the window always come back.

#include "print_window.h"

#include "app_state.h"
#include "busy_pointer.h"
#include "guarded.h"
#include "host_helpers.h"
#include "messages.h"
#include "run_guard.h"
#include "ui_seam.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include <exception>
#include <map>
#include <optional>
#include <utility>

using korvex::host::HostError;
using Korvex_M02::ExcelApp;

namespace {

korvex::host::Application& app() {
    if (!ExcelApp)
        throw HostError(QStringLiteral("no spreadsheet host is attached"));
    return *ExcelApp;
}

// The office comes out of the task bar so that the user can follow the run
// sheet by sheet, but stays behind the print window, whose ｷｬﾝｾﾙ must remain
// at hand (raising the office would bury it).
void showOfficeBehind() {
    korvex::guarded([] {
        if (app().windowState() == korvex::host::WindowState::Minimized)
            app().setWindowState(korvex::host::WindowState::Normal);
    });
}

bool bookOpen(const QString& book) {
    bool open = false;
    korvex::guarded([&] { open = Korvex_M02::IsBookOpen(book); });
    return open;
}

// Where the user was before a command: the active book, sheet and cell, and
// in each book the command is going to work in, its active sheet and the
// sheets selected with it. Activating a sheet inside a group keeps the group,
// so a book's selection is put back as it was even when it was one sheet.
class UserPlace {
public:
    explicit UserPlace(const QStringList& books) {
        m_haveStart = korvex::guarded([&] { Korvex_M02::GetCurrentPos(m_start); });
        QStringList names = books;
        if (m_haveStart)
            names.prepend(m_start.Book);
        names.removeDuplicates();
        for (const QString& name : names) {
            Selection s;
            if (korvex::guarded([&] {
                    s.book = app().workbook(name);
                    s.active = s.book->activeSheet()->name();
                    s.sheets = s.book->window(1)->selectedSheets();
                }))
                m_selections.append(s);
        }
    }

    void restore() {
        if (m_haveStart)
            korvex::guarded([&] { Korvex_M02::GoToPos(m_start); });
        for (Selection& s : m_selections) {
            // Selecting makes the first named sheet the active one.
            s.sheets.removeAll(s.active);
            s.sheets.prepend(s.active);
            korvex::guarded([&] { s.book->selectSheets(s.sheets); });
        }
    }

private:
    struct Selection {
        korvex::host::WorkbookPtr book;
        QString active;
        QStringList sheets;
    };
    Korvex_M02::CellPos m_start;
    bool m_haveStart = false;
    QList<Selection> m_selections;
};

} // namespace

void Korvex_F04::EnableControls(bool enabled) {
    // ｷｬﾝｾﾙ and the option menu stay usable during a run.
    Sheet_Menu->menuAction()->setEnabled(enabled);
    Redraw_Menu->menuAction()->setEnabled(enabled);
    for (QWidget* w :
         {static_cast<QWidget*>(Combo_Book), static_cast<QWidget*>(Combo_Sheet),
          static_cast<QWidget*>(Combo_BookSel), static_cast<QWidget*>(List_Sheet),
          static_cast<QWidget*>(Command_PrintSet), static_cast<QWidget*>(Command_SetStart),
          static_cast<QWidget*>(Command_PrintOut)})
        w->setEnabled(enabled);
}

void Korvex_F04::Command_SetStart_Click() {
    const korvex::RunGuard run;
    if (!run.granted()) {
        korvex::ui().beep();
        return;
    }
    const bool attached = Korvex_M02::AttachExcel();
    const QStringList chosen = GetSelectedSheets();
    if (!attached || chosen.isEmpty()) {
        korvex::ui().beep();
        return;
    }
    // The names are taken once: the option menu stays usable during the run,
    // and a refill of the book lists must not move the run to another book.
    const QString baseBook = Combo_Book->currentText();
    const QString baseSheet = Combo_Sheet->currentText();
    const QString targetBook = Combo_BookSel->currentText();
    // Without its base sheet, or with its target book gone, the run would
    // copy nothing yet deselect every target as done: both are refused like
    // a closed base book.
    korvex::host::SheetPtr base;
    if (Korvex_M02::IsBookOpen(baseBook))
        base = app().workbook(baseBook)->worksheetsNamed({baseSheet}).front();
    if (!base || !bookOpen(targetBook)) {
        Korvex_M01::ShowMsg(QStringLiteral("E_F04_002"));
        return;
    }

    Running = true;
    showOfficeBehind();
    EnableControls(false);
    const korvex::BusyPointer busy(m_busyCursor);
    UserPlace place({baseBook, targetBook});

    // The base is read once and the targets are looked up in one pass: each
    // target then costs its activation and one write.
    std::optional<korvex::host::PageValues> baseValues;
    korvex::guarded([&] { app().workbook(baseBook)->activate(); });
    korvex::guarded([&] { base->activate(); });
    korvex::guarded([&] { baseValues = Korvex_M02::ReadPageSetup(*base->pageSetup()); });
    std::map<QString, korvex::host::SheetPtr> targets;
    korvex::guarded([&] {
        const auto found = app().workbook(targetBook)->worksheetsNamed(chosen);
        for (size_t k = 0; k < found.size(); ++k)
            targets[chosen[qsizetype(k)]] = found[k];
    });

    for (int i = 0; i < List_Sheet->count(); ++i) {
        if (!List_Sheet->item(i)->isSelected())
            continue;
        // Where a click on ｷｬﾝｾﾙ is taken in: made while the previous target
        // was being written, it stops the run before this one. Such a click
        // was held back during the office's call, and the event loop lets
        // held input through only once woken.
        if (auto* dispatcher = QAbstractEventDispatcher::instance())
            dispatcher->wakeUp();
        QCoreApplication::processEvents();
        if (!Running || i >= List_Sheet->count())
            break; // stopped, or the list was refilled meanwhile and is shorter now
        QListWidgetItem* entry = List_Sheet->item(i);
        const QString name = entry->text();
        if (!(targetBook == baseBook && name == baseSheet)) {
            const auto found = targets.find(name);
            if (found != targets.end() && found->second) {
                const korvex::host::SheetPtr& target = found->second;
                // The office shows the run's progress sheet by sheet.
                korvex::guarded([&] { target->activate(); });
                if (baseValues)
                    korvex::guarded([&] { Korvex_M02::CopyPageSetup(*target, *baseValues); });
            }
        }
        if (List_Free != 0)
            entry->setSelected(false);
        if (!Running)
            break;
    }

    Running = false;
    place.restore();
    EnableControls(true);
    const Refill refill = std::exchange(m_refillAfterRun, RefillNone);
    if (refill != RefillNone) {
        // What the run left selected (the targets it did not reach) survives
        // the re-sort the user asked for meanwhile.
        const QStringList left = GetSelectedSheets();
        if (refill == RefillBooks) {
            ReloadBooks();
        } else {
            LoadSheets(Combo_Book->currentText(), Combo_Sheet);
            LoadSheets(Combo_BookSel->currentText(), List_Sheet);
        }
        if (Combo_BookSel->currentText() == targetBook) {
            for (int i = 0; i < List_Sheet->count(); ++i)
                List_Sheet->item(i)->setSelected(left.contains(List_Sheet->item(i)->text()));
        }
    }
}

void Korvex_F04::Command_Cancel_Click() {
    if (Running) {
        Running = false; // the run ends after the target it is working on
        return;
    }
    reject();
}

void Korvex_F04::Command_PrintSet_Click() {
    const korvex::RunGuard run;
    if (!run.granted()) {
        korvex::ui().beep();
        return;
    }
    const QString book = Combo_Book->currentText();
    const QString sheet = Combo_Sheet->currentText();
    if (!bookOpen(book)) {
        Korvex_M01::ShowMsg(QStringLiteral("E_F04_002"));
        return;
    }
    Korvex_M02::ShowExcel();
    UserPlace place({book});
    korvex::guarded([&] { app().workbook(book)->activate(); });
    // The dialog edits the active sheet's page setup: opened anywhere but on
    // the base sheet it would change another sheet's.
    const bool onBase =
        korvex::guarded([&] { app().workbook(book)->worksheet(sheet)->activate(); });
    if (onBase) {
        setEnabled(false);
        korvex::guarded([&] { app().showDialog(korvex::host::Dialog::PageSetup); });
    }
    place.restore();
    setEnabled(true);
    raise();
    activateWindow();
    if (!onBase)
        Korvex_M01::ShowMsg(QStringLiteral("E_F04_002"));
}

void Korvex_F04::Command_PrintOut_Click() {
    const korvex::RunGuard run;
    if (!run.granted()) {
        korvex::ui().beep();
        return;
    }
    const QString book = Combo_BookSel->currentText();
    if (!bookOpen(book)) {
        Korvex_M01::ShowMsg(QStringLiteral("E_F04_002"));
        return;
    }
    const QStringList targets = GetSelectedSheets();
    if (targets.isEmpty()) {
        korvex::ui().beep();
        return;
    }
    Korvex_M02::ShowExcel();
    UserPlace place({book});

    korvex::host::WorkbookPtr workbook;
    korvex::guarded([&] { workbook = app().workbook(book); });
    const QListWidgetItem* currentItem = List_Sheet->currentItem();
    const QString current = currentItem ? currentItem->text() : QString();
    bool grouped = false;
    if (workbook) {
        korvex::guarded([&] { workbook->activate(); });
        if (!current.isEmpty())
            korvex::guarded([&] { workbook->worksheet(current)->activate(); });
        grouped = korvex::guarded([&] { workbook->selectSheets(targets); });
    }
    // Printing whatever happens to be selected would print sheets the user
    // did not choose: without the group there is no print dialog.
    if (grouped) {
        setEnabled(false);
        korvex::guarded([&] { app().showDialog(korvex::host::Dialog::Print); });
    }
    place.restore();
    setEnabled(true);
    raise();
    activateWindow();
    if (!grouped)
        Korvex_M01::ShowMsg(QStringLiteral("E_F04_002"));
}
