// The office as a whole: its open books, its dialogs and its main window.

#include "calc_model.h"

#include "responsive_wait.h"
#include "uno_text.h"

#include <com/sun/star/awt/AsyncCallback.hpp>
#include <com/sun/star/awt/XCallback.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XTopWindow2.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/DispatchResultEvent.hpp>
#include <com/sun/star/frame/DispatchResultState.hpp>
#include <com/sun/star/frame/FrameSearchFlag.hpp>
#include <com/sun/star/frame/ModuleManager.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/PathSubstitution.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <cppuhelper/implbase1.hxx>

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace korvex::calc {

using namespace uno_helpers;

namespace {

bool loadedHidden(const DocRef& doc) {
    for (const auto& arg : doc->getArgs()) {
        bool hidden = false;
        if (arg.Name == "Hidden" && (arg.Value >>= hidden))
            return hidden;
    }
    return false;
}

// The office's start centre, when it is on screen; nothing otherwise.
void bringStartCentreForward(const Reference<css::uno::XComponentContext>& ctx,
                             const Reference<css::frame::XDesktop2>& desktop) {
    auto modules = css::frame::ModuleManager::create(ctx);
    const auto frames =
        must(desktop->getFrames())->queryFrames(css::frame::FrameSearchFlag::CHILDREN);
    for (const auto& frame : frames) {
        try {
            if (modules->identify(frame) != "com.sun.star.frame.StartModule")
                continue;
        } catch (const css::uno::Exception&) {
            continue; // an empty frame belongs to no module
        }
        Reference<css::awt::XWindow2> window(frame->getContainerWindow(), UNO_QUERY);
        if (!window.is() || !window->isVisible())
            continue;
        Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
        if (top.is())
            top->toFront();
        frame->activate();
        window->setFocus();
        return;
    }
}

} // namespace

// What is remembered of the open books between book listings. The bridge
// hands out one proxy per remote object, so a kept proxy identifies its
// document, and while it is kept, asking the document for the same interface
// again takes no round trip. Kept per connection and let go with its other
// references when the connection dies.
class DocumentMemo : public HeldBase {
public:
    struct Book {
        Reference<css::sheet::XSpreadsheetDocument> sheets;
        DocRef doc;
        Reference<css::frame::XTitle> title;
        std::optional<long long> order;       // creation number, never changes
        Reference<css::awt::XWindow2> window; // last seen showing the book
    };
    std::vector<Book> recall() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_books;
    }
    // Keeps only the books of the latest listing: a closed book is let go.
    void remember(std::vector<Book> books) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_released)
            m_books.swap(books);
    }
    void release() override {
        std::vector<Book> gone;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        gone.swap(m_books);
    }

private:
    mutable std::mutex m_mutex;
    bool m_released = false;
    std::vector<Book> m_books;
};

void ReadingLoads::add(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_released)
        m_docs.push_back(doc);
}

bool ReadingLoads::has(const Reference<css::sheet::XSpreadsheetDocument>& doc) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return doc.is() && std::find(m_docs.begin(), m_docs.end(), doc) != m_docs.end();
}

void ReadingLoads::keepOnly(const std::vector<Reference<css::sheet::XSpreadsheetDocument>>& open) {
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> gone;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_docs.begin(); it != m_docs.end();) {
        if (std::find(open.begin(), open.end(), *it) == open.end()) {
            gone.push_back(*it);
            it = m_docs.erase(it);
        } else {
            ++it;
        }
    }
}

void ReadingLoads::release() {
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> gone;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_released = true;
    gone.swap(m_docs);
}

std::shared_ptr<DocumentMemo> makeDocumentMemo(const SessionPtr& session) {
    auto memo = std::make_shared<DocumentMemo>();
    session->keep(memo);
    return memo;
}

