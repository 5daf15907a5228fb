// The host contract on the simulated host.

#include "contract_world.h"
#include "sim_host.h"
#include "sim_setup.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

using namespace korvex;

namespace {

class SimWorld : public contract::ContractWorld {
public:
    host::ApplicationPtr start(const QString& fixtureText) override {
        m_host = test::simHost(fixtureText);
        return m_host->application();
    }
    void shutdown() override { m_host.reset(); }

    QPair<QVariant, QVariant> fitToPages(const QString& book, const QString& sheet) override {
        const auto s = m_host->findSheet(book, sheet);
        if (!s)
            return {};
        return {s->fitToPagesWide, s->fitToPagesTall};
    }

    QString writeWorkbookFile(const QString& folder, const QString& fileName,
                              const QString& sheetsText) override {
        const QString path = QDir(folder).filePath(fileName);
        test::writeFile(path, sheetsText.toUtf8());
        return path;
    }

    bool scriptDialogs(std::function<bool(host::Dialog, host::Application&)> script) override {
        m_host->dialogScript = std::move(script);
        return true;
    }

private:
    std::shared_ptr<sim::SimHost> m_host;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SimWorld world;
    return contract::runContract(world, argc, argv);
}
