// Listing big books and many books on a real LibreOffice Calc, and what the
// user waits for on top of it.
//
// Sheets: the host's one-call sheet list of a 300-sheet book (and the
// worksheet names the windows show) against one getElementNames() of the
// same book's sheets; once for sheets that hold data, once for empty sheets,
// where each sheet is asked about charts. Then the print, search and replace
// windows opened on that book, each until it has listed the book's sheets.
//
// Books: the host's one-call book list with 50 books open (and the visible
// names the windows show) against one enumeration of the desktop's
// components; the close-several dialog opened on them, and all 50 closed
// with "強制終了".
//
// Prints each figure and its ratio to the baseline measured in the same run
// (the median of several rounds).

#include "app_state.h"
#include "calc_fixtures.h"
#include "calc_model.h"
#include "close_books_dialog.h"
#include "host_helpers.h"
#include "messages.h"
#include "print_window.h"
#include "private_office.h"
#include "replace_window.h"
#include "scratch_install.h"
#include "scripted_ui.h"
#include "search_window.h"
#include "work_database.h"

#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace korvex;
namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr int Rounds = 15;
constexpr int SheetCount = 300;
constexpr int BookCount = 50;

double millisecondsOf(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

double medianOf(const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < Rounds; ++i)
        times.push_back(millisecondsOf(work));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void printRatio(const char* what, double ms, double baselineMs) {
    std::printf("%-52s %9.2f ms  ratio %.2f\n", what, ms, ms / baselineMs);
}

void printTime(const char* what, double ms) {
    std::printf("%-52s %9.2f ms\n", what, ms);
}

calc::SessionPtr sessionOf(const host::ApplicationPtr& app) {
    return std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
}

void load(const host::ApplicationPtr& app, const QString& text) {
    QString error;
    const auto fixture = sim::parseFixture(text, &error, QStringLiteral("bench"));
    if (!fixture)
        qFatal("bench fixture: %s", qPrintable(error));
    calc::loadFixture(app, *fixture);
}

QString bigBook(const QString& name, bool withData) {
    QString text = QStringLiteral("[book %1]\nactive\n").arg(name);
    for (int i = 1; i <= SheetCount; ++i)
        text += withData ? QStringLiteral("[sheet S%1]\nA1 = %1\n").arg(i)
                         : QStringLiteral("[sheet S%1]\n").arg(i);
    return text;
}

// Opens a window as the main window's menu does and lets it paint once.
template <class W> double openWindow() {
    W* window = nullptr;
    const double ms = millisecondsOf([&] {
        window = new W;
        window->show();
        QCoreApplication::processEvents();
    });
    window->close();
    delete window;
    return ms;
}

void benchSheets(const host::ApplicationPtr& app, bool withData) {
    const QString name = withData ? QStringLiteral("data.ods") : QStringLiteral("empty.ods");
    load(app, bigBook(name, withData));
    const auto book = app->workbook(name);
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(book)->document();
    const auto session = sessionOf(app);
    const double names = medianOf([&] {
        session->run([doc] {
            Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
            return d->getSheets()->getElementNames().getLength();
        });
    });
    size_t listed = 0;
    const double list = medianOf([&] { listed = book->sheetList().size(); });
    QStringList shown;
    const double helper = medianOf([&] { Korvex_M02::ListSheets(shown, name); });
    if (listed != SheetCount || shown.size() != SheetCount)
        qFatal("listed %zu sheets, shown %lld", listed, qlonglong(shown.size()));
    std::printf("\n%d sheets %s\n", SheetCount, withData ? "holding data" : "all empty");
    printTime("getElementNames() (baseline)", names);
    printRatio("Workbook::sheetList", list, names);
    printRatio("ListSheets (worksheet names)", helper, names);
    if (!withData)
        return;
    printTime("print window open, sheets listed", openWindow<Korvex_F04>());
    printTime("search window open, sheets listed", openWindow<Korvex_F02>());
    printTime("replace window open, sheets listed", openWindow<Korvex_F03>());
}

void benchBooks(const host::ApplicationPtr& app) {
    calc::closeAllDocuments(app);
    QString text;
    for (int i = 1; i <= BookCount; ++i)
        text += QStringLiteral("[book B%1.ods]\n%2[sheet S]\nA1 = %1\n")
                    .arg(i)
                    .arg(i == BookCount ? QStringLiteral("active\n") : QString());
    load(app, text);
    const auto session = sessionOf(app);
    const double enumeration = medianOf([&] {
        session->run([d = session->desktop()] {
            auto e = d->getComponents()->createEnumeration();
            int n = 0;
            while (e->hasMoreElements()) {
                e->nextElement();
                ++n;
            }
            return n;
        });
    });
    size_t listed = 0;
    const double list = medianOf([&] { listed = app->bookList().size(); });
    QStringList shown;
    const double helper = medianOf([&] { Korvex_M02::ListBooks(shown); });
    if (listed != BookCount || shown.size() != BookCount)
        qFatal("listed %zu books, shown %lld", listed, qlonglong(shown.size()));
    std::printf("\n%d books open\n", BookCount);
    printTime("desktop components enumerated (baseline)", enumeration);
    printRatio("Application::bookList", list, enumeration);
    printRatio("ListBooks (visible names)", helper, enumeration);

    Korvex_F0102* dialog = nullptr;
    printTime("close-several dialog open, books listed", millisecondsOf([&] {
                  dialog = new Korvex_F0102;
                  dialog->show();
                  QCoreApplication::processEvents();
              }));
    if (dialog->bookList()->count() != BookCount)
        qFatal("the dialog lists %d books", dialog->bookList()->count());
    dialog->bookList()->selectAll();
    printTime("all closed with 強制終了", millisecondsOf([&] { dialog->button(0)->click(); }));
    delete dialog;
    if (!app->bookList().empty())
        qFatal("books left open after 強制終了");
}

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QTemporaryDir dir;
    bench::installScratch(dir.path());
    test::ScriptedUi ui; // a message would otherwise wait for a click

    calc::PrivateOffice office(QStringLiteral("listbench"));
    QString error;
    if (!office.start(&error))
        qFatal("%s", qPrintable(error));
    Korvex_M02::SetConnector(office.connector());
    if (!Korvex_M02::AttachExcel())
        qFatal("no office");
    const auto app = Korvex_M02::ExcelApp;

    benchSheets(app, true);
    benchSheets(app, false);
    benchBooks(app);

    Korvex_M02::ExcelApp.reset();
    Korvex_M02::SetConnector(nullptr);
    Korvex_M01::WorkDb().DisConnect();
    return 0;
}
