#include "window_order.h"

#include "app_state.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStyle>
#include <QWidget>

namespace korvex::navigator {

void leaveTopBand(QWidget* window) {
    if (!window)
        return;
    const bool onTop = window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    const QRect geometry = window->geometry();
    if (onTop)
        window->setWindowFlag(Qt::WindowStaysOnTopHint, false); // hides the window
    if (onTop || !window->isVisible()) {
        const bool quiet = window->testAttribute(Qt::WA_ShowWithoutActivating);
        window->setAttribute(Qt::WA_ShowWithoutActivating, true);
        window->show();
        window->setAttribute(Qt::WA_ShowWithoutActivating, quiet);
        if (onTop)
            window->setGeometry(geometry);
    }
}

QIcon programIcon() {
    const QString path = Korvex_M01::ExeFolder() + QStringLiteral("/korvex.png");
    QIcon icon(path);
    if (QFileInfo::exists(path) && !icon.isNull())
        return icon;
    return QApplication::style()->standardIcon(QStyle::SP_FileDialogListView);
}

} // namespace korvex::navigator
