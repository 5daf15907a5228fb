// The page-setup copy of the print window on a real LibreOffice Calc: one
// base sheet copied to all 300 sheets of a 300-sheet book by pressing 設定開始,
// against one UNO loop that sets the same properties on the same page styles
// directly (the base's values read beforehand, its header and footer contents
// handed over whole). The first copy gives every target a page style of its
// own (they all share one at the start); the baseline then works on those
// styles, and a second copy onto them is timed too. Last, ｷｬﾝｾﾙ is clicked
// during five runs and the time from the click until the run has stopped and
// the user's place is put back is printed. The click goes through the window
// system (xdotool), so that it waits while a call into the office is under
// way, as a user's does: run under an X server (xvfb-run); without one the
// stop is not measured.
//
// Prints each time and its ratio to the baseline; asserts nothing but that
// the copies match the base.

#include "calc_fixtures.h"
#include "calc_model.h"
#include "print_env.h"
#include "private_office.h"
#include "uno_text.h"

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace korvex;
using namespace printtest;
namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr int Targets = 300;

QString fixtureText() {
    QString text = QStringLiteral(R"([book base.xlsx]
active
[sheet base]
active
A1 = base
pagesetup CenterHeader = &A
pagesetup RightHeader = &D &T
pagesetup LeftFooter = &F
pagesetup RightFooter = &P / &N
pagesetup PrintTitleRows = $1:$2
pagesetup PrintArea = $A$1:$H$60
pagesetup LeftMargin = 30
pagesetup TopMargin = 60
pagesetup PrintGridlines = TRUE
pagesetup CenterHorizontally = TRUE
pagesetup Orientation = 2
pagesetup Order = 2
pagesetup FirstPageNumber = 3
pagesetup Zoom = FALSE
pagesetup FitToPagesWide = 1
pagesetup FitToPagesTall = FALSE
[book big.xlsx]
)");
    for (int i = 1; i <= Targets; ++i)
        text += QStringLiteral("[sheet S%1]\nA1 = %1\n").arg(i, 3, 10, QLatin1Char('0'));
    return text;
}

using Props = Reference<css::beans::XPropertySet>;

// What the loop sets on each target's page style, as Calc names it.
const char* const StyleProperties[] = {
    "LeftMargin",
    "RightMargin",
    "TopMargin",
    "BottomMargin",
    "HeaderBodyDistance",
    "FooterBodyDistance",
    "PrintHeaders",
    "PrintGrid",
    "CenterHorizontally",
    "CenterVertically",
    "PrintAnnotations",
    "IsLandscape",
    "Size",
    "FirstPageNumber",
    "PrintDownFirst",
    "HeaderIsOn",
    "FooterIsOn",
    "RightPageHeaderContent",
    "LeftPageHeaderContent",
    "RightPageFooterContent",
    "LeftPageFooterContent",
    "ScaleToPagesX",
    "ScaleToPagesY",
};

Reference<css::container::XNameAccess> pageStyles(const calc::DocRef& doc) {
    Reference<css::style::XStyleFamiliesSupplier> families(doc, UNO_QUERY_THROW);
    return Reference<css::container::XNameAccess>(
        families->getStyleFamilies()->getByName("PageStyles"), UNO_QUERY_THROW);
}

Props styleOf(const calc::DocRef& doc, const Reference<css::sheet::XSpreadsheet>& sheet) {
    rtl::OUString name;
    Props(sheet, UNO_QUERY_THROW)->getPropertyValue("PageStyle") >>= name;
    return Props(pageStyles(doc)->getByName(name), UNO_QUERY_THROW);
}

Reference<css::sheet::XSpreadsheet> sheetAt(const calc::DocRef& doc, int index) {
    Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> sheets(d->getSheets(), UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(index), UNO_QUERY_THROW);
}

// The baseline: the base's values read once, then every target's style and
// print ranges set directly, all in one task on the office's connection.
double unoLoop(const std::shared_ptr<calc::Session>& session, const calc::DocRef& baseDoc,
               const calc::DocRef& doc) {
    QElapsedTimer clock;
    clock.start();
    session->run([baseDoc, doc] {
        const auto base = sheetAt(baseDoc, 0);
        const Props baseStyle = styleOf(baseDoc, base);
        std::vector<Any> values;
        for (const char* name : StyleProperties)
            values.push_back(baseStyle->getPropertyValue(rtl::OUString::createFromAscii(name)));
        Reference<css::sheet::XPrintAreas> baseAreas(base, UNO_QUERY_THROW);
        const auto areas = baseAreas->getPrintAreas();
        const auto titleRows = baseAreas->getTitleRows();
        for (int i = 0; i < Targets; ++i) {
            const auto sheet = sheetAt(doc, i);
            const Props style = styleOf(doc, sheet);
            for (size_t p = 0; p < std::size(StyleProperties); ++p)
                style->setPropertyValue(rtl::OUString::createFromAscii(StyleProperties[p]),
                                        values[p]);
            Reference<css::sheet::XPrintAreas> target(sheet, UNO_QUERY_THROW);
            auto rows = titleRows;
            rows.Sheet = sal_Int16(i);
            target->setTitleRows(rows);
            target->setPrintTitleRows(true);
            target->setPrintTitleColumns(false);
            css::uno::Sequence<css::table::CellRangeAddress> own(areas.getLength());
            for (sal_Int32 k = 0; k < areas.getLength(); ++k) {
                own.getArray()[k] = areas[k];
                own.getArray()[k].Sheet = sal_Int16(i);
            }
            target->setPrintAreas(own);
        }
    });
    return double(clock.nsecsElapsed()) / 1e6;
}

