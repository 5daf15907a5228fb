// Korvex itself, started as a user would (start-up sequence with its
// compaction, then the main window), that then opens the search and replace
// windows and runs an all-at-once search and a replace-all over every sheet of
// the host's active book. Dialogs are answered by the scripted seam, so nothing
// waits for a person. Each phase is announced on stdout as "phase <name>", so
// the kill script knows what it interrupted.
//
// Usage: run_all_driver <search text> <replacement> [--exit]
//        (KORVEX_HOST=sim:<fixture>)
// With --exit the run ends with exit(3) from inside the event loop, as Qt ends
// a program whose display server has gone away.

#include "desktop_ui.h"
#include "find_child.h"
#include "host_helpers.h"
#include "host_selection.h"
#include "main_window.h"
#include "replace_window.h"
#include "scripted_ui.h"
#include "search_window.h"
#include "startup.h"
#include "work_database.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

void phase(const char* name) {
    std::printf("phase %s\n", name);
    std::fflush(stdout);
}

using korvex::test::child;

void runAll(korvex::findreplace::FindReplaceWindow& w, const QString& what,
            const QString& replacement, bool replace) {
    w.show();
    child<QComboBox>(w, "Search_Combo")->setEditText(what);
    if (replace)
        child<QComboBox>(w, "Replace_Combo")->setEditText(replacement);
    child<QAction>(w, "SM_SelAll")->trigger();
    child<QPushButton>(w, replace ? "Cmd_SumReplace" : "Cmd_SumSearch")->click();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    korvex::test::ScriptedUi ui; // every box answered with its first button
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    korvex::useJapanese();
    if (argc < 3)
        qFatal("usage: run_all_driver <search text> <replacement>");
    const QString what = QString::fromLocal8Bit(argv[1]);
    const QString replacement = QString::fromLocal8Bit(argv[2]);
    const bool exitInLoop = argc > 3 && qstrcmp(argv[3], "--exit") == 0;

    QString error;
    auto connector = korvex::hosts::connectorFromEnvironment(&error);
    if (!connector)
        qFatal("no host: %s", qPrintable(error));
    Korvex_M02::SetConnector(std::move(connector));

    Korvex_C01::CompactionHook = [](Korvex_C01::CompactStep step) {
        switch (step) {
        case Korvex_C01::CompactStep::StaleRemoved:
            phase("compact-started");
            break;
        case Korvex_C01::CompactStep::CopyWritten:
            phase("compact-copied");
            break;
        case Korvex_C01::CompactStep::BeforeReplace:
            phase("compact-replacing");
            break;
        }
    };
    phase("startup");
    return Korvex_M01::Main([&] {
        auto* main = new Korvex_F01;
        QTimer::singleShot(0, [&] {
            phase("search");
            auto* search = new Korvex_F02;
            runAll(*search, what, replacement, false);
            phase("replace");
            auto* replace = new Korvex_F03;
            runAll(*replace, what, replacement, true);
            phase("done");
            if (exitInLoop)
                std::exit(3);
            QApplication::quit();
        });
        return main;
    });
}
