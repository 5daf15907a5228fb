#include "calc_connector.h"

#include "calc_model.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <mutex>

namespace korvex::calc {

using host::HostError;

QString acceptString(const QString& pipeName) {
    return QStringLiteral("pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName);
}

QString officeProgramDir() {
    const QString path = qEnvironmentVariable("UNO_PATH");
    return path.isEmpty() ? QStringLiteral(KORVEX_LO_PROGRAM_DIR) : path;
}

OfficeOptions defaultOfficeOptions() {
    OfficeOptions o;
    o.pipeName = qEnvironmentVariable("KORVEX_UNO_PIPE", QStringLiteral("korvex"));
    bool ok = false;
    const int timeout = qEnvironmentVariableIntValue("KORVEX_UNO_TIMEOUT_MS", &ok);
    if (ok && timeout > 0)
        o.callTimeoutMs = timeout;
    return o;
}

namespace {

class CalcConnector : public host::Connector {
public:
    explicit CalcConnector(OfficeOptions options) : m_options(std::move(options)) {
        if (m_options.pipeName.isEmpty())
            m_options.pipeName = defaultOfficeOptions().pipeName;
        if (m_options.program.isEmpty())
            m_options.program = officeProgramDir() + QStringLiteral("/soffice");
    }

    host::ApplicationPtr attach() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A known connection is kept while the office answers; a dead or
        // silent one is replaced by a fresh connection to whatever office
        // listens on the pipe now (the user may have restarted it).
        if (m_app && m_app->session()->alive() &&
            m_app->session()->ping(
                std::chrono::milliseconds(std::min(m_options.callTimeoutMs, 5000))))
            return m_app;
        if (m_app && m_app->session()->alive())
            m_app->session()->drop(QStringLiteral("LibreOffice stopped answering"));
        m_app.reset();
        try {
            auto session = Session::open(m_options.pipeName,
                                         std::chrono::milliseconds(m_options.callTimeoutMs));
            m_app = std::make_shared<CalcApplication>(session);
        } catch (const HostError& e) {
            if (qEnvironmentVariableIsSet("KORVEX_UNO_DEBUG"))
                qWarning("attach: %s", qPrintable(e.message()));
            return nullptr;
        }
        return m_app;
    }

    host::ApplicationPtr start() override {
        if (auto app = attach())
            return app;
        QStringList args{QStringLiteral("--accept=") + acceptString(m_options.pipeName),
                         QStringLiteral("--norestore"), QStringLiteral("--nologo")};
        args += m_options.extraArguments;
        // Detached: the office belongs to the user and outlives Korvex.
        if (!QProcess::startDetached(m_options.program, args))
            return nullptr;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < m_options.startTimeoutMs) {
            QThread::msleep(250);
            if (auto app = attach())
                return app;
        }
        return nullptr;
    }

private:
    OfficeOptions m_options;
    std::mutex m_mutex;
    std::shared_ptr<CalcApplication> m_app;
};

} // namespace

std::shared_ptr<host::Connector> makeConnector() {
    return std::make_shared<CalcConnector>(defaultOfficeOptions());
}

std::shared_ptr<host::Connector> makeConnector(const OfficeOptions& options) {
    return std::make_shared<CalcConnector>(options);
}

} // namespace korvex::calc
