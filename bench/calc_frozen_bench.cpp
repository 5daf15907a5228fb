// How soon a user action hears "no host" from a LibreOffice that stopped
// answering (stopped, not killed), and how soon the next one attaches again
// once it runs. The first check waits out the check's deadline; every check
// after it, while the given-up call has not come back, should answer at once
// (one may wait out a new connection's handshake). Prints the answer times
// and the calls left in the frozen office; asserts nothing.

#include "calc_fixtures.h"
#include "calc_model.h"
#include "private_office.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

using namespace korvex;

namespace {

constexpr int Checks = 10;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    calc::PrivateOffice office(QStringLiteral("frozen-bench"));
    QString error;
    if (!office.start(&error)) {
        std::fprintf(stderr, "cannot start LibreOffice: %s\n", qPrintable(error));
        return 1;
    }
    auto options = office.options();
    options.callTimeoutMs = 15000;
    const auto connector = calc::makeConnector(options);
    auto app = connector->attach();
    if (!app) {
        std::fprintf(stderr, "cannot attach to LibreOffice\n");
        return 1;
    }
    QString parseError;
    calc::loadFixture(
        app, *sim::parseFixture(QStringLiteral("[book b.xlsx]\n[sheet s]\n"), &parseError));
    app.reset();
    QElapsedTimer clock;
    clock.start();
    connector->attach();
    const qint64 liveMs = clock.elapsed();

    office.freeze();
    std::printf("check of a live office: %lld ms\n", (long long)liveMs);
    std::printf("checks of a frozen office (call deadline %d ms):\n", options.callTimeoutMs);
    int answered = 0;
    for (int i = 0; i < Checks; ++i) {
        clock.restart();
        const bool attached = connector->attach() != nullptr;
        answered += attached ? 0 : 1;
        std::printf("  %2d: %6lld ms, %s, calls left in the office: %d\n", i + 1,
                    (long long)clock.elapsed(), attached ? "attached" : "no host",
                    calc::callsUnderWay());
    }
    office.thaw();
    clock.restart();
    host::ApplicationPtr again;
    while (!again && clock.elapsed() < 60000) {
        again = connector->attach();
        if (!again)
            QThread::msleep(50);
    }
    std::printf("attached again %lld ms after the office runs again\n", (long long)clock.elapsed());
    return answered == Checks && again ? 0 : 2;
}
