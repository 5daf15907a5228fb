#pragma once
// Small helpers around windows that the navigator's commands share.

#include <QCursor>

class QIcon;
class QWidget;

namespace korvex::navigator {

// Takes a window out of the always-in-front band and shows it, without
// activating it or changing its position and size.
void leaveTopBand(QWidget* window);

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

// The program's icon (a picture beside the executable, else a standard one).
QIcon programIcon();

} // namespace korvex::navigator
