// Two Korvex processes for one user: the second hands its files to the first
// and ends; a socket left by a killed Korvex does not stop the next start.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class SingleInstanceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QProcess* start(const QStringList& args) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("KORVEX_HOST"), QStringLiteral("sim:") +
                                                      qEnvironmentVariable("KORVEX_RESOURCE_DIR") +
                                                      QStringLiteral("/demo.kvx"));
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(m_dir.path());
        p->start(m_dir.filePath(QStringLiteral("bin/korvex")), args);
        return p;
    }
    bool listening() {
        return !QDir(m_dir.filePath(QStringLiteral("run")))
                    .entryList({QStringLiteral("korvex-*")}, QDir::System)
                    .isEmpty();
    }

private slots:
    void initTestCase() {
        QDir root(m_dir.path());
        QVERIFY(root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("run")));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(
            QFile::copy(QStringLiteral(KORVEX_EXE), root.filePath(QStringLiteral("bin/korvex"))));
        QVERIFY(QFile::copy(QStringLiteral(KORVEX_TEMPLATE_DB),
                            root.filePath(QStringLiteral("bin/korvex.mdb"))));
        QFile book(root.filePath(QStringLiteral("追加.kvx")));
        QVERIFY(book.open(QIODevice::WriteOnly) && book.write("[sheet 表1]\nA1 = 1\n") > 0);
    }

    void secondStartHandsOverAndEnds() {
        QProcess* first = start({});
        QVERIFY(first->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(listening(), 15000);

        QProcess* second = start({QStringLiteral("追加.kvx")});
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        // Killed outright, the first leaves its socket behind; the next start
        // takes it over and runs, and a start after that hands off to it.
        first->kill();
        QVERIFY(first->waitForFinished());
        QVERIFY(listening());
        QProcess* third = start({});
        QVERIFY(third->waitForStarted());
        QTest::qWait(3000);
        QCOMPARE(third->state(), QProcess::Running);
        QProcess* fourth = start({});
        QVERIFY(fourth->waitForFinished(10000));
        QCOMPARE(fourth->exitCode(), 0);

        third->terminate(); // closes the main window as its exit command does
        QVERIFY(third->waitForFinished(10000));
        QCOMPARE(third->exitCode(), 0);
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("bin/korvex.ini"))));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
