// The print window on a real LibreOffice Calc: the page-setup copy across two
// books, checked property by property, with header and footer fields still
// fields on the targets and every other sheet left alone; the office's
// page-setup and print dialogs, answered by the test as a user would, with
// the grouping and the cursor put back afterwards.

#include "calc_fixtures.h"
#include "calc_model.h"
#include "office_dialogs.h"
#include "print_env.h"
#include "private_office.h"
#include "uno_text.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <cmath>

using namespace korvex;
using host::PageProperty;
using namespace printtest;

namespace {

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// 原本 of 基本.xlsx is the base; 対象.xlsx holds a sheet of the same name and
// one more target, and a sheet that is not a target.
const char* const TwoBooks = R"(
[book 対象.xlsx]
[sheet 原本]
A1 = x
[sheet T2]
A1 = y
[sheet 他]
A1 = z
[book 基本.xlsx]
active
[sheet 原本]
active
active B3
A1 = base
pagesetup CenterHeader = &A
pagesetup RightFooter = &P / &N
pagesetup LeftHeader = 社外秘
pagesetup PrintTitleRows = $1:$2
pagesetup PrintArea = $A$1:$C$9
pagesetup LeftMargin = 30
pagesetup TopMargin = 60
pagesetup Orientation = 2
pagesetup PaperSize = 1
pagesetup CenterHorizontally = TRUE
pagesetup PrintGridlines = TRUE
pagesetup Order = 2
pagesetup FirstPageNumber = 3
pagesetup Zoom = 80
[sheet 別]
A1 = other
)";

// Text fields in the header and footer of the sheet's page style.
int headerFooterFields(const host::ApplicationPtr& app, const QString& book, const QString& sheet) {
    int fields = 0;
    for (int p = int(PageProperty::LeftHeader); p <= int(PageProperty::RightFooter); ++p)
        fields += calc::headerFooterFields(app, book, sheet, PageProperty(p));
    return fields;
}

// The page style the sheet prints with.
QString pageStyleName(const host::ApplicationPtr& app, const QString& book, const QString& sheet) {
    using css::uno::UNO_QUERY_THROW;
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(app->workbook(book))->document();
    return session->run([doc, sheet] {
        css::uno::Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        css::uno::Reference<css::beans::XPropertySet> s(
            d->getSheets()->getByName(calc::toUno(sheet)), UNO_QUERY_THROW);
        rtl::OUString name;
        s->getPropertyValue("PageStyle") >>= name;
        return calc::toQt(name);
    });
}

bool unsavedChanges(const host::ApplicationPtr& app, const QString& book) {
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(app->workbook(book))->document();
    return session->run([doc] {
        return bool(css::uno::Reference<css::util::XModifiable>(doc, css::uno::UNO_QUERY_THROW)
                        ->isModified());
    });
}

// What the user's OK in the office's page-style dialog does: the style the
// active sheet prints with turns to landscape.
void turnActiveSheetsStyleLandscape(const host::ApplicationPtr& app) {
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    session->run([d = session->desktop()] {
        const auto doc = calc::uno_helpers::activeDocument(d);
        calc::uno_helpers::pageStyleOf(doc, calc::uno_helpers::activeSheetOf(doc))
            ->setPropertyValue("IsLandscape", css::uno::Any(true));
    });
}

QVariantList pageSetupOf(const host::ApplicationPtr& app, const QString& book,
                         const QString& sheet) {
    const auto ps = app->workbook(book)->worksheet(sheet)->pageSetup();
    QVariantList values;
    for (int p = 0; p < host::PagePropertyCount; ++p)
        values << ps->get(PageProperty(p));
    return values;
}

// Margins go through the office's hundredths of a millimetre.
bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double)
        return std::abs(a.toDouble() - b.toDouble()) < 0.05;
    return a == b;
}

void compareAll(const QVariantList& actual, const QVariantList& expected, const QString& where) {
    for (int p = 0; p < host::PagePropertyCount; ++p) {
        const QString what = where + QLatin1Char(' ') +
                             QString::fromLatin1(host::pagePropertyName(PageProperty(p))) +
                             QStringLiteral(": ") + actual[p].toString() + QStringLiteral(" vs ") +
                             expected[p].toString();
        QVERIFY2(sameValue(actual[p], expected[p]), qPrintable(what));
    }
}

