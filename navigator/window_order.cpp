#include "window_order.h"

#include "app_state.h"
#include "window_band.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStyle>
#include <QWidget>

namespace korvex::navigator {

void leaveTopBand(QWidget* window) {
    if (!window)
        return;
    Korvex_M01::SetStaysOnTop(window, false);
    if (!window->isVisible()) {
        const bool quiet = window->testAttribute(Qt::WA_ShowWithoutActivating);
        window->setAttribute(Qt::WA_ShowWithoutActivating, true);
        window->show();
        window->setAttribute(Qt::WA_ShowWithoutActivating, quiet);
    }
}

QIcon programIcon() {
    const QString path = Korvex_M01::Paths().resourceFolder + QStringLiteral("/korvex.png");
    QIcon icon(path);
    if (QFileInfo::exists(path) && !icon.isNull())
        return icon;
    return QApplication::style()->standardIcon(QStyle::SP_FileDialogListView);
}

} // namespace korvex::navigator
