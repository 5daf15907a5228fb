// All-at-once search on a real LibreOffice Calc: 100,000 cells holding
// 10,000 occurrences, collected the way the search engine does it (Find, then
// FindNext until the first occurrence comes round again, reading each
// occurrence's address and value) through the host interface, against the
// office's own findAll followed by reading each hit's address and value over
// UNO. Prints both times and their ratio.

#include "calc_fixtures.h"
#include "calc_model.h"
#include "private_office.h"
#include "uno_text.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XSearchDescriptor.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace korvex;
namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr int Rows = 1000;
constexpr int Columns = 100;

int interfaceWalk(const host::ApplicationPtr& app, const QString& book) {
    const auto sheet = app->workbook(book)->worksheet(1);
    const auto cells = sheet->cells();
    host::FindOptions options;
    options.what = QStringLiteral("hit");
    options.lookIn = host::LookIn::Values;
    auto hit = cells->find(options);
    if (!hit)
        return 0;
    const QString first = hit->address();
    int count = 0;
    do {
        ++count;
        hit->value(); // the result row records the cell's value
        hit = cells->findNext(hit);
    } while (hit && hit->address() != first);
    return count;
}

int unoFindAll(const host::ApplicationPtr& app, const QString& book) {
    auto calc = std::dynamic_pointer_cast<calc::CalcApplication>(app);
    const auto session = calc->session();
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(app->workbook(book))->document();
    return session->run(
        [doc] {
            Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
            Reference<css::container::XIndexAccess> sheets(d->getSheets(), UNO_QUERY_THROW);
            Reference<css::util::XSearchable> searchable(sheets->getByIndex(0), UNO_QUERY_THROW);
            auto descriptor = searchable->createSearchDescriptor();
            descriptor->setSearchString("hit");
            auto found = searchable->findAll(descriptor);
            Reference<css::sheet::XSheetCellRanges> ranges(found, UNO_QUERY_THROW);
            Reference<css::sheet::XSpreadsheet> sheet(searchable, UNO_QUERY_THROW);
            int count = 0;
            // findAll hands back merged ranges; each hit's address comes from
            // them, its value costs a remote call per cell.
            for (const auto& a : ranges->getRangeAddresses())
                for (sal_Int32 r = a.StartRow; r <= a.EndRow; ++r)
                    for (sal_Int32 c = a.StartColumn; c <= a.EndColumn; ++c) {
                        Reference<css::text::XText> text(sheet->getCellByPosition(c, r),
                                                         UNO_QUERY_THROW);
                        text->getString();
                        ++count;
                    }
            return count;
        },
        std::chrono::minutes(10));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
    calc::PrivateOffice office(QStringLiteral("bench"));
    QString error;
    if (!office.start(&error)) {
        std::fprintf(stderr, "cannot start LibreOffice: %s\n", qPrintable(error));
        return 1;
    }
    auto options = office.options();
    options.callTimeoutMs = 600000;
    const auto app = calc::makeConnector(options)->attach();
    const QString book = QStringLiteral("bench.xlsx");
    QString parseError;
    const auto fixture =
        sim::parseFixture(QStringLiteral("[book bench.xlsx]\n[sheet data]\n"), &parseError);
    calc::loadFixture(app, *fixture);
    std::vector<QStringList> rows(Rows);
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Columns; ++c) {
            const int n = r * Columns + c;
            rows[size_t(r)] << (n % 10 == 0 ? QStringLiteral("hit %1").arg(n)
                                            : QStringLiteral("item %1").arg(n));
        }
    calc::fillSheet(app, book, QStringLiteral("data"), rows);

    QElapsedTimer clock;
    clock.start();
    const int viaInterface = interfaceWalk(app, book);
    const double interfaceMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    const int viaFindAll = unoFindAll(app, book);
    const double findAllMs = clock.nsecsElapsed() / 1e6;

    std::printf("cells searched:                   %d\n", Rows * Columns);
    std::printf("host interface (find/findNext):   %d hits in %.1f ms (%.3f ms per hit)\n",
                viaInterface, interfaceMs, interfaceMs / std::max(1, viaInterface));
    std::printf("UNO findAll + addresses + values:%d hits in %.1f ms (%.3f ms per hit)\n",
                viaFindAll, findAllMs, findAllMs / std::max(1, viaFindAll));
    std::printf("ratio interface / findAll:        %.2f\n", interfaceMs / findAllMs);
    return viaInterface == viaFindAll ? 0 : 2;
}