// Five sheets, one of them with text in each.
const char* const FiveSheets = R"(
[book 印刷.xlsx]
active
[sheet S1]
A1 = marker-S1
[sheet S2]
A1 = marker-S2
[sheet S3]
A1 = marker-S3
[sheet S4]
A1 = marker-S4
[sheet S5]
A1 = marker-S5
)";

// The text of a printed PDF.
QString pdfText(const QString& path) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000))
        return QString();
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

// The sheets of FiveSheets whose marker the text holds.
QStringList markedSheets(const QString& printed) {
    QStringList sheets;
    for (const char* sheet : {"S1", "S2", "S3", "S4", "S5"})
        if (printed.contains(QStringLiteral("marker-") + QLatin1String(sheet)))
            sheets << QLatin1String(sheet);
    return sheets;
}

int pdfPages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    return int(QString::fromLatin1(file.readAll()).count(page));
}

QString cursorOf(const host::ApplicationPtr& app) {
    return app->activeSheet()->name() + QLatin1Char('!') + app->activeCell()->address(false, false);
}

// What typing a text into the cursor cell of the book's window does: the
// office enters it on every selected sheet.
void typeIntoCursorCell(const host::ApplicationPtr& app, const QString& book,
                        const QString& typed) {
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(app->workbook(book))->document();
    session->run([ctx = session->context(), doc, typed] {
        css::beans::PropertyValue text;
        text.Name = "StringName";
        text.Value <<= calc::toUno(typed);
        css::uno::Reference<css::frame::XDispatchProvider> frame(calc::uno_helpers::frameOf(doc),
                                                                 css::uno::UNO_QUERY_THROW);
        css::frame::DispatchHelper::create(ctx)->executeDispatch(
            frame, ".uno:EnterString", "", 0,
            css::uno::Sequence<css::beans::PropertyValue>(&text, 1));
    });
}

} // namespace

class CalcPrintWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<calc::PrivateOffice> m_office;
    std::shared_ptr<host::Connector> m_connector;

    host::ApplicationPtr load(const char* fixtureText) {
        auto app = m_connector->attach();
        if (!app)
            return nullptr;
        QString error;
        const auto fixture = sim::parseFixture(text(fixtureText), &error);
        if (!fixture)
            qFatal("fixture does not parse: %s", qPrintable(error));
        calc::closeAllDocuments(app);
        calc::loadFixture(app, *fixture);
        return app;
    }

    // The cursor on S4!C5, and S4 grouped with S2 when asked for.
    host::ApplicationPtr loadFiveSheets(bool grouped) {
        auto app = load(FiveSheets);
        if (app) {
            const auto book = app->workbook(text("印刷.xlsx"));
            book->worksheet(QStringLiteral("S4"))->cell(5, 3)->activate();
            if (grouped)
                book->selectSheets({"S4", "S2"});
        }
        return app;
    }

