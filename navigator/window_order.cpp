#include "window_order.h"

#include "app_state.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStyle>

namespace korvex::navigator {

QIcon programIcon() {
    const QString path = Korvex_M01::Paths().resourceFolder + QStringLiteral("/korvex.png");
    QIcon icon(path);
    if (QFileInfo::exists(path) && !icon.isNull())
        return icon;
    return QApplication::style()->standardIcon(QStyle::SP_FileDialogListView);
}

} // namespace korvex::navigator
