#include "print_window.h"

Korvex_F04::Korvex_F04(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::fromLatin1(ObjectName));
    Form_Load();
}

void Korvex_F04::Form_Load() {
    setWindowTitle(QString::fromUtf8(Caption));
    resize(6000 / 15, 4500 / 15);
}

bool Korvex_F04::Form_Unload() {
    return true;
}

void Korvex_F04::done(int result) {
    if (!Form_Unload())
        return;
    QDialog::done(result);
}
