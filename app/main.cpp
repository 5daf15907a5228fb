// Korvex: the navigator beside a running spreadsheet. The host is chosen from
// the environment (KORVEX_HOST), then the start-up sequence loads the main
// window and runs until it closes.

#include "desktop_ui.h"
#include "host_helpers.h"
#include "host_selection.h"
#include "main_window.h"
#include "startup.h"
#include "window_stacking.h"

#include <QApplication>

#include <cstdlib>

namespace {

QtMessageHandler g_defaultHandler = nullptr;

// Qt aborts when it cannot reach a display. For Korvex that is a failed start,
// not a crash: it ends with Qt's explanation and exit code 1.
void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (g_defaultHandler)
        g_defaultHandler(type, context, text);
    if (type == QtFatalMsg)
        std::_Exit(1);
}

} // namespace

int main(int argc, char** argv) {
    g_defaultHandler = qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_defaultHandler);
    korvex::installDesktopUi();
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    korvex::useJapanese();

    QString error;
    auto connector = korvex::hosts::connectorFromEnvironment(&error);
    if (!connector) {
        korvex::MessageRequest box;
        box.title = QStringLiteral("Korvex");
        box.text = QStringLiteral("表計算ソフトに接続できません。\n\n%1").arg(error);
        box.style = korvex::mb::OkOnly | korvex::mb::Critical;
        korvex::ui().message(nullptr, box);
        return 1;
    }
    Korvex_M02::SetConnector(std::move(connector));
    korvex::installBookWindowStacking();
    return Korvex_M01::Main([] { return new Korvex_F01; });
}
