#include "list_widgets.h"

#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>

namespace korvex {

QStringList comboEntries(const QComboBox* combo) {
    QStringList names;
    names.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemText(i);
    return names;
}

QStringList listEntries(const QListWidget* list) {
    QStringList names;
    names.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

void fillCombo(QComboBox* combo, const QStringList& names) {
    const QSignalBlocker quiet(combo);
    combo->clear();
    combo->addItems(names);
    combo->setCurrentIndex(-1);
}

} // namespace korvex
