// The engine scenarios on a real LibreOffice Calc: one private office for the
// whole run, fresh documents built from fixture text for each case.

#include "calc_fixtures.h"
#include "engine_suite.h"
#include "private_office.h"

#include <QApplication>

using namespace korvex;

namespace {

class CalcWorld : public enginetest::EngineWorld {
public:
    explicit CalcWorld(calc::PrivateOffice& office) : m_connector(office.connector()) {}

    std::shared_ptr<host::Connector> start(const QString& fixtureText) override {
        QString error;
        const auto fixture = sim::parseFixture(fixtureText, &error);
        if (!fixture)
            qFatal("engine fixture does not parse: %s", qPrintable(error));
        m_app = m_connector->attach();
        if (!m_app)
            qFatal("the office does not answer");
        calc::closeAllDocuments(m_app);
        calc::loadFixture(m_app, *fixture);
        return m_connector;
    }

    void shutdown() override {
        if (m_app)
            calc::closeAllDocuments(m_app);
        m_app.reset();
    }

private:
    std::shared_ptr<host::Connector> m_connector;
    host::ApplicationPtr m_app;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    calc::PrivateOffice office(QStringLiteral("engines"));
    QString error;
    if (!office.start(&error))
        qFatal("cannot start LibreOffice: %s", qPrintable(error));
    CalcWorld world(office);
    return enginetest::runEngineSuite(world, argc, argv);
}
