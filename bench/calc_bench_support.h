// What the Calc benches share: a private office to measure against, the
// rounds to run, timing and median, and the fastest listing UNO offers.
#pragma once

#include "calc_connector.h"
#include "calc_model.h"
#include "private_office.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/util/XSearchable.hpp>

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace korvex::bench {

// A bench's office calls may take minutes: building a million cells is one.
inline const auto Minutes = std::chrono::minutes(10);

// Five rounds unless KORVEX_BENCH_ROUNDS says otherwise.
inline int benchRounds() {
    const int asked = qEnvironmentVariableIntValue("KORVEX_BENCH_ROUNDS");
    return asked > 0 ? asked : 5;
}

inline double millisecondsOf(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Starts the bench's own office and gives a connector to it whose calls may
// run for minutes; null, with the reason printed, when the office won't start.
inline std::shared_ptr<host::Connector> connectToOffice(calc::PrivateOffice& office) {
    QString error;
    if (!office.start(&error)) {
        std::fprintf(stderr, "cannot start LibreOffice: %s\n", qPrintable(error));
        return nullptr;
    }
    auto options = office.options();
    options.callTimeoutMs = 600000;
    return calc::makeConnector(options);
}

inline css::uno::Reference<css::sheet::XSpreadsheet> unoSheet(const calc::DocRef& doc, int index) {
    using css::uno::Reference;
    using css::uno::UNO_QUERY_THROW;
    Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> sheets(d->getSheets(), UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(index), UNO_QUERY_THROW);
}

// findAll of "hit", the hits' addresses from the ranges it returns, and every
// hit's value from one read of the used area: the baseline a search is held to.
inline int unoListing(const calc::SessionPtr& session, const calc::DocRef& doc, int sheetIndex) {
    using css::uno::Reference;
    using css::uno::UNO_QUERY_THROW;
    return session->run(
        [doc, sheetIndex] {
            const auto sheet = unoSheet(doc, sheetIndex);
            Reference<css::util::XSearchable> searchable(sheet, UNO_QUERY_THROW);
            auto descriptor = searchable->createSearchDescriptor();
            descriptor->setSearchString("hit");
            Reference<css::sheet::XSheetCellRanges> ranges(searchable->findAll(descriptor),
                                                           UNO_QUERY_THROW);
            const auto addresses = ranges->getRangeAddresses();
            auto cursor = sheet->createCursor();
            Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
            used->gotoStartOfUsedArea(false);
            used->gotoEndOfUsedArea(true);
            const auto area = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)
                                  ->getRangeAddress();
            const auto data =
                Reference<css::sheet::XCellRangeData>(cursor, UNO_QUERY_THROW)->getDataArray();
            int count = 0;
            for (const auto& a : addresses)
                for (sal_Int32 r = a.StartRow; r <= a.EndRow; ++r)
                    for (sal_Int32 c = a.StartColumn; c <= a.EndColumn; ++c) {
                        rtl::OUString value;
                        data[r - area.StartRow][c - area.StartColumn] >>= value;
                        count += value.isEmpty() ? 0 : 1;
                    }
            return count;
        },
        Minutes);
}

} // namespace korvex::bench
