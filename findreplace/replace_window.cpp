#include "replace_window.h"

#include "app_state.h"

#include <QCloseEvent>

Korvex_F03::Korvex_F03(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QString::fromLatin1(ObjectName));
    setAttribute(Qt::WA_DeleteOnClose);
    Form_Load();
}

Korvex_F03::~Korvex_F03() {
    // A window destroyed without a close event (program teardown) must not leave
    // a dangling handle behind for the always-in-front arrangement.
    markUnloaded();
}

void Korvex_F03::Form_Load() {
    setWindowTitle(QString::fromUtf8(Caption));
    resize(5055 / 15, 3690 / 15);
    Korvex_M01::F03_hWnd = this;
    Korvex_M01::F03_Loaded = true;
}

bool Korvex_F03::Form_Unload() {
    return true;
}

void Korvex_F03::closeEvent(QCloseEvent* event) {
    if (!Form_Unload()) {
        event->ignore();
        return;
    }
    markUnloaded();
    event->accept();
}

void Korvex_F03::markUnloaded() {
    if (Korvex_M01::F03_hWnd == this) {
        Korvex_M01::F03_hWnd = nullptr;
        Korvex_M01::F03_Loaded = false;
    }
}