namespace {

// The books in the order they were opened, as spreadsheetDocuments() gives
// them, with what the memo knew of each.
std::vector<DocumentMemo::Book> rememberedBooks(const Reference<css::frame::XDesktop2>& desktop,
                                                const DocumentMemo& memo, ReadingLoads& leaveOut) {
    const auto known = memo.recall();
    std::vector<DocumentMemo::Book> books;
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> seen;
    auto e = must(must(desktop->getComponents())->createEnumeration());
    while (e->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(e->nextElement(), UNO_QUERY);
        if (doc.is())
            seen.push_back(doc);
        auto same = [&](const DocumentMemo::Book& b) { return b.sheets.get() == doc.get(); };
        // A book shown in several windows comes once per window.
        if (!doc.is() || leaveOut.has(doc) || std::any_of(books.begin(), books.end(), same))
            continue;
        const auto it = std::find_if(known.begin(), known.end(), same);
        if (it != known.end())
            books.push_back(*it);
        else if (DocRef model(doc, UNO_QUERY); model.is())
            books.push_back({doc, model, nullptr, std::nullopt, nullptr});
    }
    leaveOut.keepOnly(seen);
    for (auto& b : books) {
        if (b.order)
            continue;
        try {
            rtl::OUString uid;
            Reference<css::beans::XPropertySet>(b.doc, UNO_QUERY_THROW)
                ->getPropertyValue("RuntimeUID") >>= uid;
            b.order = uid.toInt64();
        } catch (const css::uno::Exception&) {
        }
    }
    std::stable_sort(books.begin(), books.end(), [](const auto& a, const auto& b) {
        return a.order.value_or(0) < b.order.value_or(0);
    });
    return books;
}

} // namespace

// ---- Application -----------------------------------------------------------

int CalcApplication::workbookCount() {
    return m_s->run([d = m_s->desktop(), reading = m_reading] {
        return int(spreadsheetDocuments(d, reading.get()).size());
    });
}

host::WorkbookPtr CalcApplication::workbook(int index) {
    auto doc = m_s->run([d = m_s->desktop(), index, reading = m_reading] {
        auto docs = spreadsheetDocuments(d, reading.get());
        if (index < 1 || index > int(docs.size()))
            throw HostError(QStringLiteral("There is no workbook number %1").arg(index));
        return docs[size_t(index - 1)];
    });
    return std::make_shared<CalcWorkbook>(m_s, m_cache, doc);
}

host::WorkbookPtr CalcApplication::workbook(const QString& name) {
    auto doc = m_s->run([d = m_s->desktop(), name, reading = m_reading] {
        return documentNamed(d, name, reading.get());
    });
    return std::make_shared<CalcWorkbook>(m_s, m_cache, doc);
}

std::vector<host::BookEntry> CalcApplication::bookList() {
    return m_s->run([d = m_s->desktop(), memo = m_memo, reading = m_reading] {
        std::vector<host::BookEntry> list;
        auto docs = rememberedBooks(d, *memo, *reading);
        for (auto& r : docs) {
            if (!r.title.is())
                r.title.set(r.doc, UNO_QUERY_THROW);
            // The window a book was last seen in answers in one question
            // while it stays visible; otherwise all its windows are asked.
            bool shown = false;
            try {
                shown = r.window.is() && r.window->isVisible();
            } catch (const css::uno::RuntimeException&) {
            }
            if (!shown) {
                r.window = shownWindow(r.doc);
                shown = r.window.is();
            }
            list.push_back({toQt(r.title->getTitle()), shown});
        }
        memo->remember(std::move(docs));
        return list;
    });
}

host::WorkbookPtr CalcApplication::openWorkbook(const QString& path,
                                                std::optional<host::OpenOptions> options) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(absolute).isFile())
        throw HostError(QStringLiteral("The file \"%1\" does not exist").arg(path));
    const QString url = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded);
    const bool addToRecent = options && options->addToMru;
    // A comma-separated file opens as it is read for a search, without the
    // import dialog, which would hold the office until the user answers it.
    const auto csv = csvLoadArguments(absolute);
    // Loading a large book takes its time; a frozen office still gets caught.
    auto doc = m_s->run(
        [d = m_s->desktop(), url, addToRecent, csv] {
            Reference<css::frame::XComponentLoader> loader(d, UNO_QUERY_THROW);
            Sequence<css::beans::PropertyValue> args(1 + csv.getLength());
            args.getArray()[0].Name = "PickListEntry";
            args.getArray()[0].Value <<= addToRecent;
            std::copy(csv.begin(), csv.end(), args.getArray() + 1);
            auto component = loader->loadComponentFromURL(toUno(url), "_default", 0, args);
            Reference<css::sheet::XSpreadsheetDocument> sheetDoc(component, UNO_QUERY);
            if (!sheetDoc.is()) {
                Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
                if (closeable.is())
                    closeable->close(true);
                throw HostError(QStringLiteral("The file is not a spreadsheet"));
            }
            DocRef doc(component, UNO_QUERY_THROW);
            // The opened book becomes the active one even where no window
            // manager hands focus around.
            auto frame = frameOf(doc);
            Reference<css::awt::XTopWindow> top(frame->getContainerWindow(), UNO_QUERY);
            if (top.is())
                top->toFront();
            frame->activate();
            return doc;
        },
        std::max(m_s->callTimeout(), std::chrono::milliseconds(120000)));
    return std::make_shared<CalcWorkbook>(m_s, m_cache, doc);
}

