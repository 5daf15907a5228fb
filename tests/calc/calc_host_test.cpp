// The Calc host where a real office behaves in ways the contract cannot
// stage: an office that dies, freezes or loses a document between two calls,
// page styles shared by sheets, printing a group, and bulk reads that must
// still see every edit.

#include "calc_cell_io.h"
#include "calc_fixtures.h"
#include "calc_model.h"
#include "host_helpers.h"
#include "private_office.h"
#include "responsive_wait.h"
#include "uno_text.h"

#include <com/sun/star/awt/AsyncCallback.hpp>
#include <com/sun/star/awt/XCallback.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <cppuhelper/implbase1.hxx>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

using namespace korvex;
using host::HostError;
using host::PageProperty;

namespace {

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

host::ApplicationPtr load(host::Connector& connector, const char* fixtureText) {
    auto app = connector.attach();
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

QStringList walk(host::Sheet& sheet, const host::FindOptions& options) {
    const auto cells = sheet.cells();
    const auto first = cells->find(options);
    if (!first)
        return {};
    QStringList out{first->address()};
    for (auto hit = cells->findNext(first); hit && hit->address() != out.first();
         hit = cells->findNext(hit))
        out << hit->address();
    return out;
}

const char* const ThreeSheets = R"(
[book 共有.xlsx]
[sheet 基本]
A1 = 基本
[sheet 対象]
A1 = 対象
[sheet 他]
A1 = 他
)";

const char* const FiveSheets = R"(
[book 印刷.xlsx]
[sheet S1]
A1 = one
[sheet S2]
A1 = two
[sheet S3]
A1 = three
[sheet S4]
A1 = four
[sheet S5]
A1 = five
)";

const char* const Numbers = R"(
[book 数.xlsx]
[sheet 値]
A1 = =0.1+0.2
A2 = 1234567 | | 1,234,567
A3 = 0.5 | | 50%
A4 = 2.5
A5 = =1/3
A6 = 45296 | | 2024/01/05
A7 = 値
)";

// Texts to replace in: constants, one a formula refers to, and a note.
const char* const OwnWrites = R"(
[book 自筆.xlsx]
[sheet 表]
A1 = a-a
B1 = xa
C1 = b
A2 = ab
B2 = =B1 | xa
C3 = c
note C3 = a note
)";

QStringList hitsOf(const std::vector<host::FoundCell>& found) {
    QStringList out;
    for (const auto& f : found)
        out << f.address + u'=' + f.valueText;
    return out;
}

// Enters a cell's text from the office's main thread, where the user's own
// edits happen, and waits until it is done.
class OfficeThreadEdit : public cppu::WeakImplHelper1<css::awt::XCallback> {
public:
    OfficeThreadEdit(css::uno::Reference<css::table::XCell> cell, rtl::OUString text,
                     std::shared_ptr<std::promise<void>> done)
        : m_cell(std::move(cell)), m_text(std::move(text)), m_done(std::move(done)) {}
    void SAL_CALL notify(const css::uno::Any&) override {
        try {
            m_cell->setFormula(m_text);
            m_done->set_value();
        } catch (...) {
            m_done->set_exception(std::current_exception());
        }
    }

private:
    css::uno::Reference<css::table::XCell> m_cell;
    rtl::OUString m_text;
    std::shared_ptr<std::promise<void>> m_done;
};

bool typeInOffice(const host::ApplicationPtr& app, const QString& book, const QString& sheetName,
                  int column0, int row0, const QString& typed) {
    using css::uno::Reference;
    using css::uno::UNO_QUERY_THROW;
    const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
    const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(app->workbook(book))->document();
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    session->run([ctx = session->context(), doc, sheetName, column0, row0, typed, done] {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        Reference<css::table::XCellRange> sheet(d->getSheets()->getByName(calc::toUno(sheetName)),
                                                UNO_QUERY_THROW);
        css::awt::AsyncCallback::create(ctx)->addCallback(
            new OfficeThreadEdit(sheet->getCellByPosition(column0, row0), calc::toUno(typed), done),
            css::uno::Any());
    });
    if (finished.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
        return false;
    finished.get();
    return true;
}

} // namespace

// ---------------------------------------------------------------------------

class CalcFailureTest : public QObject {
    Q_OBJECT
    std::unique_ptr<calc::PrivateOffice> m_office;

    std::shared_ptr<host::Connector> connector(int timeoutMs = 15000) {
        auto options = m_office->options();
        options.callTimeoutMs = timeoutMs;
        return calc::makeConnector(options);
    }

private slots:
    void init() {
        m_office = std::make_unique<calc::PrivateOffice>(QStringLiteral("failure"));
        QString error;
        QVERIFY2(m_office->start(&error), qPrintable(error));
    }
    void cleanup() { m_office.reset(); }

