#pragma once
// The entries of the combo boxes and lists that show book and sheet names,
// read and filled alike by every window that has them.

#include <QStringList>

class QComboBox;
class QListWidget;

namespace korvex {

QStringList comboEntries(const QComboBox* combo);
QStringList listEntries(const QListWidget* list);

// Replaces the entries without a signal and leaves no entry current: the
// program chooses one afterwards, as a click would.
void fillCombo(QComboBox* combo, const QStringList& names);

} // namespace korvex