host::WindowPtr CalcApplication::window(const QString& caption) {
    for (int i = 1, n = workbookCount(); i <= n; ++i) {
        auto book = workbook(i);
        for (int w = 1, wn = book->windowCount(); w <= wn; ++w) {
            auto win = book->window(w);
            if (win->caption() == caption)
                return win;
        }
    }
    throw HostError(QStringLiteral("No window is titled \"%1\"").arg(caption));
}

host::WorkbookPtr CalcApplication::activeWorkbook() {
    auto doc = m_s->run([d = m_s->desktop()] { return activeDocument(d); });
    return std::make_shared<CalcWorkbook>(m_s, m_cache, doc);
}

host::SheetPtr CalcApplication::activeSheet() {
    return activeWorkbook()->activeSheet();
}

host::Application::Position CalcApplication::currentPosition() {
    // One trip where the three questions make six, each finding the active
    // book again.
    return m_s->run([d = m_s->desktop()] {
        Position p;
        const DocRef doc = activeDocument(d);
        p.book = documentTitle(doc);
        const SheetRef sheet = activeSheetOf(doc);
        p.sheet = sheetName(sheet);
        const auto cell = cursorOf(doc, sheet);
        p.row = cell.StartRow + 1;
        p.column = cell.StartColumn + 1;
        return p;
    });
}

host::RangePtr CalcApplication::activeCell() {
    struct Cell {
        DocRef doc;
        SheetRef sheet;
        css::table::CellRangeAddress addr;
    };
    auto c = m_s->run([d = m_s->desktop()] {
        Cell cell;
        cell.doc = activeDocument(d);
        cell.sheet = activeSheetOf(cell.doc);
        cell.addr = cursorOf(cell.doc, cell.sheet);
        return cell;
    });
    return std::make_shared<CalcRange>(m_s, m_cache, c.doc, c.sheet, c.addr);
}

namespace {

// Marks the moment the office's main thread comes round to it.
class Fence : public cppu::WeakImplHelper1<css::awt::XCallback> {
public:
    explicit Fence(std::shared_ptr<std::atomic<bool>> reached) : m_reached(std::move(reached)) {}
    void SAL_CALL notify(const Any&) override { *m_reached = true; }

private:
    std::shared_ptr<std::atomic<bool>> m_reached;
};

} // namespace

bool CalcApplication::showDialog(host::Dialog dialog) {
    const char* command =
        dialog == host::Dialog::PageSetup ? ".uno:PageFormatDialog" : ".uno:Print";
    // The page setup edited is the active sheet's alone, as everywhere else.
    struct Split {
        DocRef doc;
        std::optional<PageStyleSplit> split;
    };
    Split own;
    if (dialog == host::Dialog::PageSetup) {
        own = m_s->run([d = m_s->desktop()] {
            Split s;
            s.doc = activeDocument(d);
            try {
                s.split = separatePageStyle(s.doc, activeSheetOf(s.doc));
            } catch (const css::uno::Exception&) {
                // A document whose styles cannot change: the dialog shows
                // the shared style, as the office's own menu would.
            }
            return s;
        });
    }
    // The office runs these dialogs on its own: the dispatch may come back
    // before the dialog has even been built (the print dialog is queued on
    // the office's main thread), and always while it is still open. A
    // callback queued behind the dispatch runs only once everything the
    // dispatch queued has run, so a dialog it brings is open by then, however
    // slow the machine. What comes next (the cursor put back, the sheets
    // regrouped) waits until the user has closed it.
    auto fence = std::make_shared<std::atomic<bool>>(false);
    const bool ok = m_s->runWhileAlive([ctx = m_s->context(), d = m_s->desktop(), command, fence] {
        auto doc = activeDocument(d);
        Any result = dispatch(ctx, doc, command);
        css::awt::AsyncCallback::create(ctx)->addCallback(new Fence(fence), Any());
        css::frame::DispatchResultEvent event;
        if (result >>= event)
            return event.State != css::frame::DispatchResultState::FAILURE;
        return true;
    });
    // An office whose main thread never comes round to the callback is not
    // waited for forever.
    constexpr auto Patience = std::chrono::seconds(60);
    const auto dispatched = std::chrono::steady_clock::now();
    bool seen = false;
    for (;;) {
        const bool fenced = fence->load();
        const bool open = m_s->run([ctx = m_s->context()] { return !openDialogs(ctx).empty(); });
        if (open)
            seen = true;
        else if (seen || fenced || std::chrono::steady_clock::now() - dispatched > Patience)
            break;
        pauseResponsively(std::chrono::milliseconds(fenced ? 100 : 20));
    }
    if (own.split)
        m_s->run([doc = own.doc, split = *own.split] { rejoinUnchangedPageStyle(doc, split); });
    // A dialog the office runs on its own reports a failed dispatch even
    // though it was shown.
    return ok || seen;
}