    // Every user action checks the office first; checks in quick succession
    // must all find the live office and keep its one connection.
    void liveOffice_keepsItsConnectionThroughQuickChecks() {
        auto conn = connector(15000);
        const auto app = conn->attach();
        QVERIFY(app);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(conn->attach(), app);
        QCOMPARE(app->workbookCount(), 0);
    }

    // Two connectors to one office (Korvex's own and a tool's, or two tests
    // of one process): letting either go, in either order, leaves the other
    // working, and a connector made after both were gone attaches afresh.
    void twoConnectors_eachOutlivesTheOther_data() {
        QTest::addColumn<bool>("firstGoesFirst");
        QTest::newRow("first released first") << true;
        QTest::newRow("second released first") << false;
    }
    void twoConnectors_eachOutlivesTheOther() {
        QFETCH(bool, firstGoesFirst);
        auto first = connector();
        auto firstApp = load(*first, ThreeSheets);
        QVERIFY(firstApp);
        auto second = connector();
        auto secondApp = second->attach();
        QVERIFY(secondApp);
        const auto book = secondApp->workbook(text("共有.xlsx"));
        if (firstGoesFirst) {
            firstApp.reset();
            first.reset();
        } else {
            secondApp.reset();
            second.reset();
        }
        auto& staying = firstGoesFirst ? second : first;
        const auto app = staying->attach();
        QVERIFY(app);
        QCOMPARE(app->workbookCount(), 1);
        QCOMPARE(app->workbook(1)->worksheet(2)->name(), text("対象"));
        if (firstGoesFirst)
            QCOMPARE(book->worksheetCount(), 3);
        firstApp.reset();
        secondApp.reset();
        first.reset();
        second.reset();
        QCOMPARE(connector()->attach()->workbook(1)->name(), text("共有.xlsx"));
    }

    void noOffice_attachFindsNothingQuickly() {
        auto options = m_office->options();
        options.pipeName = QStringLiteral("korvex-nobody-listens-here");
        QVERIFY(!calc::makeConnector(options)->attach());
    }

    void killedMidSearch_failsCleanlyAndReattachesAfterRestart() {
        auto conn = connector();
        auto app = load(*conn, "[book 大.xlsx]\n[sheet 表]\n");
        QVERIFY(app);
        std::vector<QStringList> rows(400, QStringList());
        for (int r = 0; r < 400; ++r)
            for (int c = 0; c < 50; ++c)
                rows[size_t(r)] << QString::number(r * 50 + c + 0.5);
        calc::fillSheet(app, text("大.xlsx"), text("表"), rows);
        const auto sheet = app->workbook(text("大.xlsx"))->worksheet(1);

        // Searching displayed texts of numbers keeps the office busy; it is
        // killed while the search runs.
        std::atomic<bool> started{false};
        auto searching = std::async(std::launch::async, [&]() -> QString {
            host::FindOptions options;
            options.what = QStringLiteral("5");
            options.lookIn = host::LookIn::Values;
            try {
                for (;;) {
                    started = true;
                    walk(*sheet, options);
                }
            } catch (const HostError& e) {
                return e.message();
            }
        });
        while (!started)
            QThread::msleep(10);
        QThread::msleep(300);
        m_office->kill();
        QVERIFY2(searching.wait_for(std::chrono::seconds(20)) == std::future_status::ready,
                 "the search hangs after the office died");
        QVERIFY(!searching.get().isEmpty());

        QVERIFY_THROWS_EXCEPTION(HostError, app->workbookCount());
        QVERIFY(!conn->attach());
        // Nothing of the dead connection is kept, its watched book included.
        QCOMPARE(
            std::dynamic_pointer_cast<calc::CalcApplication>(app)->searchCache().watchedCount(), 0);

        QString error;
        QVERIFY2(m_office->start(&error), qPrintable(error));
        const auto again = conn->attach();
        QVERIFY(again);
        QVERIFY(again != app);
        QCOMPARE(again->workbookCount(), 0);
    }

    void frozenOffice_endsInHostErrorNotAHang() {
        auto conn = connector(2000);
        auto app = load(*conn, ThreeSheets);
        QVERIFY(app);
        QCOMPARE(app->workbookCount(), 1);
        m_office->freeze();
        // The call's deadline ends it (a hang would run into the test's time
        // limit); the connection is given up, so later calls fail too.
        QVERIFY_THROWS_EXCEPTION(HostError, app->workbookCount());
        QVERIFY_THROWS_EXCEPTION(HostError, app->activeWorkbook());
        QVERIFY(!conn->attach());

        // Once it runs again the next attach (the next user action) finds it.
        m_office->thaw();
        host::ApplicationPtr again;
        QTRY_VERIFY_WITH_TIMEOUT((again = conn->attach()) != nullptr, 20000);
        QCOMPARE(again->workbook(1)->name(), text("共有.xlsx"));
    }

