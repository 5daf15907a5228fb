// Which window ends up in front when Korvex drives Calc: the office and a
// stand-in for Korvex's main window share one private X server run by a
// real window manager, which keeps the stacking order and the focus.

#include "calc_fixtures.h"
#include "host_helpers.h"
#include "office_dialogs.h"
#include "private_office.h"
#include "window_stacking.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/prctl.h>

#include <csignal>

using namespace korvex;

namespace {

const char* const TwoBooks = R"(
[book 一.xlsx]
[sheet 表]
A1 = 一
[sheet 裏]
[book 二.xlsx]
[sheet 表]
A1 = 二
)";

// Book names the window titles show without any escaping.
const char* const LeftAndRight = R"(
[book left.xlsx]
[sheet One]
A1 = 1
[book right.xlsx]
[sheet One]
A1 = 2
)";

// The window manager's word on one root property holding window ids.
QList<qulonglong> rootWindows(const char* property) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QString::fromLatin1(property)});
    xprop.waitForFinished(5000);
    QList<qulonglong> ids;
    const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
    const int hash = out.indexOf(u'#');
    if (hash < 0)
        return ids;
    for (const QString& part : out.mid(hash + 1).split(u',', Qt::SkipEmptyParts))
        ids.append(part.trimmed().toULongLong(nullptr, 16));
    return ids;
}

QString windowTitle(qulonglong id) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(id),
                                          QStringLiteral("-notype"), QStringLiteral("WM_NAME")});
    xprop.waitForFinished(5000);
    return QString::fromLatin1(xprop.readAllStandardOutput()).trimmed();
}

// Position from the bottom of the first managed window whose title holds
// `text`; -1 when there is none.
int stackingPosition(const QString& text) {
    const auto stacking = rootWindows("_NET_CLIENT_LIST_STACKING");
    for (int i = 0; i < stacking.size(); ++i) {
        if (windowTitle(stacking[i]).contains(text))
            return i;
    }
    return -1;
}

qulonglong activeWindow() {
    const auto ids = rootWindows("_NET_ACTIVE_WINDOW");
    return ids.isEmpty() ? 0 : ids.first();
}

// True when `id` is the top-most managed window.
bool onTop(qulonglong id) {
    const auto stacking = rootWindows("_NET_CLIENT_LIST_STACKING");
    return !stacking.isEmpty() && stacking.last() == id;
}

// Shows `window` as Korvex's window, on top and active as the user left it;
// 0 when the window manager did not make it so.
qulonglong putOnTop(QWidget& window) {
    window.resize(400, 300);
    window.show();
    window.raise();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return 0;
    const qulonglong id = window.winId();
    const QDeadlineTimer deadline(5000);
    while (!(onTop(id) && activeWindow() == id)) {
        if (deadline.hasExpired())
            return 0;
        QTest::qWait(50);
    }
    return id;
}

// Korvex's window as far as waiting goes: it counts what reaches it.
class CountingWindow : public QLabel {
public:
    CountingWindow() : QLabel(QStringLiteral("Korvex")) {}
    int paints = 0;
    int keys = 0;

protected:
    void paintEvent(QPaintEvent* e) override {
        ++paints;
        QLabel::paintEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        ++keys;
        QLabel::keyPressEvent(e);
    }
};

host::ApplicationPtr loadTwoBooks(host::Connector& connector, const char* books = TwoBooks) {
    const auto app = connector.attach();
    if (!app)
        return nullptr;
    calc::closeAllDocuments(app);
    QString error;
    const auto fixture = sim::parseFixture(QString::fromUtf8(books), &error);
    if (!fixture)
        qFatal("fixture does not parse: %s", qPrintable(error));
    calc::loadFixture(app, *fixture);
    return app;
}

} // namespace

class CalcWindowTest : public QObject {
    Q_OBJECT
public:
    explicit CalcWindowTest(calc::PrivateOffice& office) : m_connector(office.connector()) {}

private:
    std::shared_ptr<host::Connector> m_connector;

private slots:
    // Activating a book, a sheet or a cell changes what Calc shows and leaves
    // Korvex in front with the focus; showing the office raises it.
    void activation_leavesKorvexInFront() {
        const auto connector = m_connector;
        const auto app = loadTwoBooks(*connector);
        QVERIFY(app);
        Korvex_M02::SetConnector(connector);
        QVERIFY(Korvex_M02::AttachExcel());
        app->bringToFront();

        QLabel korvex(QStringLiteral("Korvex"));
        const qulonglong id = putOnTop(korvex);
        QVERIFY2(id, "Korvex's window did not come on top with the focus");

        const QString one = QString::fromUtf8("一.xlsx");
        const QString two = QString::fromUtf8("二.xlsx");
        const QString back = QString::fromUtf8("裏");
        const QString front = QString::fromUtf8("表");
        const auto other = app->activeWorkbook()->name() == one ? two : one;
        app->workbook(other)->activate();
        Korvex_M02::GoToPos({one, back, 3, 2});
        app->workbook(one)->sheet(front)->activate();
        app->workbook(one)->worksheet(front)->range("B2")->select();
        QCOMPARE(app->activeWorkbook()->name(), one);
        QCOMPARE(app->activeCell()->address(), QString("$B$2"));
        // Give the window manager time to act on anything the office asked.
        QTest::qWait(1000);
        QVERIFY2(onTop(id), "the office was raised above Korvex");
        QVERIFY2(activeWindow() == id, "the office took the focus");

        Korvex_M02::ActivateExcel();
        QTRY_VERIFY_WITH_TIMEOUT(!onTop(id) && activeWindow() != id, 5000);
        Korvex_M02::SetConnector(nullptr);
    }

