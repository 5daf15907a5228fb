#include "calc_connector.h"

#include "calc_model.h"
#include "responsive_wait.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QElapsedTimer>
#include <QProcess>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include <unistd.h>

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

// How long the check before each action waits for the office to answer.
constexpr int PingDeadlineMs = 5000;

// An office of this user running with the wanted profile, found among the
// processes: its process id and the profile argument it was started with.
struct RunningOffice {
    qint64 pid = 0;
    QString profileArgument; // empty: the user's default profile
    qint64 ageMs = 0;
};

std::optional<RunningOffice> findUserOffice(const QString& userInstallation) {
    const QString wanted = userInstallation.isEmpty()
                               ? QString()
                               : QStringLiteral("-env:UserInstallation=") + userInstallation;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QFileInfo dir(proc.filePath(entry));
        if (dir.ownerId() != ::getuid())
            continue;
        QFile comm(dir.filePath() + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "soffice.bin")
            continue;
        QFile cmdline(dir.filePath() + QStringLiteral("/cmdline"));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        QString profile;
        for (const QByteArray& arg : cmdline.readAll().split('\0'))
            if (arg.startsWith("-env:UserInstallation="))
                profile = QString::fromLocal8Bit(arg);
        if (profile != wanted)
            continue;
        RunningOffice office;
        office.pid = pid;
        office.profileArgument = profile;
        office.ageMs = dir.lastModified().msecsTo(QDateTime::currentDateTime());
        return office;
    }
    return std::nullopt;
}

// The live connection to the office on each pipe, shared by every connector
// of the process. The office hands out the same object ids on every
// connection, and the local UNO runtime maps an id to the one proxy it
// already holds: a second connection to the same office would be handed the
// first one's objects, which die with the first connection.
class SharedConnections {
public:
    std::shared_ptr<CalcApplication> live(const QString& pipe) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_apps.find(pipe);
        if (it == m_apps.end())
            return nullptr;
        auto app = it->second.lock();
        if (!app || !app->session()->alive()) {
            m_apps.erase(it);
            return nullptr;
        }
        return app;
    }
    void add(const QString& pipe, const std::shared_ptr<CalcApplication>& app) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_apps[pipe] = app;
    }

private:
    std::mutex m_mutex;
    std::map<QString, std::weak_ptr<CalcApplication>> m_apps;
};

SharedConnections& sharedConnections() {
    static SharedConnections connections;
    return connections;
}

class CalcConnector : public host::Connector {
public:
    explicit CalcConnector(OfficeOptions options) : m_options(std::move(options)) {
        if (m_options.pipeName.isEmpty())
            m_options.pipeName = defaultOfficeOptions().pipeName;
        if (m_options.program.isEmpty())
            m_options.program = officeProgramDir() + QStringLiteral("/soffice");
    }

    // unopkg of the office Korvex starts, adding to the profile that office
    // runs with (a private one where the options name it).
    QStringList extensionInstaller() const override {
        QStringList command{officeProgramDir() + QStringLiteral("/unopkg"), QStringLiteral("add"),
                            QStringLiteral("--force"), QStringLiteral("--suppress-license")};
        if (!m_options.userInstallation.isEmpty())
            command << QStringLiteral("-env:UserInstallation=") + m_options.userInstallation;
        return command;
    }

    host::ApplicationPtr attach() override {
        std::unique_lock<std::mutex> lock(m_mutex);
        // A check pings the office, and the ping's wait keeps Korvex's
        // windows painting and its timers running: an attach from a timer may
        // come in while another waits, on this thread or on another. So the
        // state is read and published under the lock, which is never held
        // while the office is waited for, and one check runs at a time: a
        // second ping now would find the first under way and take a live
        // office for a silent one.
        if (m_checking) {
            // The check under way on this very thread cannot be waited for:
            // the connection last known is the answer. Another thread waits
            // for the check's answer.
            if (m_checkingThread != std::this_thread::get_id())
                m_checked.wait(lock, [this] { return !m_checking; });
            return m_app && m_app->session()->alive() ? m_app : nullptr;
        }
        // A connection given up on a frozen office leaves its one stuck call
        // behind. Until that call comes back the office has not come back
        // either: the answer is "no host", at once, and no second stuck call
        // is started.
        if (m_stuck && m_stuck->inFlight.load() > 0)
            return nullptr;
        m_stuck.reset();
        m_checking = true;
        m_checkingThread = std::this_thread::get_id();
        Connection found{m_app, nullptr};
        lock.unlock();
        // Published however the check ends.
        struct Publish {
            CalcConnector& self;
            const Connection& found;
            ~Publish() {
                {
                    std::lock_guard<std::mutex> relock(self.m_mutex);
                    self.m_app = found.app;
                    self.m_stuck = found.stuck;
                    self.m_checking = false;
                }
                self.m_checked.notify_all();
            }
        } publish{*this, found};
        return check(found);
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
            pauseResponsively(std::chrono::milliseconds(250));
            if (auto app = attach())
                return app;
        }
        return nullptr;
    }

