#include "version_dialog.h"

#include "app_state.h"
#include "list_logic.h"
#include "system_info.h"
#include "window_geometry.h"
#include "window_order.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

using namespace korvex::navigator;

namespace {
void placeTw(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}
} // namespace

Korvex_F0103::Korvex_F0103(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::fromLatin1(ObjectName));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    const QIcon icon = programIcon();
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(icon.pixmap(toPixels(540), toPixels(540)));
    placeTw(picIcon, 128, 120, 540, 540);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont(QStringLiteral("Times New Roman"));
    titleFont.setPointSizeF(15.75);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    placeTw(lblTitle, 743, 300, 2145, 360);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    QFont versionFont(QStringLiteral("Times New Roman"));
    versionFont.setPointSizeF(9);
    versionFont.setBold(true);
    lblVersion->setFont(versionFont);
    placeTw(lblVersion, 3023, 435, 1290, 225);

    lblDescription = new QLabel(QStringLiteral("Excel 作業支援ツール"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    placeTw(lblDescription, 1965, 1485, 2250, 180);

    // The product's picture: the program's icon, small, under the large one.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(icon.pixmap(toPixels(360), toPixels(360)));
    placeTw(Image1, 218, 1200, 360, 360);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    placeTw(cmdOK, 2250, 1800, 1380, 345);
    connect(cmdOK, &QPushButton::clicked, this, &Korvex_F0103::cmdOK_Click);

    cmdSysInfo = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);
    placeTw(cmdSysInfo, 810, 1800, 1380, 345);
    connect(cmdSysInfo, &QPushButton::clicked, this, &Korvex_F0103::cmdSysInfo_Click);

    setFixedSize(toPixels(4440), toPixels(2325));
    Form_Load();
}

void Korvex_F0103::Form_Load() {
    Korvex_M01::LoadFormPos(this, true);
    setWindowTitle(QStringLiteral("Korvex") + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));
    lblVersion->setText(Korvex_M01::VersionText());
    lblTitle->setText(QStringLiteral("Korvex"));
}

void Korvex_F0103::cmdOK_Click() {
    accept();
}

void Korvex_F0103::cmdSysInfo_Click() {
    const IniKeyValueSource source(IniKeyValueSource::desktopFiles());
    StartSysInfo(source, SysInfoPlatform::desktop());
}

void Korvex_F0103::Form_Unload() {
    Korvex_M01::SaveFormPos(this, true);
}

void Korvex_F0103::done(int result) {
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    QDialog::done(result);
}
