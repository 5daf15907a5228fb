#pragma once
// Looks up a named control of a window under test. A missing one ends the
// test at once, naming it, rather than failing later on a null pointer.

#include <QObject>
#include <QString>
#include <QtGlobal>

class QWidget;

namespace korvex::test {

template <typename T = QWidget> T* child(const QObject& parent, const QString& name) {
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

} // namespace korvex::test
