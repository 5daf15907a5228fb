#include "private_office.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <csignal>

#include <sys/prctl.h>

namespace korvex::calc {

namespace {

QString officeBinary() {
    return officeProgramDir() + QStringLiteral("/soffice.bin");
}

// A test that crashes never runs its destructors: the office and the X server
// it started end with it all the same.
void dieWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

bool waitFor(const std::function<bool()>& ready, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (ready())
            return true;
        QThread::msleep(100);
    }
    return ready();
}

// True once every thread of the process has reached its stop: SIGSTOP is
// only requested by kill(), and a thread still running may answer one more
// call before it halts.
bool allThreadsStopped(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& id : ids) {
        QFile stat(tasks.filePath(id + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // the thread has ended
        const QByteArray line = stat.readAll();
        // The state follows the command name, which is in parentheses.
        const int close = line.lastIndexOf(')');
        if (close < 0 || close + 2 >= line.size())
            continue;
        const char state = line.at(close + 2);
        if (state != 'T' && state != 't' && state != 'Z' && state != 'X')
            return false;
    }
    return true;
}

} // namespace

PrivateOffice::PrivateOffice(const QString& tag)
    : m_pipe(QStringLiteral("korvex-%1-%2").arg(tag).arg(QCoreApplication::applicationPid())),
      m_profile(QDir::tempPath() + QStringLiteral("/korvex-office-XXXXXX")) {}

PrivateOffice::~PrivateOffice() {
    if (m_office) {
        thaw();
        m_office->kill();
        m_office->waitForFinished(5000);
    }
    if (m_xvfb) {
        m_xvfb->terminate();
        if (!m_xvfb->waitForFinished(3000))
            m_xvfb->kill();
    }
}

bool PrivateOffice::startDisplay(QString* error) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        // No private X server: use the caller's display, or none at all.
        m_display = qEnvironmentVariable("DISPLAY");
        return true;
    }
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int number = 200 + int((QCoreApplication::applicationPid() + attempt * 37) % 600);
        if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
            QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        auto xvfb = std::make_unique<QProcess>();
        xvfb->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dieWithParent(*xvfb);
        xvfb->start(QStringLiteral("Xvfb"),
                    {QStringLiteral(":%1").arg(number), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb->waitForStarted(5000))
            continue;
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        if (waitFor([&] { return QFileInfo::exists(socket) || xvfb->state() != QProcess::Running; },
                    10000) &&
            xvfb->state() == QProcess::Running) {
            m_display = QStringLiteral(":%1").arg(number);
            m_xvfb = std::move(xvfb);
            return true;
        }
        xvfb->kill();
        xvfb->waitForFinished(2000);
    }
    if (error)
        *error = QStringLiteral("could not start a private X server");
    return false;
}

bool PrivateOffice::start(QString* error, bool acceptPipe) {
    if (!m_profile.isValid()) {
        if (error)
            *error = QStringLiteral("no temporary folder for the office profile");
        return false;
    }
    if (m_display.isNull() && !m_xvfb && !startDisplay(error))
        return false;
    if (!writePrinterSetup(error))
        return false;
    auto env = QProcessEnvironment::systemEnvironment();
    QStringList args{QStringLiteral("-env:UserInstallation=") + profileUrl(),
                     QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                     QStringLiteral("--nodefault"), QStringLiteral("--nolockcheck")};
    if (acceptPipe)
        args << QStringLiteral("--accept=") + acceptString(m_pipe);
    if (m_display.isEmpty())
        args << QStringLiteral("--headless");
    else
        env.insert(QStringLiteral("DISPLAY"), m_display);
    // Dialogs and message boxes of a test office must never wait for a user.
    env.insert(QStringLiteral("SAL_USE_VCLPLUGIN"), QStringLiteral("gen"));
    // Its printers are the profile's own (writePrinterSetup), never the
    // machine's print server.
    env.insert(QStringLiteral("SAL_DISABLE_CUPS"), QStringLiteral("1"));
    // A fresh profile makes the office end with code 81 once and expect to
    // be started again (its launcher normally does that).
    auto probe = connector();
    int restarts = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_office = std::make_unique<QProcess>();
        m_office->setProcessEnvironment(env);
        dieWithParent(*m_office);
        m_office->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_office->setStandardOutputFile(QProcess::nullDevice());
        m_office->start(officeBinary(), args);
        if (!m_office->waitForStarted(10000)) {
            if (error)
                *error = QStringLiteral("could not start %1").arg(officeBinary());
            return false;
        }
        waitFor([&] { return !running() || probe->attach() != nullptr; }, 90000);
        if (running())
            break;
        if (m_office->exitCode() != 81) {
            if (error)
                *error = QStringLiteral("the office ended with code %1").arg(m_office->exitCode());
            return false;
        }
        ++restarts;
    }
    // Right after an office on the same profile was killed, the first answer
    // can come from a connection that is still being torn down.
    if (running() && !waitFor([&] { return probe->attach() != nullptr; }, 30000)) {
        if (error)
            *error = QStringLiteral("the office runs but did not answer on pipe %1").arg(m_pipe);
        return false;
    }
    if (!running()) {
        if (error)
            *error = QStringLiteral("the office asked for %1 restarts and did not stay up")
                         .arg(restarts);
        return false;
    }
    return true;
}