// Presses 設定開始 with every sheet of the big book as a target; the time
// until the run is over.
double copyAll(Korvex_F04& f) {
    child<QAction>(f, "SM_SelAll")->trigger();
    QElapsedTimer clock;
    clock.start();
    press(f, "Command_SetStart");
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const bool realClicks = !qEnvironmentVariableIsEmpty("DISPLAY") &&
                            !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
    if (!realClicks && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("KORVEX_RESOURCE_DIR"))
        qputenv("KORVEX_RESOURCE_DIR", KORVEX_RESOURCE_DIR);
    QApplication qapp(argc, argv);
    calc::PrivateOffice office(QStringLiteral("page-setup-bench"));
    QString error;
    if (!office.start(&error)) {
        std::fprintf(stderr, "cannot start LibreOffice: %s\n", qPrintable(error));
        return 1;
    }
    auto options = office.options();
    options.callTimeoutMs = 600000;
    const auto connector = calc::makeConnector(options);
    const auto app = connector->attach();
    QString parseError;
    calc::loadFixture(app, *sim::parseFixture(fixtureText(), &parseError));
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const auto docOf = [&](const char* book) {
        return std::static_pointer_cast<calc::CalcWorkbook>(app->workbook(QLatin1String(book)))
            ->document();
    };

    Scratch scratch;
    Korvex_M02::SetConnector(connector);
    Korvex_F04 f;
    f.move(40, 40);
    f.show();
    if (!QTest::qWaitForWindowExposed(&f))
        std::fprintf(stderr, "the print window was not shown\n");
    choose(child<QComboBox>(f, "Combo_BookSel"), QStringLiteral("big.xlsx"));

    const double firstMs = copyAll(f);
    const double secondMs = copyAll(f);
    const double loopMs = unoLoop(session, docOf("base.xlsx"), docOf("big.xlsx"));

    // Every target carries the base's page setup, fit to one page wide.
    const auto base = app->workbook(QStringLiteral("base.xlsx"))
                          ->worksheet(QStringLiteral("base"))
                          ->pageSetup()
                          ->getAll();
    int mismatches = 0;
    for (int i : {1, Targets / 2, Targets}) {
        const auto copy = app->workbook(QStringLiteral("big.xlsx"))
                              ->worksheet(QStringLiteral("S%1").arg(i, 3, 10, QLatin1Char('0')))
                              ->pageSetup()
                              ->getAll();
        for (int p = 0; p < host::PagePropertyCount; ++p) {
            const QVariant a = base.values[size_t(p)], b = copy.values[size_t(p)];
            const bool same = a.typeId() == QMetaType::Double
                                  ? std::abs(a.toDouble() - b.toDouble()) < 0.05
                                  : a == b;
            if (!same) {
                ++mismatches;
                std::printf("S%03d %s: base %s, copy %s\n", i,
                            host::pagePropertyName(host::PageProperty(p)), qPrintable(a.toString()),
                            qPrintable(b.toString()));
            }
        }
        if (copy.fitToPagesWide != base.fitToPagesWide ||
            copy.fitToPagesTall != base.fitToPagesTall)
            ++mismatches;
    }

    // Five runs, each stopped well into its loop over the targets and a little
    // later into its target than the last.
    QList<double> stopMs;
    if (realClicks) {
        const auto* cancel = child<QPushButton>(f, "Command_Cancel");
        const QPoint at = cancel->mapToGlobal(cancel->rect().center());
        for (int delay = 3000; delay < 4100; delay += 230) {
            QElapsedTimer sinceClick;
            QTimer::singleShot(delay, &f, [&] {
                // Counted from before xdotool starts: an upper bound.
                sinceClick.start();
                QProcess::execute(QStringLiteral("xdotool"),
                                  {QStringLiteral("mousemove"), QString::number(at.x()),
                                   QString::number(at.y()), QStringLiteral("click"),
                                   QStringLiteral("1")});
            });
            copyAll(f);
            stopMs << double(sinceClick.nsecsElapsed()) / 1e6;
        }
    }

    std::printf("copy to %d targets of a %d-sheet book:\n", Targets, Targets);
    std::printf("  UNO loop setting the properties directly: %8.0f ms\n", loopMs);
    std::printf("  first copy (each target gets its own style): %8.0f ms  ratio %.2f\n", firstMs,
                firstMs / loopMs);
    std::printf("  second copy (styles already own):          %8.0f ms  ratio %.2f\n", secondMs,
                secondMs / loopMs);
    std::printf("  per target: %.1f ms (first), %.1f ms (second)\n", firstMs / Targets,
                secondMs / Targets);
    if (realClicks) {
        std::printf("ｷｬﾝｾﾙ clicked during a run: stopped, the user's place put back, after");
        for (double ms : stopMs)
            std::printf(" %.0f", ms);
        std::printf(" ms (max %.0f)\n", *std::max_element(stopMs.begin(), stopMs.end()));
    } else {
        std::printf("ｷｬﾝｾﾙ not measured: needs an X server and xdotool\n");
    }
    std::printf("copies %s\n", mismatches ? "DIFFER from the base" : "match the base");
    return mismatches ? 2 : 0;
}
