#include "host_selection.h"

#include "sim_host.h"

#if KORVEX_HAVE_CALC
#include "calc_connector.h"
#endif

namespace korvex::hosts {

namespace {
void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}
} // namespace

std::shared_ptr<host::Connector> connectorFor(const QString& choice, QString* error) {
    const QString trimmed = choice.trimmed();
    if (trimmed.isEmpty() || trimmed.compare(QLatin1String("calc"), Qt::CaseInsensitive) == 0) {
#if KORVEX_HAVE_CALC
        return calc::makeConnector();
#else
        setError(error, QStringLiteral("LibreOffice host not available in this build"));
        return nullptr;
#endif
    }
    if (trimmed.compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0)
        return std::make_shared<sim::SimConnector>(sim::SimHost::create());
    if (trimmed.startsWith(QLatin1String("sim:"), Qt::CaseInsensitive)) {
        const QString path = trimmed.mid(4);
        if (path.isEmpty())
            return std::make_shared<sim::SimConnector>(sim::SimHost::create());
        QString why;
        auto connector = sim::SimConnector::fromFixtureFile(path, &why);
        if (!connector) {
            setError(error, QStringLiteral("KORVEX_HOST: %1").arg(why));
            return nullptr;
        }
        return connector;
    }
    setError(error,
             QStringLiteral("KORVEX_HOST: unknown host '%1' (use calc, sim or sim:<fixture file>)")
                 .arg(trimmed));
    return nullptr;
}

std::shared_ptr<host::Connector> connectorFromEnvironment(QString* error) {
    return connectorFor(qEnvironmentVariable("KORVEX_HOST"), error);
}

} // namespace korvex::hosts