    // A book Korvex activates comes out from under the office's other window,
    // but only as far as directly behind Korvex, which keeps the focus.
    void activatedBook_comesForwardBehindKorvex() {
        const auto connector = m_connector;
        const auto app = loadTwoBooks(*connector, LeftAndRight);
        QVERIFY(app);
        Korvex_M02::SetConnector(connector);
        QVERIFY(Korvex_M02::AttachExcel());
        korvex::installBookWindowStacking();
        const QString left = QStringLiteral("left.xlsx");
        const QString right = QStringLiteral("right.xlsx");
        // Right covers left: each is brought forward in turn once the window
        // manager has shown the one before.
        for (const auto& [book, other] : {std::pair(left, right), std::pair(right, left)}) {
            app->workbook(book)->activate();
            app->bringToFront();
            QTRY_VERIFY_WITH_TIMEOUT(stackingPosition(book) > stackingPosition(other), 5000);
        }

        // Korvex's main window, then the window in use above it.
        QLabel navigator(QStringLiteral("Korvex main"));
        const qulonglong navigatorId = putOnTop(navigator);
        QVERIFY2(navigatorId, "Korvex's main window did not come on top");
        QLabel korvex(QStringLiteral("Korvex"));
        const qulonglong id = putOnTop(korvex);
        QVERIFY2(id, "Korvex's window did not come on top with the focus");

        Korvex_M02::GoToPos({left, QStringLiteral("One"), 2, 3});
        QCOMPARE(app->activeWorkbook()->name(), left);
        QCOMPARE(app->activeCell()->address(), QString("$C$2"));
        QTRY_VERIFY2_WITH_TIMEOUT(stackingPosition(left) > stackingPosition(right),
                                  "the chosen book stayed under the other one", 5000);
        // Both of Korvex's windows stay above the book, in their own order.
        const auto stacking = rootWindows("_NET_CLIENT_LIST_STACKING");
        QCOMPARE(int(stacking.indexOf(navigatorId)), int(stacking.size()) - 2);
        QCOMPARE(stackingPosition(left), int(stacking.size()) - 3);
        QVERIFY2(onTop(id), "the book was raised above Korvex");
        QVERIFY2(activeWindow() == id, "the book took the focus");
        QVERIFY(QApplication::focusWindow() == korvex.windowHandle());

        Korvex_M02::SetBookWindowPlacer(nullptr);
        Korvex_M02::SetConnector(nullptr);
    }

    // The office's dialog ends the wait, not the dispatch that opened it;
    // meanwhile Korvex's window paints and takes no keys.
    void dialog_waitsWhileKorvexPaintsAndTakesNoInput() {
        const auto connector = m_connector;
        const auto app = loadTwoBooks(*connector);
        QVERIFY(app);
        CountingWindow korvex;
        korvex.resize(300, 200);
        korvex.show();
        QVERIFY(QTest::qWaitForWindowExposed(&korvex));
        calc::OfficeDialogScript user(app, [](host::Dialog) { QThread::msleep(1500); });
        QTimer repaint;
        QObject::connect(&repaint, &QTimer::timeout, &korvex, [&korvex] {
            korvex.update();
            QCoreApplication::postEvent(&korvex,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
        });
        repaint.start(100);
        korvex.paints = 0;
        // The user takes a while over each dialog: a call that came back
        // before it was closed finds it not yet answered.
        int answered = 0;
        for (const auto dialog : {host::Dialog::PageSetup, host::Dialog::Print}) {
            QVERIFY(app->showDialog(dialog));
            QVERIFY2(user.answered() == ++answered, "the call came back while its dialog was open");
        }
        QVERIFY(korvex.paints >= 10);
        QCOMPARE(korvex.keys, 0);
    }
};

int main(int argc, char** argv) {
    // The office starts its own X server; Korvex's window joins it there,
    // under a window manager, before the application object exists.
    calc::PrivateOffice office(QStringLiteral("window"));
    QString error;
    if (!office.start(&error))
        qFatal("cannot start LibreOffice: %s", qPrintable(error));
    if (office.display().isEmpty())
        qFatal("no private X server for the window test");
    qputenv("DISPLAY", office.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QProcess manager;
    manager.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    manager.start(QStringLiteral("openbox"), {});
    if (!manager.waitForStarted(5000))
        qFatal("cannot start openbox");
    QApplication qapp(argc, argv);
    // Managed windows appear in the manager's list once it runs.
    QTest::qWait(1000);
    CalcWindowTest test(office);
    const int failures = QTest::qExec(&test, argc, argv);
    manager.kill();
    manager.waitForFinished(3000);
    return failures;
}

#include "calc_window_test.moc"