    // While the office stays frozen, user actions hear "no host", and asking
    // again starts no further stuck calls: one call at most is ever left in
    // the frozen office (how long the answers take: bench/calc_frozen_bench).
    void frozenOffice_attachBacksOffWithOneStuckCall() {
        auto conn = connector(15000);
        auto app = load(*conn, ThreeSheets);
        QVERIFY(app);
        const int calm = calc::callsUnderWay();
        m_office->freeze();
        // The wait for the frozen office's answer runs Korvex's timers; one
        // that attaches meanwhile hears at once of the connection last known.
        host::ApplicationPtr fromTimer;
        bool timerRan = false;
        QTimer::singleShot(0, [&] {
            fromTimer = conn->attach();
            timerRan = true;
        });
        QVERIFY(!conn->attach());
        QVERIFY(timerRan);
        QVERIFY(fromTimer == app);
        QVERIFY(calc::callsUnderWay() <= calm + 1);
        const auto threads = [] { return QDir(QStringLiteral("/proc/self/task")).count(); };
        const auto before = threads();
        // Once the given-up call has come back, one new connection attempt
        // may wait out its handshake; every other check starts no call.
        for (int i = 0; i < 5; ++i) {
            QVERIFY(!conn->attach());
            QVERIFY2(calc::callsUnderWay() <= calm + 1,
                     qPrintable(QString::number(calc::callsUnderWay() - calm)));
        }
        QVERIFY(threads() <= before);
        m_office->thaw();
        host::ApplicationPtr again;
        QTRY_VERIFY_WITH_TIMEOUT((again = conn->attach()) != nullptr, 20000);
        QCOMPARE(again->workbook(1)->name(), text("共有.xlsx"));
    }

    // An office the user started without Korvex's pipe is handed the pipe
    // by the first attach; its profile is left alone.
    void officeWithoutThePipe_isHandedItOnAttach() {
        m_office = std::make_unique<calc::PrivateOffice>(QStringLiteral("nopipe"));
        QString error;
        QVERIFY2(m_office->start(&error, false), qPrintable(error));
        auto conn = connector();
        const auto app = conn->attach();
        QVERIFY(app);
        QCOMPARE(app->workbookCount(), 0);
    }

    void documentClosedBetweenCalls_raisesAndTheHostLivesOn() {
        auto conn = connector();
        auto app = load(*conn, ThreeSheets);
        QVERIFY(app);
        const auto book = app->workbook(text("共有.xlsx"));
        const auto sheet = book->worksheet(text("基本"));
        const auto cells = sheet->cells();
        const auto cell = sheet->range("A1");
        const auto setup = sheet->pageSetup();
        host::FindOptions options;
        options.what = text("基本");
        auto& cache = std::dynamic_pointer_cast<calc::CalcApplication>(app)->searchCache();
        QCOMPARE(sheet->findAll(options).size(), size_t(1));
        QCOMPARE(cache.watchedCount(), 1);
        calc::closeAllDocuments(app); // as if the user closed it in the office
        // The office drops a closed book's listeners; Korvex lets go of it too.
        QCOMPARE(cache.watchedCount(), 0);

        QVERIFY_THROWS_EXCEPTION(HostError, book->name());
        QVERIFY_THROWS_EXCEPTION(HostError, book->activeSheet());
        QVERIFY_THROWS_EXCEPTION(HostError, sheet->name());
        QVERIFY_THROWS_EXCEPTION(HostError, cells->find(options));
        QVERIFY_THROWS_EXCEPTION(HostError, cell->value());
        QVERIFY_THROWS_EXCEPTION(HostError, cell->setValue(1));
        QVERIFY_THROWS_EXCEPTION(HostError, setup->get(PageProperty::Orientation));
        QCOMPARE(app->workbookCount(), 0);
        QVERIFY(conn->attach() == app);
    }
};

// ---------------------------------------------------------------------------

class CalcBehaviourTest : public QObject {
    Q_OBJECT
    std::unique_ptr<calc::PrivateOffice> m_office;
    std::shared_ptr<host::Connector> m_connector;

private slots:
    void initTestCase() {
        m_office = std::make_unique<calc::PrivateOffice>(QStringLiteral("behaviour"));
        QString error;
        QVERIFY2(m_office->start(&error), qPrintable(error));
        m_connector = m_office->connector();
    }
    void cleanupTestCase() {
        m_connector.reset();
        m_office.reset();
    }

