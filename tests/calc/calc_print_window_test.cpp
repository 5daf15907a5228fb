// The print window on a real LibreOffice Calc: the page-setup copy across two
// books, checked property by property, with header and footer fields still
// fields on the targets and every other sheet left alone.

#include "calc_fixtures.h"
#include "calc_model.h"
#include "print_env.h"
#include "private_office.h"
#include "uno_text.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/sheet/XHeaderFooterContent.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/text/XText.hpp>

#include <QAction>

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
    using css::uno::Reference;
    using css::uno::UNO_QUERY_THROW;
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(app->workbook(book))->document();
    return session->run([doc, sheet] {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        calc::SheetRef s(d->getSheets()->getByName(calc::toUno(sheet)), UNO_QUERY_THROW);
        const auto style = calc::uno_helpers::pageStyleOf(doc, s);
        int fields = 0;
        for (const char* property : {"RightPageHeaderContent", "RightPageFooterContent"}) {
            Reference<css::sheet::XHeaderFooterContent> content(
                style->getPropertyValue(rtl::OUString::createFromAscii(property)), UNO_QUERY_THROW);
            for (const auto& part :
                 {content->getLeftText(), content->getCenterText(), content->getRightText()}) {
                Reference<css::container::XEnumerationAccess> paragraphs(part, UNO_QUERY_THROW);
                const auto ps = paragraphs->createEnumeration();
                while (ps->hasMoreElements()) {
                    Reference<css::container::XEnumerationAccess> paragraph(ps->nextElement(),
                                                                            UNO_QUERY_THROW);
                    const auto portions = paragraph->createEnumeration();
                    while (portions->hasMoreElements()) {
                        Reference<css::beans::XPropertySet> portion(portions->nextElement(),
                                                                    UNO_QUERY_THROW);
                        rtl::OUString type;
                        portion->getPropertyValue("TextPortionType") >>= type;
                        if (type == "TextField")
                            ++fields;
                    }
                }
            }
        }
        return fields;
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
};

QTEST_MAIN(CalcPrintWindowTest)
#include "calc_print_window_test.moc"
