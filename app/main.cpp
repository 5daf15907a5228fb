// Korvex: the navigator beside a running spreadsheet. The host is chosen from
// the environment (KORVEX_HOST), then the start-up sequence loads the main
// window and runs until it closes.

#include "app_state.h"
#include "desktop_ui.h"
#include "host_helpers.h"
#include "host_selection.h"
#include "main_window.h"
#include "single_instance.h"
#include "startup.h"
#include "window_stacking.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

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

int g_termPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_termPipe[0], &byte, 1);
}

// SIGTERM (a session ending, a service manager) closes the main window as its
// exit command does, so that settings are saved and the work database is
// committed; the handler itself only wakes the event loop.
void closeOnTerminate(QApplication& app, const QPointer<Korvex_F01>& main) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_termPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_termPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier, &main] {
        char byte;
        [[maybe_unused]] const auto got = ::read(g_termPipe[1], &byte, 1);
        notifier->setEnabled(false);
        if (main)
            main->close();
        else
            QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
}

void describeCommandLine(QCommandLineParser& parser) {
    QCoreApplication::setApplicationName(QStringLiteral("Korvex"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(KORVEX_VERSION_MAJOR)
                                                .arg(KORVEX_VERSION_MINOR)
                                                .arg(KORVEX_VERSION_REVISION));
    parser.setApplicationDescription(
        QStringLiteral("Korvex: the navigator, search and batch print beside LibreOffice Calc.\n"
                       "Environment: KORVEX_HOST, KORVEX_UNO_PIPE, KORVEX_UNO_TIMEOUT_MS, UNO_PATH "
                       "(see korvex(1))."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Workbooks to open in the office."),
                                 QStringLiteral("[FILE...]"));
}

// --help and --version answer without a display, so they are told apart
// before the window system is reached.
bool asksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0)
            return false;
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(a, option) == 0)
                return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication textOnly(argc, argv);
        QCommandLineParser parser;
        describeCommandLine(parser);
        parser.process(textOnly); // prints and exits
        return 0;
    }
    g_defaultHandler = qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_defaultHandler);
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app); // unknown options: a message on stderr and exit code 1
    QStringList files;
    for (const QString& arg : parser.positionalArguments()) {
        const QFileInfo file(arg);
        if (file.isFile())
            files << file.absoluteFilePath();
        else
            std::fprintf(stderr, "korvex: %s: no such file\n", qUtf8Printable(arg));
    }

    // One Korvex per user, work database and office: a second start hands
    // its files over and ends.
    Korvex_M01::InitPaths();
    const QString office = qEnvironmentVariable("KORVEX_HOST") + QLatin1Char('|') +
                           qEnvironmentVariable("KORVEX_UNO_PIPE");
    korvex::SingleInstance instance(korvex::SingleInstance::socketPath(Korvex_M01::DbFile, office));
    if (instance.handOff(files))
        return 0;
    instance.listen();

    korvex::installDesktopUi();
    korvex::useJapanese();

    QString error;
    auto connector = korvex::hosts::connectorFromEnvironment(&error);
    if (!connector) {
        korvex::MessageRequest box;
        box.title = QStringLiteral("Korvex");
        box.text = QStringLiteral("表計算ソフトに接続できません。\n\n%1").arg(error);
        box.style = korvex::mb::OkOnly | korvex::mb::Critical;
        korvex::ui().message(box);
        return 1;
    }
    Korvex_M02::SetConnector(std::move(connector));
    korvex::installBookWindowStacking();
    QPointer<Korvex_F01> main;
    closeOnTerminate(app, main);
    // Start-up lets events through while it loads, so files wait until the
    // main window is shown.
    std::function<void(const QStringList&, bool)> openWhenShown = [&](const QStringList& books,
                                                                      bool toFront) {
        if (!main || !main->isVisible()) {
            QTimer::singleShot(50, &app, [&, books, toFront] { openWhenShown(books, toFront); });
            return;
        }
        if (toFront) {
            if (main->isMinimized())
                main->showNormal();
            main->raise();
            main->activateWindow();
        }
        if (!books.isEmpty() && !main->OpenFiles(books))
            std::fprintf(stderr, "korvex: the office refused to open a file\n");
    };
    if (!files.isEmpty())
        QTimer::singleShot(0, &app, [&] { openWhenShown(files, false); });
    instance.onRequest = [&](const QStringList& books) { openWhenShown(books, true); };
    return Korvex_M01::Main([&main] {
        main = new Korvex_F01;
        return main.data();
    });
}