    // A call that keeps the office busy for a while leaves Korvex's windows
    // painting and its timers running, and still answers with its result; a
    // quick call is not held up by it.
    void longCall_letsTheWindowsPaint() {
        const auto app = m_connector->attach();
        QVERIFY(app);
        const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
        int ticks = 0;
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start();
        const int answer = session->run([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return 7;
        });
        const int ticksDuringLongCall = ticks;
        QCOMPARE(answer, 7);
        QVERIFY2(ticksDuringLongCall >= 5, qPrintable(QString::number(ticksDuringLongCall)));
        ticks = 0;
        QCOMPARE(session->run([] { return 8; }), 8);
        QCOMPARE(ticks, 0);
        timer.stop();

        // Keys typed while the office works, whichever way Korvex waits for
        // it, reach the window once it has answered, all and in order; a
        // window closed meanwhile closes then, once.
        struct Closing : QWidget {
            int asked = 0;
            void closeEvent(QCloseEvent* event) override {
                ++asked;
                QWidget::closeEvent(event);
            }
        };
        const auto busy = [] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };
        const std::function<void()> waits[] = {
            [&] { session->run(busy); },
            [&] { session->runWhileAlive(busy); },
            [] { calc::pauseResponsively(std::chrono::milliseconds(300)); },
        };
        QLineEdit edit;
        edit.show();
        for (const auto& wait : waits) {
            edit.clear();
            Closing window;
            window.show();
            QTimer typing;
            typing.setInterval(20);
            int typed = 0;
            QObject::connect(&typing, &QTimer::timeout, [&] {
                if (typed < 5)
                    QCoreApplication::postEvent(
                        &edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_A + typed, Qt::NoModifier,
                                             QString(QChar(u'a' + typed))));
                if (typed == 2 || typed == 3)
                    window.close();
                ++typed;
            });
            typing.start();
            wait();
            typing.stop();
            QCOMPARE(window.asked, 0);
            QCoreApplication::processEvents();
            QCOMPARE(edit.text(), QStringLiteral("abcde"));
            QCOMPARE(window.asked, 1);
            QVERIFY(!window.isVisible());
        }
    }

    // Page-setup values Calc has no place for stay out of the user's file.
    void pageSetupExtras_stayOutOfTheDocument() {
        const auto app = load(*m_connector, FiveSheets);
        QVERIFY(app);
        const auto book = app->workbook(text("印刷.xlsx"));
        const auto setup = book->worksheet(QStringLiteral("S2"))->pageSetup();
        setup->set(PageProperty::Draft, true);
        setup->set(PageProperty::BlackAndWhite, true);
        setup->set(PageProperty::PrintQuality, 300);
        QCOMPARE(setup->get(PageProperty::Draft), QVariant(true));
        const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(book)->document();
        const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
        const int stored = session->run([doc] {
            css::uno::Reference<css::document::XDocumentPropertiesSupplier> s(
                doc, css::uno::UNO_QUERY_THROW);
            css::uno::Reference<css::beans::XPropertySet> user(
                s->getDocumentProperties()->getUserDefinedProperties(), css::uno::UNO_QUERY_THROW);
            return int(user->getPropertySetInfo()->getProperties().getLength());
        });
        QCOMPARE(stored, 0);
    }

    // The office's folder is a build setting that UNO_PATH overrides, and
    // the connection's runtime is bootstrapped from it.
    void officeFolder_fromTheBuildSettingOrUnoPath() {
        const QString built = calc::officeProgramDir();
        QVERIFY(QFile::exists(built + QStringLiteral("/fundamentalrc")));
        qputenv("UNO_PATH", "/opt/elsewhere/program");
        QCOMPARE(calc::officeProgramDir(), QString("/opt/elsewhere/program"));
        qunsetenv("UNO_PATH");
        QCOMPARE(calc::officeProgramDir(), built);
    }

    void pageSetupWrite_leavesSheetsThatSharedTheStyleAlone_data() {
        QTest::addColumn<int>("property");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("orientation")
            << int(PageProperty::Orientation) << QVariant(host::page::Landscape);
        QTest::newRow("left margin") << int(PageProperty::LeftMargin) << QVariant(50.4);
        QTest::newRow("header") << int(PageProperty::CenterHeader) << QVariant(text("社外秘"));
        QTest::newRow("title rows") << int(PageProperty::PrintTitleRows) << QVariant("$1:$2");
        QTest::newRow("zoom") << int(PageProperty::Zoom) << QVariant(60);
        QTest::newRow("draft") << int(PageProperty::Draft) << QVariant(true);
    }

    void pageSetupWrite_leavesSheetsThatSharedTheStyleAlone() {
        QFETCH(int, property);
        QFETCH(QVariant, value);
        const auto p = PageProperty(property);
        const auto app = load(*m_connector, ThreeSheets);
        QVERIFY(app);
        const auto book = app->workbook(text("共有.xlsx"));
        const QVariant before = book->worksheet(text("他"))->pageSetup()->get(p);
        QVERIFY(before != value);

        book->worksheet(text("対象"))->pageSetup()->set(p, value);
        QCOMPARE(book->worksheet(text("対象"))->pageSetup()->get(p), value);
        QCOMPARE(book->worksheet(text("他"))->pageSetup()->get(p), before);
        QCOMPARE(book->worksheet(text("基本"))->pageSetup()->get(p), before);
    }

    void copyPageSetup_changesOnlyTheTarget() {
        const auto app = load(*m_connector, ThreeSheets);
        QVERIFY(app);
        const auto book = app->workbook(text("共有.xlsx"));
        const auto base = book->worksheet(text("基本"))->pageSetup();
        base->set(PageProperty::Orientation, host::page::Landscape);
        base->set(PageProperty::PaperSize, host::page::PaperLetter);
        base->set(PageProperty::LeftHeader, text("左"));
        base->set(PageProperty::PrintArea, QStringLiteral("$A$1:$C$9"));
        base->set(PageProperty::Zoom, 80);
        const QVariant otherPaper =
            book->worksheet(text("他"))->pageSetup()->get(PageProperty::PaperSize);
        QVERIFY(otherPaper.toInt() != host::page::PaperLetter);

        Korvex_M02::CopyPageSetup(*book->worksheet(text("対象")), *base);

        const auto target = book->worksheet(text("対象"))->pageSetup();
        const auto other = book->worksheet(text("他"))->pageSetup();
        QCOMPARE(target->get(PageProperty::Orientation).toInt(), host::page::Landscape);
        QCOMPARE(target->get(PageProperty::PaperSize).toInt(), host::page::PaperLetter);
        QCOMPARE(target->get(PageProperty::LeftHeader).toString(), text("左"));
        QCOMPARE(target->get(PageProperty::PrintArea).toString(), QStringLiteral("$A$1:$C$9"));
        QCOMPARE(target->get(PageProperty::Zoom).toInt(), 80);
        QCOMPARE(other->get(PageProperty::Orientation).toInt(), host::page::Portrait);
        QCOMPARE(other->get(PageProperty::PaperSize), otherPaper);
        QCOMPARE(other->get(PageProperty::LeftHeader).toString(), QString());
        QCOMPARE(other->get(PageProperty::PrintArea).toString(), QString());
        QCOMPARE(other->get(PageProperty::Zoom).toInt(), 100);
    }

    // A new document's own header and footer are fields: they read as the
    // codes they stand for, not as what they show outside a printed page.
    void newDocument_headerAndFooterReadAsCodes() {
        const auto app = m_connector->attach();
        QVERIFY(app);
        calc::closeAllDocuments(app);
        calc::openBlankDocument(app, text("新規.ods"));
        const auto sheet = app->workbook(text("新規.ods"))->worksheet(1);
        const auto ps = sheet->pageSetup();
        QCOMPARE(ps->get(PageProperty::CenterHeader).toString(), QStringLiteral("&A"));
        const QString footer = ps->get(PageProperty::CenterFooter).toString();
        QVERIFY2(footer.endsWith(QLatin1String(" &P")) && !footer.contains(u'1'),
                 qPrintable(footer));
        QCOMPARE(calc::headerFooterFields(app, text("新規.ods"), sheet->name(),
                                          PageProperty::CenterFooter),
                 1);
    }

    void groupOfThreeSheets_printsAsOneJob() {
        const auto app = load(*m_connector, FiveSheets);
        QVERIFY(app);
        const auto book = app->workbook(text("印刷.xlsx"));
        book->selectSheets({"S4", "S1", "S3"});
        QCOMPARE(book->window(1)->selectedSheets(), (QStringList{"S1", "S3", "S4"}));
        QCOMPARE(app->activeSheet()->name(), QStringLiteral("S4"));

        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("group.pdf"));
        calc::printGroupToFile(app, text("印刷.xlsx"), out);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray pdf = file.readAll();
        static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
        QCOMPARE(QString::fromLatin1(pdf).count(page), 3);

        // Ending the group prints the one active sheet again.
        book->sheet(QStringLiteral("S2"))->activate();
        QCOMPARE(book->window(1)->selectedSheets(), QStringList{"S2"});
        calc::printGroupToFile(app, text("印刷.xlsx"), out);
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(file.readAll()).count(page), 1);
    }

    // The boxes bulk reads take: every cell in the box named for it, no two
    // boxes overlapping, and columns far apart read as strips of their own.
    void bulkReadBoxes_holdEveryCellAndLittleElse() {
        using Cells = std::vector<host::CellPosition>;
        Cells tenthColumns; // a hit in every tenth column of a thousand rows
        for (int r = 1; r <= 1000; ++r)
            for (int c = 1; c <= 100; c += 10)
                tenthColumns.push_back({r, c});
        Cells fewRows; // the same columns in three rows: one box is cheaper
        for (int r = 5; r <= 7; ++r)
            for (int c = 1; c <= 100; c += 10)
                fewRows.push_back({r, c});
        Cells wrapped{
            {900, 3}, {1000, 4}, {1, 2}, {2, 60}}; // a batch from the end round to the start
        Cells scattered;                           // too many strips to read apart
        for (int c = 1; c <= 400; c += 10)
            for (int r = 1; r <= 200; ++r)
                scattered.push_back({r, c});
        const struct {
            const char* name;
            Cells cells;
            size_t boxes;
            long long cellsRead;
        } cases[] = {
            {"tenth columns", tenthColumns, 10, 10000},
            {"few rows", fewRows, 1, 3 * 91},
            {"wrapped", wrapped, 3, 2 * 59 + 1 + 1},
            {"scattered", scattered, 1, 200 * 391},
        };
        for (const auto& c : cases) {
            const calc::cell_io::Boxes boxes(c.cells, 0);
            QCOMPARE(boxes.all().size(), c.boxes);
            long long read = 0;
            for (size_t i = 0; i < boxes.all().size(); ++i) {
                const auto& b = boxes.all()[i];
                read += (long long)(b.EndRow - b.StartRow + 1) * (b.EndColumn - b.StartColumn + 1);
                for (size_t j = 0; j < i; ++j) {
                    const auto& o = boxes.all()[j];
                    QVERIFY2(b.StartRow > o.EndRow || o.StartRow > b.EndRow ||
                                 b.StartColumn > o.EndColumn || o.StartColumn > b.EndColumn,
                             c.name);
                }
            }
            QVERIFY2(read == c.cellsRead,
                     qPrintable(
                         QStringLiteral("%1: %2 cells read").arg(QLatin1String(c.name)).arg(read)));
            for (const auto& p : c.cells) {
                const int at = boxes.indexOf(p);
                QVERIFY2(at >= 0 && size_t(at) < boxes.all().size(), c.name);
                const auto& b = boxes.all()[size_t(at)];
                QVERIFY2(p.row - 1 >= b.StartRow && p.row - 1 <= b.EndRow &&
                             p.column - 1 >= b.StartColumn && p.column - 1 <= b.EndColumn,
                         c.name);
            }
        }
    }

    // A search in formulas matches texts on their strings and reads the
    // formulas of those that match only: it finds what reading every formula
    // finds, apostrophes, typed dates and formula texts alike.
    void formulaSearch_textsFirst_findsWhatTheFormulasFind() {
        const auto app = load(*m_connector, R"(
[book 先.xlsx]
[sheet S]
A1 = '0123
B1 = 0123 abc
C1 = 123
D1 = 45296 | | 2024/01/05
A2 = ="a" & "bc"
B2 = =C1*2
C2 = '=abc
D2 = abc
A3 = TRUE
B3 = 0.5 | | 50%
C3 = a1c
D3 = '2024/01/05
)");
        QVERIFY(app);
        const auto session = std::dynamic_pointer_cast<calc::CalcApplication>(app)->session();
        const auto book = app->workbook(text("先.xlsx"));
        const auto doc = std::static_pointer_cast<calc::CalcWorkbook>(book)->document();
        const auto sheet =
            std::dynamic_pointer_cast<calc::CalcRange>(book->worksheet(1)->range("A1"))->sheet();
        calc::cell_io::Address area;
        area.StartColumn = area.StartRow = 0;
        area.EndColumn = 3;
        area.EndRow = 2;
        for (const char* what : {"0", "1", "*", "a?c", "=", "2024", "abc", "TRUE", "%"}) {
            host::FindOptions options;
            options.what = QString::fromUtf8(what);
            options.lookIn = host::LookIn::Formulas;
            const auto pattern = matcher::FindSettings::fromFind(options).pattern();
            const auto [fast, full] = session->run([&] {
                return std::pair{calc::cell_io::matchingContents(doc, sheet, area, pattern),
                                 calc::cell_io::readFormulas(sheet, area, &pattern, doc)};
            });
            const auto described = [](const std::vector<calc::cell_io::CellText>& cells) {
                QStringList out;
                for (const auto& c : cells)
                    out << QStringLiteral("%1,%2 %3 %4 %5")
                               .arg(c.pos.row)
                               .arg(c.pos.column)
                               .arg(c.text)
                               .arg(c.marked)
                               .arg(c.typed);
                return out;
            };
            const QStringList got = described(fast), expected = described(full);
            QCOMPARE(got, expected);
            QVERIFY2(!expected.isEmpty(), what);
        }
    }

    void valuesSearch_matchesTheDisplayedTexts_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("rounded sum") << "0.3" << QStringList{"$A$1"};
        QTest::newRow("thousands") << "1,234,567" << QStringList{"$A$2"};
        QTest::newRow("percent") << "50%" << QStringList{"$A$3"};
        QTest::newRow("general decimal") << "2.5" << QStringList{"$A$4"};
        QTest::newRow("fifteen digits") << "0.333333333333333" << QStringList{"$A$5"};
        QTest::newRow("date") << "2024/01/05" << QStringList{"$A$6"};
        QTest::newRow("raw number is not shown") << "45296" << QStringList{};
        QTest::newRow("text") << text("値") << QStringList{"$A$7"};
    }

    void valuesSearch_matchesTheDisplayedTexts() {
        QFETCH(QString, what);
        QFETCH(QStringList, expected);
        const auto app = load(*m_connector, Numbers);
        QVERIFY(app);
        const auto sheet = app->workbook(text("数.xlsx"))->worksheet(1);
        host::FindOptions options;
        options.what = what;
        options.lookIn = host::LookIn::Values;
        options.lookAt = host::LookAt::Whole;
        QCOMPARE(walk(*sheet, options), expected);
    }

    void editBetweenTwoFinds_isSeen() {
        const auto app = load(*m_connector, FiveSheets);
        QVERIFY(app);
        const auto sheet = app->workbook(text("印刷.xlsx"))->worksheet(QStringLiteral("S2"));
        host::FindOptions options;
        options.what = QStringLiteral("two");
        options.after = sheet->range("A1");
        const auto hit = sheet->cells()->find(options);
        QVERIFY(hit);
        QCOMPARE(hit->address(), QStringLiteral("$A$1"));
        sheet->range("C7")->setValue(QStringLiteral("two too"));
        const auto next = sheet->cells()->findNext(hit);
        QVERIFY(next);
        QCOMPARE(next->address(), QStringLiteral("$C$7"));
        // Again once the book is already modified, and for a removal.
        sheet->range("B9")->setValue(QStringLiteral("two three"));
        QCOMPARE(sheet->cells()->findNext(next)->address(), QStringLiteral("$B$9"));
        sheet->range("A1")->setValue(QString());
        QCOMPARE(walk(*sheet, options), (QStringList{"$C$7", "$B$9"}));
    }

    // A hit's value comes from the read that found it until the book changes.
    void hitValue_followsAnEditAfterTheFind_data() {
        QTest::addColumn<host::LookIn>("lookIn");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<QVariant>("edit");
        QTest::addColumn<QVariant>("after");
        QTest::newRow("number by its text")
            << host::LookIn::Values << "2.5"
            << "$A$4" << QVariant(2.5) << QVariant("x") << QVariant("x");
        QTest::newRow("text becomes a number")
            << host::LookIn::Values << text("値") << "$A$7" << QVariant(text("値")) << QVariant(12)
            << QVariant(12.0);
        QTest::newRow("formula gives its result")
            << host::LookIn::Formulas << "=1/3"
            << "$A$5" << QVariant(1.0 / 3) << QVariant(7) << QVariant(7.0);
    }

    void hitValue_followsAnEditAfterTheFind() {
        QFETCH(host::LookIn, lookIn);
        QFETCH(QString, what);
        QFETCH(QString, address);
        QFETCH(QVariant, before);
        QFETCH(QVariant, edit);
        QFETCH(QVariant, after);
        const auto app = load(*m_connector, Numbers);
        QVERIFY(app);
        const auto sheet = app->workbook(text("数.xlsx"))->worksheet(1);
        host::FindOptions options;
        options.what = what;
        options.lookIn = lookIn;
        options.lookAt = host::LookAt::Whole;
        const auto hit = sheet->cells()->find(options);
        QVERIFY(hit);
        QCOMPARE(hit->address(), address);
        QCOMPARE(hit->value(), before);
        QCOMPARE(hit->value(), before);
        sheet->range(address)->setValue(edit);
        QCOMPARE(hit->value(), after);
    }

    // Korvex's own writes bring the matches it keeps up to date instead of
    // dropping them, so a replace-all does not read the sheet again per cell;
    // what it then finds is what a fresh read finds. An edit made in the
    // office meanwhile still makes the next search read the sheet.
    void ownWrites_keepTheMatchesUpToDate_data() {
        QTest::addColumn<host::LookIn>("lookIn");
        QTest::addColumn<QString>("write");
        QTest::addColumn<bool>("kept");
        const auto F = host::LookIn::Formulas;
        const auto V = host::LookIn::Values;
        const auto C = host::LookIn::Comments;
        QTest::newRow("formulas, cells") << F << "cells" << true;
        QTest::newRow("values, cells") << V << "cells" << true;
        QTest::newRow("comments, cells") << C << "cells" << true;
        QTest::newRow("formulas, one cell") << F << "replace" << true;
        QTest::newRow("values, one value") << V << "value" << true;
        // B2 shows B1: a values search cannot know what B2 shows now.
        QTest::newRow("formulas, a referenced cell") << F << "referenced" << true;
        QTest::newRow("values, a referenced cell") << V << "referenced" << false;
        QTest::newRow("formulas, then an edit in the office") << F << "office" << false;
    }

    void ownWrites_keepTheMatchesUpToDate() {
        QFETCH(host::LookIn, lookIn);
        QFETCH(QString, write);
        QFETCH(bool, kept);
        const auto app = load(*m_connector, OwnWrites);
        QVERIFY(app);
        auto& cache = std::dynamic_pointer_cast<calc::CalcApplication>(app)->searchCache();
        const auto sheet = app->workbook(text("自筆.xlsx"))->worksheet(1);
        host::FindOptions find;
        find.what = QStringLiteral("a");
        find.lookIn = lookIn;
        QVERIFY(!sheet->findAll(find).empty());

        host::ReplaceOptions options;
        options.what = QStringLiteral("a");
        options.replacement = QStringLiteral("aa");
        if (write == "cells" || write == "office") {
            sheet->replaceCells(options, {{1, 1}, {2, 1}, {3, 3}});
            options.replacement = QString();
            sheet->replaceCells(options, {{1, 1}});
        } else if (write == "replace") {
            QVERIFY(sheet->range("A2")->replace(options));
        } else if (write == "value") {
            sheet->range("C1")->setValue(QStringLiteral("ba"));
            sheet->range("A1")->setValue(42);
        } else if (write == "referenced") {
            sheet->replaceCells(options, {{1, 2}});
        }
        if (write == "office")
            QVERIFY(typeInOffice(app, text("自筆.xlsx"), text("表"), 3, 3, QStringLiteral("a")));
        QCOMPARE(cache.current(), kept);

        const QStringList known = hitsOf(sheet->findAll(find));
        cache.forget();
        QCOMPARE(known, hitsOf(sheet->findAll(find)));
        // Read a row at a time, the sheet gives the same (notes are read at
        // once).
        cache.forget();
        host::ReadInBands rows;
        rows.maxCells = 1;
        int betweens = 0;
        rows.between = [&] { return ++betweens > 0; };
        QCOMPARE(hitsOf(sheet->findAll(find, rows)), known);
        QVERIFY(betweens > 1 || lookIn == host::LookIn::Comments);
    }

    // An edit made on the office's own thread (as the user typing in Calc)
    // is seen by the very next call.
    void editInTheOffice_isSeenByTheNextCall() {
        const auto app = load(*m_connector, FiveSheets);
        QVERIFY(app);
        const QString book = text("印刷.xlsx");
        const auto sheet = app->workbook(book)->worksheet(QStringLiteral("S2"));
        host::FindOptions options;
        options.what = QStringLiteral("two");
        options.lookIn = host::LookIn::Values;
        const auto cells = sheet->cells();
        const auto hit = cells->find(options);
        QVERIFY(hit);
        QCOMPARE(hit->value(), QVariant(QStringLiteral("two")));
        for (int round = 0; round < 10; ++round) {
            const QString typed = QStringLiteral("two %1").arg(round);
            QVERIFY(typeInOffice(app, book, QStringLiteral("S2"), 0, 0, typed));
            QCOMPARE(hit->value(), QVariant(typed));
            // The match moves one row down each time.
            QVERIFY(typeInOffice(app, book, QStringLiteral("S2"), 3, round, QString()));
            QVERIFY(typeInOffice(app, book, QStringLiteral("S2"), 3, round + 1, typed));
            const auto next = cells->findNext(hit);
            QVERIFY(next);
            QCOMPARE(next->address(), QStringLiteral("$D$%1").arg(round + 2));
            QCOMPARE(next->value(), QVariant(typed));
        }
        // A bulk replace after a bulk find sees edits made in between, too.
        host::FindOptions inFormulas = options;
        inFormulas.lookIn = host::LookIn::Formulas;
        std::vector<host::CellPosition> found;
        for (const auto& f : sheet->findAll(inFormulas))
            found.push_back(f.cell);
        QCOMPARE(found.size(), size_t(2)); // D11, A1
        QVERIFY(typeInOffice(app, book, QStringLiteral("S2"), 0, 0, QStringLiteral("zzz")));
        QVERIFY(
            typeInOffice(app, book, QStringLiteral("S2"), 3, 10, QStringLiteral("two by hand")));
        host::ReplaceOptions replace;
        replace.what = QStringLiteral("two");
        replace.replacement = QStringLiteral("TWO");
        replace.matchCase = true;
        const auto done = sheet->replaceCells(replace, found);
        QCOMPARE(done.at(0).oldValueText, QStringLiteral("two by hand"));
        QCOMPARE(done.at(0).newContent, QStringLiteral("TWO by hand"));
        QVERIFY(done.at(1).outcome == host::CellReplacement::Outcome::NoMatch);
        QCOMPARE(sheet->range(QStringLiteral("A1"))->value(), QVariant(QStringLiteral("zzz")));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failures = 0;
    {
        CalcBehaviourTest behaviour;
        failures += QTest::qExec(&behaviour, argc, argv);
    }
    {
        CalcFailureTest failure;
        failures += QTest::qExec(&failure, argc, argv);
    }
    return failures;
}

#include "calc_host_test.moc"