void PrivateOffice::kill() {
    if (!m_office)
        return;
    thaw();
    m_office->kill();
    m_office->waitForFinished(10000);
}

void PrivateOffice::freeze() {
    if (!running())
        return;
    const qint64 pid = m_office->processId();
    ::kill(pid_t(pid), SIGSTOP);
    waitFor([pid] { return allThreadsStopped(pid); }, 5000);
}

void PrivateOffice::thaw() {
    if (running())
        ::kill(pid_t(m_office->processId()), SIGCONT);
}

bool PrivateOffice::running() const {
    if (!m_office)
        return false;
    // Without an event loop QProcess learns of the end only when asked.
    if (m_office->state() == QProcess::Running)
        m_office->waitForFinished(0);
    return m_office->state() == QProcess::Running;
}

qint64 PrivateOffice::processId() const {
    return running() ? m_office->processId() : 0;
}

QString PrivateOffice::printFolder() const {
    return m_profile.filePath(QStringLiteral("printed"));
}

QStringList PrivateOffice::printedJobs() const {
    QStringList jobs;
    const QDir folder(printFolder());
    for (const QFileInfo& job : folder.entryInfoList({QStringLiteral("job-*.pdf")}, QDir::Files,
                                                     QDir::Time | QDir::Reversed))
        jobs << job.filePath();
    return jobs;
}

// A printer of the profile's own, made the default: it takes the PDF the
// office prints and keeps each job as a file in printFolder(). The office
// reads the profile's psprint.conf after the system's, so its entries win.
bool PrivateOffice::writePrinterSetup(QString* error) const {
    const QString folder = m_profile.filePath(QStringLiteral("user/psprint"));
    QFile conf(folder + QStringLiteral("/psprint.conf"));
    if (!QDir().mkpath(folder) || !QDir().mkpath(printFolder()) ||
        !conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("cannot set up the office's printer in %1").arg(folder);
        return false;
    }
    // The shell's process id names the job: one file per job.
    conf.write(QStringLiteral("[Korvex Test Printer]\n"
                              "Printer=SGENPRT/Korvex Test Printer\n"
                              "DefaultPrinter=1\n"
                              "Location=\n"
                              "Comment=\n"
                              "Command=cat > \"%1/job-$$.pdf.part\" && "
                              "mv \"%1/job-$$.pdf.part\" \"%1/job-$$.pdf\"\n")
                   .arg(printFolder())
                   .toUtf8());
    return conf.error() == QFileDevice::NoError;
}

QString PrivateOffice::profileUrl() const {
    return QUrl::fromLocalFile(m_profile.path()).toString(QUrl::FullyEncoded);
}

OfficeOptions PrivateOffice::options() const {
    OfficeOptions o;
    o.pipeName = m_pipe;
    o.userInstallation = profileUrl();
    o.callTimeoutMs = 15000;
    return o;
}

} // namespace korvex::calc
