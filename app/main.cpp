// Korvex: the navigator beside a running spreadsheet. The host is chosen from
// the environment (KORVEX_HOST), then the start-up sequence loads the main
// window and runs until it closes.

#include "desktop_ui.h"
#include "host_helpers.h"
#include "host_selection.h"
#include "main_window.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
    return Korvex_M01::Main([] { return new Korvex_F01; });
}