private:
    // What a check found: the connection, or the state of one whose call is
    // stuck in a frozen office.
    struct Connection {
        std::shared_ptr<CalcApplication> app;
        std::shared_ptr<const SessionState> stuck;
    };

    // Runs without the lock: only the one check under way touches `found`.
    host::ApplicationPtr check(Connection& found) {
        // A known connection is kept while the office answers; a dead or
        // silent one is replaced by a fresh connection to whatever office
        // listens on the pipe now (the user may have restarted it). The ping
        // gives an office busy with a long recalculation, or a loaded
        // machine, a few seconds before the connection is given up: dropping
        // a live office costs the user the connection, while a frozen one is
        // found only once and then answered "no host" at once by attach().
        if (found.app && found.app->session()->alive() &&
            found.app->session()->ping(
                std::chrono::milliseconds(std::min(m_options.callTimeoutMs, PingDeadlineMs))))
            return found.app;
        if (found.app) {
            if (found.app->session()->alive())
                found.app->session()->drop(QStringLiteral("LibreOffice stopped answering"));
            const auto state = found.app->session()->state();
            found.app.reset();
            if (state->inFlight.load() > 0) {
                found.stuck = state;
                return nullptr;
            }
        }
        bool nothingListens = false;
        if (auto app = open(found, &nothingListens))
            return app;
        if (nothingListens && handPipeToRunningOffice(found))
            return found.app;
        return nullptr;
    }

    // Another connector's live connection to the office, else a fresh one;
    // null when there is none (found.stuck set when its handshake is stuck).
    host::ApplicationPtr open(Connection& found, bool* nothingListens) {
        if ((found.app = sharedConnections().live(m_options.pipeName)))
            return found.app;
        std::shared_ptr<const SessionState> state;
        try {
            auto session = Session::open(
                m_options.pipeName,
                std::chrono::milliseconds(std::min(m_options.callTimeoutMs, 3000)),
                std::chrono::milliseconds(m_options.callTimeoutMs), &state, nothingListens);
            found.app = std::make_shared<CalcApplication>(session);
            sharedConnections().add(m_options.pipeName, found.app);
            return found.app;
        } catch (const HostError& e) {
            if (qEnvironmentVariableIsSet("KORVEX_UNO_DEBUG"))
                qWarning("attach: %s", qPrintable(e.message()));
            if (state && state->inFlight.load() > 0)
                found.stuck = state;
            return nullptr;
        }
    }

    // Nothing listens on the pipe, but an office of this user may run
    // without it. Handed a second time, `--accept` reaches the running
    // office (the office passes a second start's arguments to the one that
    // runs), which then listens on the pipe too: no profile is edited and no
    // process is left behind. Each office is asked once.
    bool handPipeToRunningOffice(Connection& found) {
        const auto office = findUserOffice(m_options.userInstallation);
        // One that has only just started may not take arguments yet; a
        // second start then would become an office of its own.
        if (!office || office->ageMs < 5000 || m_handedTo.count(office->pid))
            return false;
        m_handedTo.insert(office->pid);
        QStringList args{QStringLiteral("--accept=") + acceptString(m_options.pipeName)};
        if (!office->profileArgument.isEmpty())
            args.prepend(office->profileArgument);
        if (!QProcess::startDetached(m_options.program, args))
            return false;
        QElapsedTimer clock;
        clock.start();
        bool nothingListens = true;
        while (clock.elapsed() < 10000 && nothingListens) {
            pauseResponsively(std::chrono::milliseconds(200));
            if (open(found, &nothingListens))
                return true;
        }
        return false;
    }

    OfficeOptions m_options;
    // Guards the state below (m_handedTo aside); held only to read or
    // publish it, never while the office is waited for.
    std::mutex m_mutex;
    std::condition_variable m_checked; // a check has ended
    bool m_checking = false;
    std::thread::id m_checkingThread;
    std::shared_ptr<CalcApplication> m_app;
    std::shared_ptr<const SessionState> m_stuck;
    std::set<qint64> m_handedTo; // touched by the check under way alone
};

} // namespace

std::shared_ptr<host::Connector> makeConnector() {
    return std::make_shared<CalcConnector>(defaultOfficeOptions());
}

std::shared_ptr<host::Connector> makeConnector(const OfficeOptions& options) {
    return std::make_shared<CalcConnector>(options);
}

} // namespace korvex::calc
