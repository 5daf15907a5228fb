// Choosing the host from KORVEX_HOST.

#include "host_selection.h"
#include "sim_setup.h"

#include <QTemporaryDir>
#include <QTest>

using namespace korvex;

class HostSelectionTest : public QObject {
    Q_OBJECT

private slots:
    void simWithAFixture_runsWithItsBooks() {
        QTemporaryDir dir;
        const QString path = dir.filePath("books.kvx");
        test::writeFile(path, "[book a.xlsx]\n[sheet S]\nA1 = x\n");
        qputenv("KORVEX_HOST", ("sim:" + path).toUtf8());
        QString error;
        const auto connector = hosts::connectorFromEnvironment(&error);
        QVERIFY2(connector, qPrintable(error));
        const auto app = connector->attach();
        QVERIFY(app);
        QCOMPARE(app->workbook(1)->name(), QString("a.xlsx"));
    }

    void simWithoutAFixture_runsEmpty() {
        QString error;
        const auto connector = hosts::connectorFor("sim", &error);
        QVERIFY(connector);
        QCOMPARE(connector->attach()->workbookCount(), 0);
    }

    void badChoices_sayWhy_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("message");
        QTest::newRow("fixture with an error") << "[book a.xlsx]\n[sheet S]\nA1 = \\q\n"
                                               << "sim:%1"
                                               << "bad.kvx:3: unknown escape";
        QTest::newRow("missing fixture") << ""
                                         << "sim:%1.missing"
                                         << "cannot read the fixture";
        QTest::newRow("unknown host") << ""
                                      << "excel"
                                      << "unknown host 'excel'";
    }
    void badChoices_sayWhy() {
        QFETCH(QString, fixture);
        QFETCH(QString, choice);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath("bad.kvx");
        test::writeFile(path, fixture.toUtf8());
        QString error;
        QVERIFY(!hosts::connectorFor(choice.contains("%1") ? choice.arg(path) : choice, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
    }

    void calc_whenThisBuildHasNone() {
#if KORVEX_TEST_HAVE_CALC
        QSKIP("this build has the LibreOffice host");
#else
        qunsetenv("KORVEX_HOST");
        QString error;
        QVERIFY(!hosts::connectorFromEnvironment(&error));
        QCOMPARE(error, QString("LibreOffice host not available in this build"));
        QVERIFY(!hosts::connectorFor("calc", &error));
#endif
    }
};

QTEST_GUILESS_MAIN(HostSelectionTest)
#include "host_selection_test.moc"
