#pragma once
// Set-up shared by the tests that drive the simulated host: hosts and
// connectors from fixture text, and files written for a test to open. A
// fixture that does not parse stops the test program, since every test
// after it would fail for the same reason.

#include "sim_host.h"
#include "test_files.h"

#include <QString>

#include <memory>

namespace korvex::test {

inline QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

inline std::shared_ptr<sim::SimHost> simHost(const QString& fixtureText) {
    QString error;
    const auto fixture = sim::parseFixture(fixtureText, &error);
    if (!fixture)
        qFatal("fixture does not parse: %s", qPrintable(error));
    return sim::SimHost::fromFixture(*fixture);
}

inline std::shared_ptr<sim::SimConnector> simConnector(const QString& fixtureText) {
    QString error;
    auto connector = sim::SimConnector::fromFixtureText(fixtureText, &error);
    if (!connector)
        qFatal("fixture does not load: %s", qPrintable(error));
    return connector;
}

} // namespace korvex::test
