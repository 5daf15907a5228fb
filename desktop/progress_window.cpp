#include "progress_window.h"

#include "app_state.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#ifndef KORVEX_VERSION_MAJOR
#define KORVEX_VERSION_MAJOR 0
#endif
#ifndef KORVEX_VERSION_MINOR
#define KORVEX_VERSION_MINOR 0
#endif
#ifndef KORVEX_VERSION_REVISION
#define KORVEX_VERSION_REVISION 0
#endif

namespace {

QFont serifFont(int pointSize, bool bold) {
    QFont f(QStringLiteral("Times New Roman"));
    f.setStyleHint(QFont::Serif);
    f.setPointSize(pointSize);
    f.setBold(bold);
    return f;
}

} // namespace

Korvex_F00::Korvex_F00(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Korvex_F00"));
    setWindowTitle(QStringLiteral("Korvex"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    m_frame1 = new QFrame(this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setFrameShape(QFrame::Panel);
    m_frame1->setFrameShadow(QFrame::Raised);
    m_frame1->setLineWidth(2);

    m_picIcon = new QLabel(m_frame1);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setFixedSize(48, 48);
    m_picIcon->setAlignment(Qt::AlignCenter);

    m_lblTitle = new QLabel(m_frame1);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setFont(serifFont(22, true));

    m_lblVersion = new QLabel(m_frame1);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblVersion->setFont(serifFont(11, false));

    m_labelMsg = new QLabel(m_frame1);
    m_labelMsg->setObjectName(QStringLiteral("Label_Msg"));
    m_labelMsg->setText(QStringLiteral("データベース最適化中..."));
    m_labelMsg->setMinimumWidth(280);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(m_lblTitle);
    titles->addWidget(m_lblVersion);

    auto* top = new QHBoxLayout;
    top->setSpacing(14);
    top->addWidget(m_picIcon, 0, Qt::AlignTop);
    top->addLayout(titles, 1);

    auto* inFrame = new QVBoxLayout(m_frame1);
    inFrame->setContentsMargins(18, 14, 18, 14);
    inFrame->setSpacing(14);
    inFrame->addLayout(top);
    inFrame->addWidget(m_labelMsg);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_frame1);

    Form_Load();

    adjustSize();
    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void Korvex_F00::Form_Load() {
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_DesktopIcon);
    m_picIcon->setPixmap(icon.pixmap(48, 48));
    m_lblTitle->setText(QStringLiteral("Korvex"));
    m_lblVersion->setText(Korvex_M01::VersionText());
}

void Korvex_F00::Form_LoadMsg(const QString& L_Msg) {
    m_labelMsg->setText(L_Msg);
    m_labelMsg->repaint();
    // Let the window system take the new pixels; user input waits for the
    // event loop proper, so nothing can be clicked in the middle of start-up.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
