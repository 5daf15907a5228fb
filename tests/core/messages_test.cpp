// Catalogue lookup and message boxes: what the user sees for known and unknown
// identifiers, the help link rules, and identifiers that carry quotes.

#include "messages.h"
#include "scripted_ui.h"
#include "test_files.h"
#include "work_database.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using korvex::test::ScriptedUi;

class MessagesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A fresh catalogue, made the way the build makes it.
    bool seedFreshCatalogue() {
        const QString p = m_dir.filePath(QStringLiteral("catalogue.mdb"));
        Korvex_M01::WorkDb().DisConnect();
        korvex::test::writeFile(p, {});
        Korvex_M01::WorkDb().Connect(p);
        return korvex::test::seedCatalogue(Korvex_M01::WorkDb().DBase());
    }

private slots:
    void init() { QVERIFY(seedFreshCatalogue()); }
    void cleanupTestCase() { Korvex_M01::WorkDb().DisConnect(); }

    // Every identifier in the catalogue has a text, and its icon fits its kind:
    // notices inform, errors warn or report a failure. Every identifier the
    // program's sources name is in the catalogue.
    void catalogueCoversEveryIdentifier_data() {
        QTest::addColumn<QString>("id");
        QVERIFY(seedFreshCatalogue());
        QSet<QString> catalogued;
        QSqlQuery q = Korvex_M01::WorkDb().OpenRecordset(
            QStringLiteral("select messageid from T_Message order by messageid;"));
        while (q.next()) {
            catalogued.insert(q.value(0).toString());
            QTest::newRow(qPrintable(q.value(0).toString())) << q.value(0).toString();
        }
        QVERIFY(catalogued.size() >= 20);

        const QRegularExpression named(QStringLiteral("\"([ENS]_[FM][0-9]{2}_[0-9]{3})\""));
        const QString root = qEnvironmentVariable("KORVEX_SOURCE_DIR");
        int seen = 0;
        for (const char* folder :
             {"core", "desktop", "navigator", "findreplace", "printing", "hosts", "app"}) {
            QDirIterator files(root + QLatin1Char('/') + QLatin1String(folder),
                               {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                               QDirIterator::Subdirectories);
            while (files.hasNext()) {
                QFile f(files.next());
                QVERIFY(f.open(QIODevice::ReadOnly));
                auto it = named.globalMatch(QString::fromUtf8(f.readAll()));
                for (; it.hasNext(); ++seen) {
                    const QString id = it.next().captured(1);
                    QVERIFY2(catalogued.contains(id), qPrintable(id + " in " + f.fileName()));
                }
            }
        }
        QVERIFY(seen > 0);
    }
    void catalogueCoversEveryIdentifier() {
        QFETCH(QString, id);
        ScriptedUi ui;
        Korvex_M01::ShowMsg(id);
        QCOMPARE(ui.beeps, 0);
        QCOMPARE(ui.messages.size(), 1);
        const korvex::MessageRequest& box = ui.messages.first();
        QCOMPARE(box.title, QStringLiteral("Korvex"));
        QCOMPARE(ui.messageIds().first(), id);
        const QString prompt = box.text.mid(id.size() + 1);
        QVERIFY(box.text.startsWith(id + QLatin1Char('\n')));
        QVERIFY(!prompt.trimmed().isEmpty());
        QVERIFY(!prompt.contains(QLatin1Char('\r')));
        const int icon = box.style & 0xF0;
        // Texts a window shows in place (S_): Japanese words and figures,
        // never English prose, no icon.
        if (id.startsWith(QLatin1String("S_"))) {
            QVERIFY2(icon == 0 && !prompt.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))),
                     qPrintable(prompt));
            return;
        }
        QVERIFY2(prompt.contains(QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}]"))),
                 qPrintable(prompt)); // Japanese text
        if (id.startsWith(QLatin1String("N_")))
            QCOMPARE(icon, korvex::mb::Information);
        else
            QVERIFY(icon == korvex::mb::Critical || icon == korvex::mb::Exclamation);
        QCOMPARE(box.style & 0x0F, korvex::mb::OkOnly);
        QVERIFY(box.helpFile.isEmpty());
    }

    // Counts go into the numbered places in one pass: an argument that itself
    // holds "%2" stays as it is, and numbers beyond the arguments are text.
    void argumentsFillNumberedPlaces() {
        ScriptedUi ui;
        Korvex_M01::WorkDb().Execute(
            QStringLiteral("insert into T_Message values ('N_F09_001', '%1 / %2 / %3 / 100%', "
                           "64, NULL, NULL);"),
            true);
        Korvex_M01::ShowMsg(QStringLiteral("N_F09_001"),
                            {QStringLiteral("a%2"), QStringLiteral("7")});
        QCOMPARE(ui.messages.first().text, QStringLiteral("N_F09_001\na%2 / 7 / %3 / 100%"));
        // The same text in place, and an unknown one as its bare identifier, without a box.
        QCOMPARE(Korvex_M01::MsgText(QStringLiteral("N_F09_001"), {QStringLiteral("a%2")}),
                 QStringLiteral("a%2 / %2 / %3 / 100%"));
        QCOMPARE(Korvex_M01::MsgText(QStringLiteral("S_F09_999")), QStringLiteral("S_F09_999"));
        QCOMPARE(ui.messages.size(), 1);
    }

    // Unknown identifiers, including ones whose quotes would have rewritten a
    // statement that pasted them in: a beep and the bare identifier.
    void unknownIdentifierBeeps_data() {
        QTest::addColumn<QString>("id");
        QTest::newRow("unknown") << QStringLiteral("E_F09_999");
        QTest::newRow("lower case") << QStringLiteral("e_f01_001");
        QTest::newRow("quote") << QStringLiteral("E_F01_001'");
        QTest::newRow("matches all") << QStringLiteral("x' or '1'='1");
        QTest::newRow("statement") << QStringLiteral("x'; delete from T_Message; --");
        QTest::newRow("empty") << QString();
    }
    void unknownIdentifierBeeps() {
        QFETCH(QString, id);
        const auto catalogueSize = [] {
            QSqlQuery q = Korvex_M01::WorkDb().OpenRecordset(
                QStringLiteral("select count(*) from T_Message;"));
            return q.next() ? q.value(0).toInt() : -1;
        };
        const int before = catalogueSize();
        QVERIFY(before > 0);
        ScriptedUi ui;
        ui.queueMessageAnswer(korvex::answer::Cancel);
        QCOMPARE(Korvex_M01::ShowMsg(id), korvex::answer::Cancel);
        QCOMPARE(ui.beeps, 1);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages.first().text, id);
        QCOMPARE(ui.messages.first().style, korvex::mb::OkCancel);
        QCOMPARE(ui.messages.first().title, QStringLiteral("Korvex"));
        QCOMPARE(catalogueSize(), before);
    }

    void helpLinkNeedsFileAndContext_data() {
        QTest::addColumn<QVariant>("helpFile");
        QTest::addColumn<QVariant>("context");
        QTest::addColumn<bool>("linked");
        const QVariant nullText{QMetaType::fromType<QString>()};
        const QVariant nullInt{QMetaType::fromType<int>()};
        QTest::newRow("both") << QVariant(QStringLiteral("korvex.hlp")) << QVariant(120) << true;
        QTest::newRow("no context") << QVariant(QStringLiteral("korvex.hlp")) << nullInt << false;
        QTest::newRow("no file") << nullText << QVariant(120) << false;
        QTest::newRow("neither") << nullText << nullInt << false;
    }
    void helpLinkNeedsFileAndContext() {
        QFETCH(QVariant, helpFile);
        QFETCH(QVariant, context);
        QFETCH(bool, linked);
        QSqlQuery ins(Korvex_M01::WorkDb().DBase());
        QVERIFY(ins.prepare(QStringLiteral("insert into T_Message values (?, ?, ?, ?, ?);")));
        ins.addBindValue(QStringLiteral("E_F09_001"));
        ins.addBindValue(QStringLiteral("一行目\r\n二行目"));
        ins.addBindValue(korvex::mb::YesNo | korvex::mb::Question);
        ins.addBindValue(helpFile);
        ins.addBindValue(context);
        QVERIFY(ins.exec());

        ScriptedUi ui;
        Korvex_M01::ShowMsg(QStringLiteral("E_F09_001"));
        QCOMPARE(ui.messages.size(), 1);
        const korvex::MessageRequest& box = ui.messages.first();
        QCOMPARE(box.text, QStringLiteral("E_F09_001\n一行目\n二行目"));
        QCOMPARE(box.style, korvex::mb::YesNo | korvex::mb::Question);
        QCOMPARE(!box.helpFile.isEmpty(), linked);
        if (linked) {
            QCOMPARE(box.helpFile, QStringLiteral("korvex.hlp"));
            QCOMPARE(box.helpContext, 120);
        }
    }

    void msgBoxExUsesHelpFileOnlyWithContext() {
        ScriptedUi ui;
        Korvex_M01::MsgBoxEx(QStringLiteral("a"), korvex::mb::OkOnly, QStringLiteral("x.hlp"));
        const int ctx = 7;
        Korvex_M01::MsgBoxEx(QStringLiteral("b"), korvex::mb::Information, QStringLiteral("x.hlp"),
                             &ctx);
        QCOMPARE(ui.messages.size(), 2);
        QVERIFY(ui.messages.at(0).helpFile.isEmpty());
        QCOMPARE(ui.messages.at(1).helpFile, QStringLiteral("x.hlp"));
        QCOMPARE(ui.messages.at(1).helpContext, 7);
        QCOMPARE(ui.messages.at(1).title, QStringLiteral("Korvex"));
    }

    void showMsgFailsWhenCatalogueUnreadable() {
        ScriptedUi ui;
        Korvex_M01::WorkDb().DisConnect();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 Korvex_M01::ShowMsg(QStringLiteral("E_F01_001")));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(ui.beeps, 0);
    }
};

QTEST_GUILESS_MAIN(MessagesTest)
#include "messages_test.moc"
