#pragma once
// A scratch installation for print-window tests: the program's files in a
// temporary folder, a work database holding the real message catalogue and
// scripted dialog answers; the test connects a host of its choice. Helpers
// act on the window as a user would.

#include "app_state.h"
#include "find_child.h"
#include "host_helpers.h"
#include "messages.h"
#include "print_window.h"
#include "scripted_ui.h"
#include "test_files.h"
#include "work_database.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace printtest {

class Scratch {
public:
    Scratch() {
        if (Korvex_M01::WorkDb().ConnectFlag())
            Korvex_M01::WorkDb().DisConnect();
        korvex::test::writeFile(Korvex_M01::DbFile, {});
        Korvex_M01::WorkDb().Connect(Korvex_M01::DbFile);
        if (!korvex::test::seedCatalogue(Korvex_M01::WorkDb().DBase()))
            qFatal("message catalogue script not found");
    }
    ~Scratch() {
        Korvex_M02::SetConnector(nullptr);
        Korvex_M02::ExcelApp.reset();
        Korvex_M01::WorkDb().DisConnect();
    }
    korvex::test::ProgramFolder dir; // first: the paths the rest uses
    korvex::test::ScriptedUi ui;
};

using korvex::test::child;
inline QListWidget* targets(Korvex_F04& f) {
    return child<QListWidget>(f, "List_Sheet");
}
inline QStringList entries(QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}
inline QStringList comboEntries(QComboBox* combo) {
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemText(i);
    return names;
}
inline void select(QListWidget* list, const QStringList& names) {
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(names.contains(list->item(i)->text()));
}
// Chooses an entry as the user would, raising the combo's click.
inline void choose(QComboBox* combo, const QString& text) {
    combo->setCurrentIndex(combo->findText(text));
    emit combo->activated(combo->currentIndex());
}
inline QStringList selectedEntries(QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->isSelected())
            names << list->item(i)->text();
    }
    return names;
}
inline void press(Korvex_F04& f, const char* button) {
    QTest::mouseClick(child<QPushButton>(f, button), Qt::LeftButton);
}

} // namespace printtest