private slots:
    void initTestCase() {
        m_office = std::make_unique<calc::PrivateOffice>(QStringLiteral("print"));
        QString error;
        QVERIFY2(m_office->start(&error), qPrintable(error));
        m_connector = m_office->connector();
    }
    void cleanupTestCase() {
        m_connector.reset();
        m_office.reset();
    }

    void pageSetupCopy_acrossTwoBooks() {
        Scratch scratch;
        const auto app = load(TwoBooks);
        QVERIFY(app);
        Korvex_M02::SetConnector(m_connector);
        const QString baseBook = text("基本.xlsx");
        const QString targetBook = text("対象.xlsx");
        const QVariantList base = pageSetupOf(app, baseBook, text("原本"));
        const int baseFields = headerFooterFields(app, baseBook, text("原本"));
        QCOMPARE(baseFields, 3); // &A, &P and &N
        const QVariantList other = pageSetupOf(app, targetBook, text("他"));
        const QVariantList sameBookOther = pageSetupOf(app, baseBook, text("別"));

        Korvex_F04 f;
        f.show();
        QCOMPARE(child<QComboBox>(f, "Combo_Sheet")->currentText(), text("原本"));
        choose(child<QComboBox>(f, "Combo_BookSel"), targetBook);
        select(targets(f), {text("原本"), text("T2")});
        press(f, "Command_SetStart");

        for (const char* sheet : {"原本", "T2"}) {
            compareAll(pageSetupOf(app, targetBook, text(sheet)), base,
                       targetBook + QLatin1Char('!') + text(sheet));
            QCOMPARE(headerFooterFields(app, targetBook, text(sheet)), baseFields);
        }
        compareAll(pageSetupOf(app, targetBook, text("他")), other, text("他"));
        compareAll(pageSetupOf(app, baseBook, text("別")), sameBookOther, text("別"));
        compareAll(pageSetupOf(app, baseBook, text("原本")), base, text("原本"));

        // Back on the base sheet's cell, with both targets still selected.
        QCOMPARE(app->activeWorkbook()->name(), baseBook);
        QCOMPARE(app->activeSheet()->name(), text("原本"));
        QCOMPARE(app->activeCell()->address(false, false), QStringLiteral("B3"));
        QCOMPARE(selectedEntries(targets(f)), (QStringList{text("原本"), text("T2")}));
        QVERIFY(scratch.ui.messages.isEmpty());
    }

    // 印刷 with three targets. While the office's print dialog is open exactly
    // those three are grouped and its preview counts three pages. Cancelled,
    // it prints nothing; answered with its Print button, the office's printer
    // gets one job holding the three sheets' pages and no other sheet's, their
    // header and footer fields printing each page's own values.
    // Either way the user's own group of two is back afterwards, on the same
    // sheet and cell.
    void printOut_printsExactlyTheTargetsAndRestoresTheGroup() {
        Scratch scratch;
        const auto app = loadFiveSheets(true);
        QVERIFY(app);
        Korvex_M02::SetConnector(m_connector);
        const QString book = text("印刷.xlsx");
        const auto grouping = [&] { return app->workbook(book)->window(1)->selectedSheets(); };
        QCOMPARE(grouping(), (QStringList{"S2", "S4"}));
        QCOMPARE(cursorOf(app), QStringLiteral("S4!C5"));
        const QStringList jobsBefore = m_office->printedJobs();
        // Headers and footers of fields print each page's own values.
        for (const char* sheet : {"S1", "S3", "S5"}) {
            const auto ps = app->workbook(book)->worksheet(QLatin1String(sheet))->pageSetup();
            ps->set(PageProperty::CenterHeader, QStringLiteral("Sheet &A"));
            ps->set(PageProperty::CenterFooter, QStringLiteral("Page &P of &N"));
        }

        Korvex_F04 f;
        f.show();
        select(targets(f), {"S1", "S3", "S5"});
        for (const bool confirm : {false, true}) {
            const char* const answer = confirm ? "printed" : "cancelled";
            QStringList groupWhileOpen;
            QStringList dialogTexts;
            bool enabledWhileOpen = true;
            {
                calc::OfficeDialogScript user(app, calc::Answering{[&](host::Dialog dialog) {
                                                  if (dialog != host::Dialog::Print)
                                                      return false;
                                                  enabledWhileOpen = f.isEnabled();
                                                  groupWhileOpen = grouping();
                                                  // The dialog's own preview counts the
                                                  // pages it would print.
                                                  for (int tries = 0;
                                                       tries < 50 &&
                                                       !dialogTexts.contains(QStringLiteral("/ 3"));
                                                       ++tries, QThread::msleep(100))
                                                      dialogTexts = calc::openDialogTexts(app);
                                                  return confirm;
                                              }});
                press(f, "Command_PrintOut");
                QVERIFY2(user.answered() == 1, qPrintable(QStringLiteral("%1: %2 dialogs answered")
                                                              .arg(QLatin1String(answer))
                                                              .arg(user.answered())));
            }
            QVERIFY2(!enabledWhileOpen, answer);
            QVERIFY2(groupWhileOpen == (QStringList{"S1", "S3", "S5"}), answer);
            QVERIFY2(dialogTexts.contains(QStringLiteral("/ 3")),
                     qPrintable(dialogTexts.join('|')));
            QVERIFY2(grouping() == (QStringList{"S2", "S4"}), answer);
            QVERIFY2(cursorOf(app) == QStringLiteral("S4!C5"), qPrintable(cursorOf(app)));
            QVERIFY(f.isEnabled());
        }

        // The job is written once the office has spooled it.
        QStringList jobs;
        for (int tries = 0; tries < 300 && jobs.size() <= jobsBefore.size(); ++tries) {
            QTest::qWait(100);
            jobs = m_office->printedJobs();
        }
        QCOMPARE(jobs.size(), jobsBefore.size() + 1); // the cancelled dialog printed nothing
        const QString printed = pdfText(jobs.last());
        QCOMPARE(markedSheets(printed), (QStringList{"S1", "S3", "S5"}));
        QCOMPARE(pdfPages(jobs.last()), 3);
        // Each page shows its own sheet's name, and the job's page count.
        const QStringList pages = printed.split(u'\f');
        QVERIFY2(pages.size() >= 3, qPrintable(printed));
        static const QRegularExpression footer(QStringLiteral("Page \\d+ of 3"));
        for (int i = 0; i < 3; ++i) {
            const QString sheet = QStringList{"S1", "S3", "S5"}[i];
            QVERIFY2(pages[i].contains(QStringLiteral("Sheet ") + sheet) &&
                         pages[i].contains(QStringLiteral("marker-") + sheet) &&
                         pages[i].contains(footer),
                     qPrintable(pages[i]));
        }

        // The sheet tabs show the user's group too: a click on its other tab
        // keeps it, as after grouping by hand.
        calc::clickSheetTab(app, book, QStringLiteral("S2"));
        QCOMPARE(grouping(), (QStringList{"S2", "S4"}));
    }

    // The user's one sheet, the first of all the targets of a print: after
    // Cancel in the print dialog it is selected alone again (activating a
    // sheet inside a group keeps the group), so typing goes into it alone,
    // and the tabs agree: a click on another one selects that sheet alone.
    void printOut_cancelledLeavesTheUsersSheetAlone() {
        Scratch scratch;
        const auto app = loadFiveSheets(false);
        QVERIFY(app);
        Korvex_M02::SetConnector(m_connector);
        const QString book = text("印刷.xlsx");
        app->workbook(book)->worksheet(QStringLiteral("S1"))->cell(5, 3)->activate();
        const auto grouping = [&] { return app->workbook(book)->window(1)->selectedSheets(); };
        Korvex_F04 f;
        f.show();
        child<QAction>(f, "SM_SelAll")->trigger();
        {
            calc::OfficeDialogScript user(app, [](host::Dialog) {});
            press(f, "Command_PrintOut");
            QCOMPARE(user.answered(), 1);
        }
        QCOMPARE(grouping(), QStringList{"S1"});
        QCOMPARE(cursorOf(app), QStringLiteral("S1!C5"));
        typeIntoCursorCell(app, book, QStringLiteral("typed"));
        QStringList typedOn;
        for (const char* sheet : {"S1", "S2", "S3", "S4", "S5"})
            if (app->workbook(book)->worksheet(QLatin1String(sheet))->cell(5, 3)->value() ==
                QStringLiteral("typed"))
                typedOn << QLatin1String(sheet);
        QCOMPARE(typedOn, QStringList{"S1"});
        calc::clickSheetTab(app, book, QStringLiteral("S2"));
        QCOMPARE(grouping(), QStringList{"S2"});
    }

    // A file-name field and a path-and-name field print their own book's
    // name and full address, once each, on the base and on every copy.
    void fileNameFields_printTheirOwnBook() {
        Scratch scratch;
        const auto app = m_connector->attach();
        QVERIFY(app);
        calc::closeAllDocuments(app);
        Korvex_M02::SetConnector(m_connector);
        QTemporaryDir dir;
        const QString base = dir.filePath(QStringLiteral("base.ods"));
        const QString target = dir.filePath(text("印刷先.ods"));
        const QString baseBook = text("[book base.ods]\n[sheet 原本]\nA1 = base\n"
                                      "pagesetup LeftFooter = &F\npagesetup RightFooter = &Z&F\n");
        const QString targetBook =
            text("[book 印刷先.ods]\n[sheet T1]\nA1 = 1\n[sheet T2]\nA1 = 2\n");
        for (const auto& [path, fixture] :
             {std::pair{base, baseBook}, std::pair{target, targetBook}}) {
            QString error;
            calc::writeWorkbookFile(app, path, *sim::parseFixture(fixture, &error));
            app->openWorkbook(path);
        }

        Korvex_F04 f;
        f.show();
        choose(child<QComboBox>(f, "Combo_Book"), QStringLiteral("base.ods"));
        choose(child<QComboBox>(f, "Combo_BookSel"), text("印刷先.ods"));
        select(targets(f), {"T1", "T2"});
        press(f, "Command_SetStart");

        for (const auto& [path, sheets] : {std::pair{base, QStringList{text("原本")}},
                                           std::pair{target, QStringList{"T1", "T2"}}}) {
            const QString book = QFileInfo(path).fileName();
            app->workbook(book)->selectSheets(sheets);
            const QString pdf = path + QStringLiteral(".pdf");
            calc::printGroupToFile(app, book, pdf);
            const QStringList pages = pdfText(pdf).split(u'\f');
            QVERIFY2(pages.size() > sheets.size(), qPrintable(pages.join('|')));
            for (int i = 0; i < sheets.size(); ++i) {
                QVERIFY2(pages[i].count(book) == 2 &&
                             pages[i].contains(QUrl::fromLocalFile(path).toString()),
                         qPrintable(pages[i]));
            }
        }
    }

    // ﾌﾟﾛﾊﾟﾃｨ opens the office's page-setup dialog on the base sheet; closing
    // it without a change leaves the page setup and the document as they were,
    // and the cursor comes back. A change made in it reaches the base sheet
    // alone, though all five sheets shared one page style.
    void pageSetupDialog_opensOnTheBaseSheet() {
        Scratch scratch;
        const auto app = loadFiveSheets(false);
        QVERIFY(app);
        Korvex_M02::SetConnector(m_connector);
        const QString book = text("印刷.xlsx");
        const QVariantList before = pageSetupOf(app, book, QStringLiteral("S3"));

        Korvex_F04 f;
        f.show();
        choose(child<QComboBox>(f, "Combo_Sheet"), QStringLiteral("S3"));
        QString sheetWhileOpen;
        {
            calc::OfficeDialogScript user(app, [&](host::Dialog dialog) {
                if (dialog == host::Dialog::PageSetup)
                    sheetWhileOpen = app->activeSheet()->name();
            });
            press(f, "Command_PrintSet");
            QCOMPARE(user.answered(), 1);
        }
        QCOMPARE(sheetWhileOpen, QStringLiteral("S3"));
        compareAll(pageSetupOf(app, book, QStringLiteral("S3")), before, QStringLiteral("S3"));
        QCOMPARE(pageStyleName(app, book, QStringLiteral("S3")),
                 pageStyleName(app, book, QStringLiteral("S1")));
        QVERIFY(!unsavedChanges(app, book));
        QCOMPARE(app->workbook(book)->window(1)->selectedSheets(), QStringList{"S4"});
        QCOMPARE(cursorOf(app), QStringLiteral("S4!C5"));
        QVERIFY(f.isEnabled());

        {
            calc::OfficeDialogScript user(app, [&](host::Dialog dialog) {
                if (dialog == host::Dialog::PageSetup)
                    turnActiveSheetsStyleLandscape(app);
            });
            press(f, "Command_PrintSet");
            QCOMPARE(user.answered(), 1);
        }
        const auto orientation = [&](const char* sheet) {
            return app->workbook(book)
                ->worksheet(QString::fromLatin1(sheet))
                ->pageSetup()
                ->get(PageProperty::Orientation)
                .toInt();
        };
        QCOMPARE(orientation("S3"), host::page::Landscape);
        for (const char* other : {"S1", "S2", "S4", "S5"})
            QCOMPARE(orientation(other), host::page::Portrait);
    }
};

QTEST_MAIN(CalcPrintWindowTest)
#include "calc_print_window_test.moc"
