#pragma once
// What every window that lists the host's books and sheets asks the host
// alike: the book names, the active book, a book's active sheet. A host that
// answers with nothing fails like one that throws (HostError), so that each
// window recovers from both in one place.

#include "host.h"

#include <QString>
#include <QStringList>

namespace korvex {

// `p`, or HostError naming `what` when it is null.
template <typename P> P need(P p, const char* what) {
    if (!p)
        throw host::HostError(QString::fromLatin1(what));
    return p;
}

// Puts the host's book names into `names` and says whether the host answered.
// Without a host, or with one that fails while being listed, `names` keep
// what they held: a list goes on showing the names it showed last.
bool refreshBookNames(QStringList& names);

// The name of the host's active book; HostError without one.
QString activeBookName();

// The name of the active sheet of the open book `book`; HostError without one.
QString activeSheetName(const QString& book);

} // namespace korvex
