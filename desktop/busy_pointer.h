#pragma once
// The busy pointer a window shows while a long host operation runs.

#include <QCursor>

class QString;

namespace korvex {

// The busy pointer for the length of a scope.
class BusyPointer {
public:
    explicit BusyPointer(const QCursor& cursor);
    ~BusyPointer();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

// A pointer made from an icon file beside the executable; the standard wait
// pointer when the file is missing or unreadable.
QCursor busyCursorFromFile(const QString& fileName);

} // namespace korvex
