// Hostile text through the search and replace windows on the simulated host:
// quotes, LIKE wildcards, SQL, control characters, very long texts and names
// at and over the field sizes. Each run must store exactly one whole row per
// occurrence, every text verbatim or cut to its field's size, never run as
// SQL, and the replacement must reach the cell exactly as typed.

#include "find_child.h"
#include "navigator_env.h"
#include "replace_window.h"
#include "result_table.h"
#include "search_window.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QSqlQuery>

using korvex::findreplace::fitField;
using korvex::findreplace::resultColumns;
using korvex::findreplace::ResultKind;
using navtest::Env;

namespace {

// Fixture text keeps a name or cell exactly: blanks at the ends, pipes,
// backslashes, line breaks and tabs are escaped; a leading ' forces text.
QString esc(const QString& s) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('|'))
            out += QStringLiteral("\\|");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char(' ') && (i == 0 || i == s.size() - 1))
            out += QStringLiteral("\\s");
        else
            out += c;
    }
    return out;
}

int fieldSize(ResultKind kind, const char* field) {
    for (const auto& c : resultColumns(kind))
        if (qstrcmp(c.field, field) == 0)
            return c.size;
    qFatal("no field %s", field);
}

int rowCount(const QString& table) {
    QSqlQuery q(Korvex_M01::WorkDb().DBase());
    if (!q.exec(QStringLiteral("select count(*) from ") + table) || !q.next())
        return -1;
    return q.value(0).toInt();
}

using korvex::test::child;

} // namespace

class HostileTextTest : public QObject {
    Q_OBJECT
private slots:
    void storedVerbatimOrCutNeverExecuted_data();
    void storedVerbatimOrCutNeverExecuted();
};

void HostileTextTest::storedVerbatimOrCutNeverExecuted_data() {
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("replacement");

    const QString sql = QStringLiteral("'); DROP TABLE w_replace; DELETE FROM T_Message; --");
    const QString longText = QString(10000, QLatin1Char('x'));
    const QString bookAt = QString(123, QChar(0x58F2)) + QStringLiteral(".xlsx"); // 128
    const QString bookOver = QString(195, QLatin1Char('b')) + QStringLiteral(".xlsx");
    // 254 characters, then one outside the BMP (two UTF-16 units) on the limit.
    const QString wide =
        QString(254, QLatin1Char('a')) + QString::fromUtf8("𠮷") + QStringLiteral("tail 売上");

    QTest::newRow("quotes") << QStringLiteral("O'Neil \"q\".xlsx") << QStringLiteral("シ'ト\"")
                            << QStringLiteral("It's \"売上\" 100%") << QStringLiteral("'s \"売")
                            << QStringLiteral("\"';--");
    QTest::newRow("like wildcards and separators")
        << QStringLiteral("50%_off;.xlsx") << QStringLiteral("%_;") << QStringLiteral("a%b_c;d売上")
        << QStringLiteral("%b_c;") << QStringLiteral("_%;");
    QTest::newRow("sql") << sql + QStringLiteral(".xlsx") << QStringLiteral("DROP TABLE w_sort;--")
                         << QStringLiteral("x") + sql << sql << sql;
    QTest::newRow("control characters") << QStringLiteral("c.xlsx") << QStringLiteral("S\x01")
                                        << QStringLiteral("a\x01"
                                                          "b\tc\x1f"
                                                          "d")
                                        << QStringLiteral("\x01"
                                                          "b\tc")
                                        << QStringLiteral("\x7f\x02");
    QTest::newRow("ten thousand characters")
        << QStringLiteral("long.xlsx") << QString(31, QLatin1Char('s'))
        << longText + QStringLiteral("!") << longText << QString(10000, QLatin1Char('y'));
    QTest::newRow("book name at the field size")
        << bookAt << QStringLiteral("S") << QStringLiteral("売上") << QStringLiteral("売上")
        << QStringLiteral("済");
    QTest::newRow("book name over the field size, long cell")
        << bookOver << QStringLiteral("S") << wide << QStringLiteral("売上")
        << QStringLiteral("済");
}

void HostileTextTest::storedVerbatimOrCutNeverExecuted() {
    QFETCH(QString, book);
    QFETCH(QString, sheet);
    QFETCH(QString, cell);
    QFETCH(QString, what);
    QFETCH(QString, replacement);

    Env env;
    auto host = env.host(QStringLiteral("[book %1]\nactive\n[sheet %2]\nA1 = '%3\n")
                             .arg(esc(book), esc(sheet), esc(cell)));
    const int messages = rowCount(QStringLiteral("T_Message"));
    QVERIFY(messages > 0);

    for (const bool replace : {false, true}) {
        const ResultKind kind = replace ? ResultKind::Replace : ResultKind::Search;
        const QString table = replace ? QStringLiteral("w_replace") : QStringLiteral("w_sort");
        std::unique_ptr<korvex::findreplace::FindReplaceWindow> w;
        if (replace)
            w.reset(new Korvex_F03);
        else
            w.reset(new Korvex_F02);
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->show();
        child<QComboBox>(*w, "Search_Combo")->setEditText(what);
        QCOMPARE(child<QComboBox>(*w, "Search_Combo")->currentText(), what);
        if (replace)
            child<QComboBox>(*w, "Replace_Combo")->setEditText(replacement);
        child<QAction>(*w, "SM_SelAll")->trigger();
        child<QPushButton>(*w, replace ? "Cmd_SumReplace" : "Cmd_SumSearch")->click();

        // One whole row, each text verbatim or cut to its field's size.
        QCOMPARE(rowCount(table), 1);
        QSqlQuery q(Korvex_M01::WorkDb().DBase());
        QVERIFY(q.exec(QStringLiteral("select book, sheet, \"range\", search, result%1 from %2")
                           .arg(replace ? QStringLiteral(", replace") : QString(), table)));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), fitField(book, fieldSize(kind, "book")));
        QCOMPARE(q.value(1).toString(), fitField(sheet, fieldSize(kind, "sheet")));
        QCOMPARE(q.value(2).toString(), QStringLiteral("A1"));
        QCOMPARE(q.value(3).toString(), fitField(what, fieldSize(kind, "search")));
        QCOMPARE(q.value(4).toString(), fitField(cell, fieldSize(kind, "result")));
        if (replace)
            QCOMPARE(q.value(5).toString(), fitField(replacement, fieldSize(kind, "replace")));
        QVERIFY(!q.next());
        QVERIFY(w->close());
    }

    // The replacement reached the cell exactly as typed; nothing ran as SQL.
    QString expected = cell;
    expected.replace(what, replacement);
    const auto* a1 = host->findSheet(book, sheet)->cell(1, 1);
    QVERIFY(a1);
    QCOMPARE(a1->formula, expected);
    QCOMPARE(rowCount(QStringLiteral("T_Message")), messages);
}

QTEST_MAIN(HostileTextTest)
#include "tst_hostile_text.moc"
