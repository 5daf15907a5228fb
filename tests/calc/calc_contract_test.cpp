// The host contract on a real LibreOffice Calc: one private office for the
// whole run, a fresh set of documents built from fixture text for each case.

#include "calc_fixtures.h"
#include "contract_world.h"
#include "office_dialogs.h"
#include "private_office.h"

#include <QCoreApplication>
#include <QDir>

using namespace korvex;

namespace {

class CalcWorld : public contract::ContractWorld {
public:
    explicit CalcWorld(calc::PrivateOffice& office) : m_connector(office.connector()) {}

    host::ApplicationPtr start(const QString& fixtureText) override {
        QString error;
        const auto fixture = sim::parseFixture(fixtureText, &error);
        if (!fixture)
            qFatal("contract fixture does not parse: %s", qPrintable(error));
        m_app = m_connector->attach();
        if (!m_app)
            qFatal("the office does not answer");
        calc::closeAllDocuments(m_app);
        calc::loadFixture(m_app, *fixture);
        return m_app;
    }

    void shutdown() override {
        m_dialogs.reset();
        if (m_app)
            calc::closeAllDocuments(m_app);
        m_app.reset();
    }

    QPair<QVariant, QVariant> fitToPages(const QString& book, const QString& sheet) override {
        return calc::fitToPages(m_app, book, sheet);
    }

    QString writeWorkbookFile(const QString& folder, const QString& fileName,
                              const QString& sheetsText) override {
        QString error;
        const auto fixture = sim::parseFixture(sheetsText, &error, QString(), fileName);
        if (!fixture)
            qFatal("workbook fixture does not parse: %s", qPrintable(error));
        const QString path = QDir(folder).filePath(fileName);
        calc::writeWorkbookFile(m_app, path, *fixture);
        return path;
    }

    std::optional<int> headerFooterFields(const QString& book, const QString& sheet,
                                          host::PageProperty part) override {
        return calc::headerFooterFields(m_app, book, sheet, part);
    }

    bool scriptDialogs(std::function<bool(host::Dialog, host::Application&)> script) override {
        // The office's dialogs cannot report OK or Cancel: whatever the
        // script answers, the dialog is closed once the script is done.
        m_dialogs = std::make_unique<calc::OfficeDialogScript>(
            m_app, [script, app = m_app](host::Dialog dialog) { script(dialog, *app); });
        return true;
    }

private:
    std::unique_ptr<calc::OfficeDialogScript> m_dialogs;
    std::shared_ptr<host::Connector> m_connector;
    host::ApplicationPtr m_app;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    calc::PrivateOffice office(QStringLiteral("contract"));
    QString error;
    if (!office.start(&error))
        qFatal("cannot start LibreOffice: %s", qPrintable(error));
    CalcWorld world(office);
    return contract::runContract(world, argc, argv);
}
