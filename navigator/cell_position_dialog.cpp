#include "cell_position_dialog.h"

#include "app_state.h"
#include "host_helpers.h"
#include "list_logic.h"
#include "main_window.h"
#include "settings_keys.h"
#include "window_geometry.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <exception>

using namespace korvex::navigator;

namespace korvex::navigator {
QString cellFieldText(const QString& address) {
    if (address.startsWith(QLatin1Char('$')))
        return address.mid(1);
    return address;
}
} // namespace korvex::navigator

namespace {
void placeTw(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}
} // namespace

Korvex_F0101::Korvex_F0101(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::fromLatin1(ObjectName));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    // A blank caption: an empty one would make the desktop show the program's
    // name instead.
    setWindowTitle(QStringLiteral(" "));

    S_Move = new QCheckBox(QStringLiteral("シート移動後、セルを移動する"), this);
    S_Move->setObjectName(QStringLiteral("S_Move"));
    placeTw(S_Move, 120, 120, 2655, 255);

    CValue = new QLineEdit(this);
    CValue->setObjectName(QStringLiteral("CValue"));
    CValue->setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), font().pointSize()));
    CValue->setMaxLength(64);
    placeTw(CValue, 600, 495, 975, 285);

    CellGet_Cmd = new QPushButton(QStringLiteral("ｾﾙ取得"), this);
    CellGet_Cmd->setObjectName(QStringLiteral("CellGet_Cmd"));
    CellGet_Cmd->setAutoDefault(false);
    placeTw(CellGet_Cmd, 1680, 480, 975, 315);

    static const char* captions[] = {"OK", "ｷｬﾝｾﾙ"};
    for (int i = 0; i < 2; ++i) {
        OKCancel_Cmd[i] = new QPushButton(QString::fromUtf8(captions[i]), this);
        OKCancel_Cmd[i]->setObjectName(QStringLiteral("OKCancel_Cmd_%1").arg(i));
        OKCancel_Cmd[i]->setAutoDefault(false);
        placeTw(OKCancel_Cmd[i], 2880, 120 + 360 * i, 975, 315);
        connect(OKCancel_Cmd[i], &QPushButton::clicked, this, [this, i] { OKCancel_Cmd_Click(i); });
    }
    connect(CellGet_Cmd, &QPushButton::clicked, this, &Korvex_F0101::CellGet_Cmd_Click);

    // The check box keeps its design place; its caption may need a little more
    // room than the design width in the desktop's font, up to the OK button.
    // When even that is too narrow, the caption's font steps down a little.
    const int roomy = OKCancel_Cmd[0]->x() - 4 - S_Move->x();
    QFont captionFont = S_Move->font();
    while (S_Move->sizeHint().width() > roomy && captionFont.pointSizeF() > 7.5) {
        captionFont.setPointSizeF(captionFont.pointSizeF() - 0.5);
        S_Move->setFont(captionFont);
    }
    if (S_Move->sizeHint().width() > S_Move->width())
        S_Move->resize(std::min(S_Move->sizeHint().width(), roomy), S_Move->height());

    setTabOrder(S_Move, CValue);
    setTabOrder(CValue, CellGet_Cmd);
    setTabOrder(CellGet_Cmd, OKCancel_Cmd[0]);
    setTabOrder(OKCancel_Cmd[0], OKCancel_Cmd[1]);

    setFixedSize(toPixels(3990), toPixels(930));
    Form_Load();
}

void Korvex_F0101::Form_Load() {
    Korvex_M01::LoadFormPos(this, false);
    S_Move->setChecked(Korvex_F01::S_Move != 0);
    CValue->setText(Korvex_F01::CValue);
    if (!Korvex_M02::AttachExcel())
        CellGet_Cmd->setEnabled(false);
}

void Korvex_F0101::CellGet_Cmd_Click() {
    if (!Korvex_M02::AttachExcel())
        return;
    try {
        const auto& host = Korvex_M02::ExcelApp;
        const auto cell = host->activeCell();
        const auto sheet = host->activeSheet();
        // No book open, or a chart sheet in front: there is no cell to take.
        if (!cell || !sheet)
            return;
        const auto target = sheet->cell(cell->row(), cell->column());
        if (!target)
            return;
        const QString text = korvex::navigator::cellFieldText(target->address(false, true));
        if (!text.isEmpty())
            CValue->setText(text);
    } catch (const std::exception&) {
        // The host could not say where its cursor is; the field stays as it was.
    }
}

void Korvex_F0101::OKCancel_Cmd_Click(int index) {
    if (index == 0) {
        Korvex_F01::S_Move = S_Move->isChecked() ? 1 : 0;
        Korvex_F01::CValue = CValue->text();
        korvex::keys::write(korvex::keys::F01_S_Move, Korvex_F01::S_Move);
        korvex::keys::write(korvex::keys::F01_CValue, Korvex_F01::CValue);
        accept();
        return;
    }
    reject();
}

void Korvex_F0101::Form_Unload() {
    Korvex_M01::SaveFormPos(this, false);
}

void Korvex_F0101::done(int result) {
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    QDialog::done(result);
}
