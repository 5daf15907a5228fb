#include "busy_pointer.h"

#include "app_state.h"

#include <QApplication>
#include <QFileInfo>
#include <QPixmap>

namespace korvex {

BusyPointer::BusyPointer(const QCursor& cursor) {
    QApplication::setOverrideCursor(cursor);
}

BusyPointer::~BusyPointer() {
    QApplication::restoreOverrideCursor();
}

QCursor busyCursorFromFile(const QString& fileName) {
    const QString path = Korvex_M01::Paths().resourceFolder + QLatin1Char('/') + fileName;
    if (QFileInfo::exists(path)) {
        const QPixmap pixmap(path);
        if (!pixmap.isNull())
            return QCursor(pixmap);
    }
    return QCursor(Qt::WaitCursor);
}

} // namespace korvex
