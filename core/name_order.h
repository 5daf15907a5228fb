#pragma once
// The order in which the windows list book and sheet names, and finding a name
// again in such a list. Shared by every window that lists the host's books and
// sheets, so that they all sort alike.

#include <QString>
#include <QStringList>

namespace korvex {

// The names in ascending order, case-insensitive and by the Japanese collation
// (the program's interface language); names that compare equal keep their
// order.
QStringList sortedNames(const QStringList& names);

// The names a list shows: sorted when the list's sort value is on, else as the
// host gives them.
inline QStringList namesForList(const QStringList& names, int sortValue) {
    return sortValue != 0 ? sortedNames(names) : names;
}

// Index of the entry equal to the name (exact), or -1: a name that is not in
// the list leaves it without a current entry.
int indexOfName(const QStringList& entries, const QString& name);

} // namespace korvex
