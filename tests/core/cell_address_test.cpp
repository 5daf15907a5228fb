// A1 addresses: what each reader accepts at the sheet's edges and on bad
// text, and that each writer gives back what its reader took.

#include "cell_address.h"

#include <QTest>

using namespace korvex;

class CellAddressTest : public QObject {
    Q_OBJECT
private slots:
    void readsAndWritesBack_data();
    void readsAndWritesBack();
    void columnLettersRoundTrip();
};

void CellAddressTest::readsAndWritesBack_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("absolute");
    QTest::addColumn<QString>("written"); // empty: rejected

    const auto row = [](const char* kind, const char* text, bool absolute, const char* written) {
        QTest::addRow("%s %s", kind, text) << QString::fromLatin1(kind) << QString::fromUtf8(text)
                                           << absolute << QString::fromLatin1(written);
    };
    row("cell", "A1", true, "$A$1");
    row("cell", " b$12 ", true, "$B$12");
    row("cell", "$C7", false, "C7");
    row("cell", "A01", true, "$A$1");
    row("cell", "$XFD$1048576", true, "$XFD$1048576");
    row("cell", "XFE1", true, "");
    row("cell", "A1048577", true, "");
    row("cell", "A0", true, "");
    row("cell", "A12345678", true, "");
    row("cell", "AAAA1", true, "");
    row("cell", "$$B1", true, "");
    row("cell", "B$$1", true, "");
    row("cell", "12", true, "");
    row("cell", "B", true, "");
    row("cell", "B-1", true, "");
    row("cell", "B1x", true, "");
    row("cell", "Ä1", true, "");
    row("cell", "B１", true, "");
    row("cell", "B12:C3", true, "");
    row("cell", "", true, "");
    row("range", "C3:a1", true, "$A$1:$C$3");
    row("range", "$B$2", false, "B2");
    row("range", "A1 : B2", true, "$A$1:$B$2");
    row("range", "A1:B2:C3", true, "");
    row("range", "A1:", true, "");
    row("range", "A1:XFE2", true, "");
    row("rows", "$3:$1", true, "$1:$3");
    row("rows", "2", false, "2:2");
    row("rows", "1048576", true, "$1048576:$1048576");
    row("rows", "0:2", true, "");
    row("rows", "1:1048577", true, "");
    row("rows", "A:B", true, "");
    row("columns", "c:$a", true, "$A:$C");
    row("columns", "$XFD", false, "XFD:XFD");
    row("columns", "A:XFE", true, "");
    row("columns", "1:2", true, "");
}

void CellAddressTest::readsAndWritesBack() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(bool, absolute);
    QFETCH(QString, written);

    QString got;
    if (kind == QLatin1String("cell")) {
        if (const auto cell = a1::parseCell(text))
            got = a1::cellText(*cell, absolute, absolute);
    } else if (kind == QLatin1String("range")) {
        if (const auto range = a1::parseRange(text))
            got = a1::rangeText(*range, absolute, absolute);
    } else if (kind == QLatin1String("rows")) {
        if (const auto span = a1::parseRowSpan(text))
            got = a1::rowSpanText(span->first, span->second, absolute);
    } else if (const auto span = a1::parseColumnSpan(text)) {
        got = a1::columnSpanText(span->first, span->second, absolute);
    }
    QCOMPARE(got, written);
    // What a writer gives, its reader takes back unchanged.
    if (!written.isEmpty() && kind == QLatin1String("cell"))
        QCOMPARE(a1::cellText(*a1::parseCell(written), absolute, absolute), written);
    if (!written.isEmpty() && kind == QLatin1String("range"))
        QCOMPARE(a1::rangeText(*a1::parseRange(written), absolute, absolute), written);
}

void CellAddressTest::columnLettersRoundTrip() {
    const QList<QPair<int, QString>> known{{1, "A"},    {26, "Z"},    {27, "AA"},    {52, "AZ"},
                                           {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
    for (const auto& [column, letters] : known) {
        QCOMPARE(a1::columnLetters(column), letters);
        QCOMPARE(a1::columnNumber(letters.toLower()), column);
    }
    for (int column = 1; column <= a1::MaxColumns; ++column)
        QCOMPARE(a1::columnNumber(a1::columnLetters(column)), column);
    QCOMPARE(a1::columnLetters(0), QString());
    QCOMPARE(a1::columnLetters(-3), QString());
    QCOMPARE(a1::columnLetters(16385), QStringLiteral("XFE"));
    QCOMPARE(a1::columnNumber(u"XFE"), 0);
    QCOMPARE(a1::rowNumber(u"1048576"), a1::MaxRows);
    QCOMPARE(a1::rowNumber(u"1048577"), 0);
    QCOMPARE(a1::rowNumber(u"+5"), 0);
}

QTEST_GUILESS_MAIN(CellAddressTest)
#include "cell_address_test.moc"