QString CalcApplication::name() const {
    return QStringLiteral("LibreOffice Calc");
}

QString CalcApplication::version() const {
    return m_s->run([ctx = m_s->context()] {
        rtl::OUString v;
        configNode(ctx, "/org.openoffice.Setup/Product")
            ->getPropertyValue("ooSetupVersionAboutBox") >>= v;
        return toQt(v);
    });
}

QString CalcApplication::path() const {
    return m_s->run([ctx = m_s->context()] {
        auto subst = css::util::PathSubstitution::create(ctx);
        return fileUrlToPath(subst->substituteVariables("$(prog)", true));
    });
}

QString CalcApplication::startupPath() const {
    // Calc has no start-up folder of its own; a folder in the user's profile
    // plays that part, so books put there open when Korvex starts the office.
    return m_s->run([ctx = m_s->context()] {
        auto subst = css::util::PathSubstitution::create(ctx);
        return QDir(fileUrlToPath(subst->substituteVariables("$(user)", true)))
            .filePath(QStringLiteral("xlstart"));
    });
}

bool CalcApplication::visible() const {
    return m_s->run([d = m_s->desktop()] {
        for (const auto& doc : spreadsheetDocuments(d)) {
            Reference<css::awt::XWindow2> w(containerWindowOf(doc), UNO_QUERY);
            if (w.is() && w->isVisible())
                return true;
        }
        return false;
    });
}

void CalcApplication::setVisible(bool visible) {
    m_s->run([d = m_s->desktop(), visible] {
        for (const auto& doc : spreadsheetDocuments(d)) {
            // A book loaded hidden stays hidden when the office is shown.
            if (visible && loadedHidden(doc))
                continue;
            containerWindowOf(doc)->setVisible(visible);
        }
    });
}

host::WindowState CalcApplication::windowState() const {
    return m_s->run([d = m_s->desktop()] {
        Reference<css::awt::XTopWindow2> w(containerWindowOf(activeDocument(d)), UNO_QUERY);
        if (!w.is())
            return host::WindowState::Normal;
        if (w->getIsMinimized())
            return host::WindowState::Minimized;
        if (w->getIsMaximized())
            return host::WindowState::Maximized;
        return host::WindowState::Normal;
    });
}

void CalcApplication::setWindowState(host::WindowState state) {
    m_s->run([d = m_s->desktop(), state] {
        Reference<css::awt::XTopWindow2> w(containerWindowOf(activeDocument(d)), UNO_QUERY_THROW);
        switch (state) {
        case host::WindowState::Minimized:
            w->setIsMinimized(true);
            break;
        case host::WindowState::Maximized:
            w->setIsMaximized(true);
            break;
        case host::WindowState::Normal:
            w->setIsMinimized(false);
            w->setIsMaximized(false);
            break;
        }
    });
}

void CalcApplication::bringToFront() {
    m_s->run([ctx = m_s->context(), d = m_s->desktop()] {
        DocRef doc;
        try {
            doc = activeDocument(d);
        } catch (const HostError&) {
            bringStartCentreForward(ctx, d);
            return;
        }
        auto window = containerWindowOf(doc);
        window->setVisible(true);
        Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
        if (top.is())
            top->toFront();
        frameOf(doc)->activate();
        window->setFocus();
    });
}

} // namespace korvex::calc
