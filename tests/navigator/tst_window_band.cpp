// The main window's always-in-front band as users see it: on an X server of
// its own with a real window manager (openbox), the window stays one native
// window (no unmapping, no flicker) while the band is switched and while a
// modal dialog is open, and the window manager stacks it as asked.

#include "navigator_env.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

using navtest::Env;

namespace {

// An Xvfb with openbox, ended with the test (or with its process, should the
// test die).
class XSession {
public:
    ~XSession() {
        for (pid_t pid : {m_wm, m_server}) {
            if (pid > 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    }

    // Sets DISPLAY to the new server; false when Xvfb or openbox is missing.
    bool start() {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        m_server = spawn([&] {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
        });
        close(fds[1]);
        std::string number;
        pollfd readable{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&readable, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty())
            return false;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        m_wm = spawn([] { execlp("openbox", "openbox", static_cast<char*>(nullptr)); });
        return m_wm > 0;
    }

private:
    template <typename Exec> static pid_t spawn(Exec exec) {
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = ::open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            exec();
            _exit(127);
        }
        return pid;
    }

    pid_t m_server = -1;
    pid_t m_wm = -1;
};

bool g_xReady = false;

QString xprop(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xprop"), args);
    p.waitForFinished(5000);
    return QString::fromLatin1(p.readAllStandardOutput());
}

bool keptAbove(WId window) {
    return xprop({QStringLiteral("-id"), QString::number(window), QStringLiteral("_NET_WM_STATE")})
        .contains(QLatin1String("_NET_WM_STATE_ABOVE"));
}

// The window manager's stacking order, bottom first.
QList<WId> stacking() {
    QList<WId> order;
    static const QRegularExpression id(QStringLiteral("0x[0-9a-f]+"));
    const QString text =
        xprop({QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    for (const auto& m : id.globalMatch(text))
        order << m.captured().toULongLong(nullptr, 16);
    return order;
}

bool stackedAbove(WId upper, WId lower) {
    const QList<WId> order = stacking();
    return order.contains(upper) && order.contains(lower) &&
           order.indexOf(upper) > order.indexOf(lower);
}

// Waits, letting events through, until the condition holds; false after 10 s
// (the machine may be busy).
template <typename Condition> bool eventually(Condition condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 10000)
            return false;
        QTest::qWait(50);
    }
    return true;
}

} // namespace

class WindowBandTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!g_xReady || QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
            QSKIP("needs Xvfb, openbox and xprop");
        QVERIFY(eventually([] {
            return xprop({QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains(QLatin1String("window id"));
        }));
        // The window manager announces itself before it is done starting; a
        // window it takes on shows it is ready (a window mapped before that
        // may never be managed).
        bool managed = false;
        for (int attempt = 0; attempt < 3 && !managed; ++attempt) {
            QWidget probe;
            probe.show();
            const WId id = probe.winId();
            managed = eventually([id] { return stacking().contains(id); });
        }
        QVERIFY(managed);
    }

    void keepInFrontKeepsOneWindow() {
        Env env;
        env.host(QStringLiteral("[book a.xlsx]\n[sheet S]\n"));
        Korvex_F01 f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f, 15000));
        QWidget other;
        other.setWindowTitle(QStringLiteral("another program"));
        other.setGeometry(f.geometry().translated(30, 30));
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other, 15000));
        const WId id = f.winId();
        const WId otherId = other.winId();
        other.raise();
        QVERIFY(eventually([&] { return stackedAbove(otherId, id); }));

        auto* onTop = f.findChild<QAction*>(QStringLiteral("OM_Activate"));
        onTop->trigger();
        QVERIFY(eventually([&] { return keptAbove(id) && stackedAbove(id, otherId); }));
        // Another window coming forward stays below.
        other.raise();
        other.activateWindow();
        QTest::qWait(300);
        QVERIFY(stackedAbove(id, otherId));

        // While a modal dialog is open the main window leaves the band, then
        // comes back to it.
        bool leftDuringDialog = false;
        env.ui.onDialog = [&](QDialog&) {
            leftDuringDialog = eventually([&] { return !keptAbove(id); });
            return 0;
        };
        f.findChild<QAction*>(QStringLiteral("OM_Version"))->trigger();
        QVERIFY(leftDuringDialog);
        QVERIFY(eventually([&] { return keptAbove(id) && stackedAbove(id, otherId); }));

        onTop->trigger();
        QVERIFY(eventually([&] { return !keptAbove(id); }));
        // One native window all along: never unmapped and re-created.
        QCOMPARE(f.winId(), id);
        QVERIFY(stacking().contains(id));
    }
};

int main(int argc, char** argv) {
    XSession x;
    g_xReady = x.start();
    qputenv("QT_QPA_PLATFORM", g_xReady ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    WindowBandTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_band.moc"
