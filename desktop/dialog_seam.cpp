#include "dialog_seam.h"

#include "window_band.h"

#include <QDialog>

namespace korvex {
namespace {

// A process whose seam has no dialogs (none installed yet): every dialog is
// cancelled, messages and beeps go to the seam in force.
class NoDialogs : public DialogSeam {
public:
    int message(const MessageRequest& request) override { return ui().message(request); }
    void beep() override { ui().beep(); }

protected:
    QStringList askOpenFiles(QWidget*, const OpenFilesRequest&) override { return {}; }
    bool askFont(QWidget*, QFont&, QColor&) override { return false; }
    int execDialog(QDialog&) override { return 0; }
};

} // namespace

QStringList DialogSeam::openFiles(QWidget* parent, const OpenFilesRequest& request) {
    const WindowBand::StepOut out(parent);
    return askOpenFiles(parent, request);
}

bool DialogSeam::chooseFont(QWidget* parent, QFont& font, QColor& color) {
    const WindowBand::StepOut out(parent);
    return askFont(parent, font, color);
}

int DialogSeam::runDialog(QDialog& dialog) {
    const WindowBand::StepOut out(dialog.parentWidget());
    return execDialog(dialog);
}

QString DialogSeam::chooseFolder(QWidget* parent, const QString& title, const QString& folder) {
    const WindowBand::StepOut out(parent);
    return askFolder(parent, title, folder);
}

QString DialogSeam::saveFile(QWidget* parent, const SaveFileRequest& request) {
    const WindowBand::StepOut out(parent);
    return askSaveFile(parent, request);
}

bool DialogSeam::pageSetup(QWidget* parent, QPageLayout& layout, const QString& printerName) {
    const WindowBand::StepOut out(parent);
    return askPageSetup(parent, layout, printerName);
}

bool DialogSeam::printPreview(QWidget* parent, const PrintPreviewRequest& request) {
    const WindowBand::StepOut out(parent);
    return showPrintPreview(parent, request);
}

QString DialogSeam::askSaveFile(QWidget*, const SaveFileRequest&) {
    return QString();
}

QString DialogSeam::askFolder(QWidget*, const QString&, const QString&) {
    return QString();
}

bool DialogSeam::askPageSetup(QWidget*, QPageLayout&, const QString&) {
    return false;
}

bool DialogSeam::showPrintPreview(QWidget*, const PrintPreviewRequest&) {
    return false;
}

DialogSeam& dialogs() {
    if (auto* seam = dynamic_cast<DialogSeam*>(&ui()))
        return *seam;
    static NoDialogs none;
    return none;
}

} // namespace korvex
