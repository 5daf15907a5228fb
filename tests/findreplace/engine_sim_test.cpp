// The engine scenarios on the simulated host.

#include "engine_suite.h"
#include "sim_host.h"

#include <QApplication>

using namespace korvex;

namespace {

class SimWorld : public enginetest::EngineWorld {
public:
    std::shared_ptr<host::Connector> start(const QString& fixtureText) override {
        QString error;
        auto connector = sim::SimConnector::fromFixtureText(fixtureText, &error);
        if (!connector)
            qFatal("engine fixture does not parse: %s", qPrintable(error));
        m_host = connector->host();
        return connector;
    }
    void shutdown() override { m_host.reset(); }
    bool hookOperations(std::function<void(const QString&)> hook) override {
        if (m_host)
            m_host->beforeOperation = std::move(hook);
        return true;
    }
    bool setPaintsDuringCalls(bool paints) override {
        if (m_host)
            m_host->paintsDuringCalls = paints;
        return true;
    }

private:
    std::shared_ptr<sim::SimHost> m_host;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SimWorld world;
    return enginetest::runEngineSuite(world, argc, argv);
}
