#include "calc_model.h"

#include "responsive_wait.h"
#include "uno_text.h"

#include <com/sun/star/awt/AsyncCallback.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XCallback.hpp>
#include <com/sun/star/awt/XDialog.hpp>
#include <com/sun/star/awt/XExtendedToolkit.hpp>

#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XTopWindow2.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XViewDataSupplier.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/DispatchResultEvent.hpp>
#include <com/sun/star/frame/DispatchResultState.hpp>
#include <com/sun/star/frame/FrameSearchFlag.hpp>
#include <com/sun/star/frame/ModuleManager.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/frame/XModel2.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XTableCharts.hpp>
#include <com/sun/star/table/XTableChartsSupplier.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/PathSubstitution.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/util/XStringSubstitution.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <cppuhelper/implbase1.hxx>
#include <rtl/process.h>

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>

namespace korvex::calc {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using host::HostError;

namespace uno_helpers {

void requireOpen(const DocRef& doc) {
    // Every call on a closed model throws DisposedException; a cheap one.
    doc->getURL();
}

Reference<css::frame::XController> controllerOf(const DocRef& doc) {
    auto c = doc->getCurrentController();
    if (!c.is())
        throw HostError(QStringLiteral("The workbook has no window"));
    return c;
}

QString documentTitle(const DocRef& doc) {
    Reference<css::frame::XTitle> title(doc, UNO_QUERY_THROW);
    return toQt(title->getTitle());
}

bool isChartSheet(const SheetRef& sheet) {
    Reference<css::table::XTableChartsSupplier> charts(sheet, UNO_QUERY_THROW);
    if (must(charts->getCharts())->getElementNames().getLength() == 0)
        return false;
    Reference<css::sheet::XCellRangesQuery> query(sheet, UNO_QUERY_THROW);
    using namespace css::sheet::CellFlags;
    auto content =
        query->queryContentCells(sal_Int16(VALUE | DATETIME | STRING | FORMULA | ANNOTATION));
    return !content.is() || content->getRangeAddresses().getLength() == 0;
}

void requireWorksheet(const SheetRef& sheet) {
    if (isChartSheet(sheet))
        throw HostError(
            QStringLiteral("\"%1\" is a chart sheet")
                .arg(toQt(Reference<css::container::XNamed>(sheet, UNO_QUERY_THROW)->getName())));
}

void requireEditable(const SheetRef& sheet, sal_Int32 column, sal_Int32 row) {
    Reference<css::util::XProtectable> protectable(sheet, UNO_QUERY_THROW);
    if (!protectable->isProtected())
        return;
    Reference<css::beans::XPropertySet> cell(sheet->getCellByPosition(column, row),
                                             UNO_QUERY_THROW);
    css::util::CellProtection protection;
    cell->getPropertyValue("CellProtection") >>= protection;
    if (protection.IsLocked)
        throw HostError(QStringLiteral("The cell is on a protected sheet"));
}

QString columnLetters(int column0) {
    QString s;
    for (int n = column0 + 1; n > 0; n = (n - 1) / 26)
        s.prepend(QChar(u'A' + (n - 1) % 26));
    return s;
}

static QString swapSeparators(const QString& f, QChar from, QChar to) {
    if (!f.startsWith(u'='))
        return f;
    QString out = f;
    bool inString = false;
    bool inSheetName = false;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c == u'"' && !inSheetName)
            inString = !inString;
        else if (c == u'\'' && !inString)
            inSheetName = !inSheetName;
        else if (!inString && !inSheetName && c == from)
            out[i] = to;
    }
    return out;
}

QString formulaFromApi(const QString& apiFormula) {
    return swapSeparators(apiFormula, u';', u',');
}
QString formulaToApi(const QString& userFormula) {
    return swapSeparators(userFormula, u',', u';');
}

// The toolkit's list of top windows is marked deprecated in the API, yet it
// is the one place that lists the office's dialogs, and the office itself
// still keeps it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::vector<Reference<css::awt::XDialog>>
openDialogs(const Reference<css::uno::XComponentContext>& ctx) {
    std::vector<Reference<css::awt::XDialog>> dialogs;
    Reference<css::awt::XExtendedToolkit> toolkit(css::awt::Toolkit::create(ctx), UNO_QUERY_THROW);
    for (sal_Int32 i = 0, n = toolkit->getTopWindowCount(); i < n; ++i) {
        Reference<css::awt::XDialog> dialog(toolkit->getTopWindow(i), UNO_QUERY);
        Reference<css::awt::XWindow2> window(dialog, UNO_QUERY);
        if (dialog.is() && window.is() && window->isVisible())
            dialogs.push_back(dialog);
    }
    return dialogs;
}
#pragma GCC diagnostic pop

} // namespace uno_helpers

namespace uno_helpers {

namespace {

// The visible window showing the document, if any.
Reference<css::awt::XWindow2> shownWindow(const DocRef& doc) {
    auto windowOf = [](const Reference<css::frame::XController>& c) {
        const auto frame = c.is() ? c->getFrame() : nullptr;
        Reference<css::awt::XWindow2> w(frame.is() ? frame->getContainerWindow() : nullptr,
                                        UNO_QUERY);
        return w.is() && w->isVisible() ? w : Reference<css::awt::XWindow2>();
    };
    if (auto w = windowOf(doc->getCurrentController()); w.is())
        return w;
    // A book shown in several windows may have its current one hidden.
    auto controllers = Reference<css::frame::XModel2>(doc, UNO_QUERY_THROW)->getControllers();
    while (controllers.is() && controllers->hasMoreElements())
        if (auto w =
                windowOf(Reference<css::frame::XController>(controllers->nextElement(), UNO_QUERY));
            w.is())
            return w;
    return nullptr;
}

} // namespace

// Spreadsheet documents in the desktop's order (the order they were opened).
std::vector<DocRef> spreadsheetDocuments(const Reference<css::frame::XDesktop2>& desktop) {
    std::vector<DocRef> docs;
    auto components = must(desktop->getComponents());
    auto e = must(components->createEnumeration());
    while (e->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(e->nextElement(), UNO_QUERY);
        DocRef model(doc, UNO_QUERY);
        // A book shown in several windows comes once per window.
        if (model.is() && std::find(docs.begin(), docs.end(), model) == docs.end())
            docs.push_back(model);
    }
    // The desktop lists its frames in no lasting order (activation moves
    // them); the documents' creation numbers give the order they were opened.
    std::vector<std::pair<long long, DocRef>> numbered;
    for (const auto& d : docs) {
        long long n = 0;
        try {
            rtl::OUString uid;
            Reference<css::beans::XPropertySet>(d, UNO_QUERY_THROW)
                ->getPropertyValue("RuntimeUID") >>= uid;
            n = uid.toInt64();
        } catch (const css::uno::Exception&) {
        }
        numbered.emplace_back(n, d);
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < docs.size(); ++i)
        docs[i] = numbered[i].second;
    return docs;
}

DocRef documentNamed(const Reference<css::frame::XDesktop2>& desktop, const QString& name) {
    // A book is looked up by its title alone; the opening order (a question
    // per document) matters only to the lists, and is not asked for here.
    auto e = must(must(desktop->getComponents())->createEnumeration());
    while (e->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(e->nextElement(), UNO_QUERY);
        DocRef model(doc, UNO_QUERY);
        if (model.is() && documentTitle(model) == name)
            return model;
    }
    throw HostError(QStringLiteral("No open workbook is named \"%1\"").arg(name));
}

Reference<css::frame::XFrame> frameOf(const DocRef& doc) {
    auto frame = controllerOf(doc)->getFrame();
    if (!frame.is())
        throw HostError(QStringLiteral("The workbook has no frame"));
    return frame;
}

bool isShown(const DocRef& doc) {
    return shownWindow(doc).is();
}

DocRef activeDocument(const Reference<css::frame::XDesktop2>& desktop) {
    DocRef current(desktop->getCurrentComponent(), UNO_QUERY);
    Reference<css::sheet::XSpreadsheetDocument> sheetDoc(current, UNO_QUERY);
    if (sheetDoc.is() && isShown(current))
        return current;
    // The office's current component is something else (the start centre, a
    // text document, nothing after a close): take the most recently opened
    // workbook the user can see. A hidden book is never the one the user
    // works in; made active, it would be shown and offered for closing.
    auto docs = spreadsheetDocuments(desktop);
    for (auto it = docs.rbegin(); it != docs.rend(); ++it)
        if (isShown(*it))
            return *it;
    throw HostError(QStringLiteral("No workbook is open"));
}

Reference<css::sheet::XSpreadsheet> activeSheetOf(const DocRef& doc) {
    Reference<css::sheet::XSpreadsheetView> view(controllerOf(doc), UNO_QUERY_THROW);
    return must(view->getActiveSheet());
}

QString sheetName(const Reference<css::sheet::XSpreadsheet>& sheet) {
    Reference<css::container::XNamed> named(sheet, UNO_QUERY_THROW);
    return toQt(named->getName());
}

css::table::CellRangeAddress addressOf(const Reference<css::uno::XInterface>& range) {
    Reference<css::sheet::XCellRangeAddressable> a(range, UNO_QUERY_THROW);
    return a->getRangeAddress();
}

// The cursor cell of `sheet` in the document's view. Calc has no "active
// cell" property: on the active sheet a selection of one cell is the cursor
// itself, and so is that sheet's cell in the selection of a group (which
// holds the cursor cell on every grouped sheet); otherwise the view data
// remembers the cursor of every sheet.
css::table::CellRangeAddress cursorOf(const DocRef& doc,
                                      const Reference<css::sheet::XSpreadsheet>& sheet) {
    auto sheetAddr = addressOf(sheet);
    css::table::CellRangeAddress cell;
    cell.Sheet = sheetAddr.Sheet;
    auto controller = controllerOf(doc);
    Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY_THROW);
    Reference<css::view::XSelectionSupplier> selection(controller, UNO_QUERY_THROW);
    const bool onActiveSheet = addressOf(must(view->getActiveSheet())).Sheet == cell.Sheet;
    auto isCursor = [&](const css::table::CellRangeAddress& a) {
        return onActiveSheet && a.Sheet == cell.Sheet && a.StartColumn == a.EndColumn &&
               a.StartRow == a.EndRow;
    };
    const Any selectionNow = selection->getSelection();
    Reference<css::sheet::XCellRangeAddressable> selected(selectionNow, UNO_QUERY);
    if (selected.is() && isCursor(selected->getRangeAddress()))
        return selected->getRangeAddress();
    Reference<css::sheet::XSheetCellRanges> group(selectionNow, UNO_QUERY);
    if (group.is())
        for (const auto& a : group->getRangeAddresses())
            if (isCursor(a))
                return a;
    // The document hands out the view data it described first, long out of
    // date by now; dropped, it is described afresh from the view.
    Reference<css::document::XViewDataSupplier> vds(doc, UNO_QUERY_THROW);
    vds->setViewData({});
    auto data = vds->getViewData();
    Sequence<css::beans::PropertyValue> props;
    if (data.is() && data->getCount() > 0 && (data->getByIndex(0) >>= props)) {
        const auto name = toUno(sheetName(sheet));
        for (const auto& p : props) {
            if (p.Name != "Tables")
                continue;
            Reference<css::container::XNameAccess> tables(p.Value, UNO_QUERY);
            if (!tables.is() || !tables->hasByName(name))
                break;
            Sequence<css::beans::PropertyValue> table;
            tables->getByName(name) >>= table;
            for (const auto& t : table) {
                if (t.Name == "CursorPositionX")
                    t.Value >>= cell.StartColumn;
                else if (t.Name == "CursorPositionY")
                    t.Value >>= cell.StartRow;
            }
        }
    }
    cell.EndColumn = cell.StartColumn;
    cell.EndRow = cell.StartRow;
    return cell;
}

Reference<css::awt::XWindow> containerWindowOf(const DocRef& doc) {
    auto w = frameOf(doc)->getContainerWindow();
    if (!w.is())
        throw HostError(QStringLiteral("The workbook has no window"));
    return w;
}

Reference<css::beans::XPropertySet> configNode(const Reference<css::uno::XComponentContext>& ctx,
                                               const char* path) {
    auto provider = css::configuration::theDefaultProvider::get(ctx);
    css::beans::NamedValue arg;
    arg.Name = "nodepath";
    arg.Value <<= rtl::OUString::createFromAscii(path);
    Sequence<Any> args(1);
    args.getArray()[0] <<= arg;
    return Reference<css::beans::XPropertySet>(
        provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess",
                                              args),
        UNO_QUERY_THROW);
}

QString fileUrlToPath(const rtl::OUString& url) {
    return QUrl(toQt(url)).toLocalFile();
}

Any dispatch(const Reference<css::uno::XComponentContext>& ctx, const DocRef& doc,
             const char* command) {
    auto helper = css::frame::DispatchHelper::create(ctx);
    Reference<css::frame::XDispatchProvider> provider(frameOf(doc), UNO_QUERY_THROW);
    return helper->executeDispatch(provider, rtl::OUString::createFromAscii(command), "", 0, {});
}

// Leaves `sheet`, the active one, selected alone. Activating a sheet inside
// a group keeps the group, so the view moves away and back: to a sheet
// outside the group, which ends it, or, when every visible sheet is grouped,
// to any other, which ends it there as a click on a tab does.
void endGroup(const DocRef& doc, const Reference<css::sheet::XSpreadsheetView>& view,
              const SheetRef& sheet) {
    // A selection over several sheets lists a range on each grouped sheet.
    std::set<sal_Int32> grouped;
    Reference<css::view::XSelectionSupplier> selection(view, UNO_QUERY_THROW);
    Reference<css::sheet::XSheetCellRanges> ranges(selection->getSelection(), UNO_QUERY);
    if (ranges.is())
        for (const auto& a : ranges->getRangeAddresses())
            grouped.insert(a.Sheet);
    const sal_Int32 self = addressOf(sheet).Sheet;
    grouped.erase(self);
    if (grouped.empty())
        return;
    Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> all(must(d->getSheets()), UNO_QUERY_THROW);
    SheetRef outside, inside;
    for (sal_Int32 i = 0, n = all->getCount(); i < n && !outside.is(); ++i) {
        if (i == self)
            continue;
        SheetRef s(all->getByIndex(i), UNO_QUERY_THROW);
        bool visible = true;
        Reference<css::beans::XPropertySet>(s, UNO_QUERY_THROW)->getPropertyValue("IsVisible") >>=
            visible;
        if (!visible)
            continue;
        if (!grouped.count(i))
            outside = s;
        else if (!inside.is())
            inside = s;
    }
    view->setActiveSheet(outside.is() ? outside : inside);
    view->setActiveSheet(sheet);
}

void groupSheets(const DocRef& doc, const QStringList& names) {
    Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
    auto sheets = must(d->getSheets());
    std::vector<SheetRef> chosen;
    for (const auto& n : names) {
        if (!sheets->hasByName(toUno(n)))
            throw HostError(QStringLiteral("The workbook has no sheet \"%1\"").arg(n));
        chosen.emplace_back(sheets->getByName(toUno(n)), UNO_QUERY_THROW);
    }
    auto controller = controllerOf(doc);
    Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY_THROW);
    view->setActiveSheet(chosen.front());
    if (chosen.size() == 1)
        return endGroup(doc, view, chosen.front());
    // Sheets are grouped by a selection spanning them: the active sheet's
    // cursor cell on every one of them, the active sheet first so that it
    // stays the active one.
    const auto cursor = cursorOf(doc, chosen.front());
    Reference<css::lang::XMultiServiceFactory> factory(doc, UNO_QUERY_THROW);
    Reference<css::sheet::XSheetCellRangeContainer> ranges(
        factory->createInstance("com.sun.star.sheet.SheetCellRanges"), UNO_QUERY_THROW);
    for (const auto& s : chosen) {
        auto a = cursor;
        a.Sheet = addressOf(s).Sheet;
        ranges->addRangeAddress(a, false);
    }
    Reference<css::view::XSelectionSupplier> selection(controller, UNO_QUERY_THROW);
    if (!selection->select(Any(ranges)))
        throw HostError(QStringLiteral("LibreOffice refused to group the sheets"));
    // Then the marked cells go and the group stays, as after clicks on the
    // sheet tabs: with cells marked the print dialog prints "selected cells",
    // a single page, instead of the grouped sheets.
    selection->select(Any(Reference<css::sheet::XSheetCellRangeContainer>(
        factory->createInstance("com.sun.star.sheet.SheetCellRanges"), UNO_QUERY_THROW)));
    // The sheet tabs learn of a group made this way only when the view
    // switches to another sheet of it. Until then they show the active sheet
    // alone while every edit goes to the whole group, and the user's next
    // click on a tab of the group breaks it up. A group of every visible
    // sheet is the exception: there a switch ends the group, as a click on a
    // tab does when all are selected.
    Reference<css::container::XIndexAccess> all(sheets, UNO_QUERY_THROW);
    bool someSheetLeftOut = false;
    for (sal_Int32 i = 0, n = all->getCount(); i < n && !someSheetLeftOut; ++i) {
        SheetRef s(all->getByIndex(i), UNO_QUERY_THROW);
        bool visible = true;
        Reference<css::beans::XPropertySet>(s, UNO_QUERY_THROW)->getPropertyValue("IsVisible") >>=
            visible;
        someSheetLeftOut = visible && !names.contains(sheetName(s));
    }
    if (someSheetLeftOut)
        view->setActiveSheet(chosen[1]);
    view->setActiveSheet(chosen.front());
}

} // namespace uno_helpers

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

// Whether the book may hold a chart at all. Every chart is an embedded object
// of the document, and the document's resolver of embedded objects answers
// for the whole book in one question. When the office offers no such
// resolver, every sheet is asked.
bool mayHoldCharts(const DocRef& doc) {
    Reference<css::container::XNameAccess> objects;
    try {
        Reference<css::lang::XMultiServiceFactory> factory(doc, UNO_QUERY);
        if (factory.is())
            objects.set(
                factory->createInstance("com.sun.star.document.ExportEmbeddedObjectResolver"),
                UNO_QUERY);
    } catch (const css::lang::DisposedException&) {
        throw;
    } catch (const css::uno::Exception&) {
    }
    return !objects.is() || objects->hasElements();
}

// Indexes of the sheets that hold a drawing object: only they can be chart
// sheets (isChartSheet). Two quick questions a sheet, where the full test
// takes five, and a book of hundreds of sheets has seldom a drawing at all.
std::vector<sal_Int32> sheetsWithDrawings(const DocRef& doc, sal_Int32 count) {
    std::vector<sal_Int32> found;
    if (!mayHoldCharts(doc))
        return found;
    Reference<css::drawing::XDrawPagesSupplier> supplier(doc, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> pages(must(supplier->getDrawPages()), UNO_QUERY_THROW);
    for (sal_Int32 i = 0, n = std::min(count, pages->getCount()); i < n; ++i) {
        Reference<css::drawing::XDrawPage> page(pages->getByIndex(i), UNO_QUERY);
        if (!page.is() || page->hasElements())
            found.push_back(i);
    }
    return found;
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

std::shared_ptr<DocumentMemo> makeDocumentMemo(const SessionPtr& session) {
    auto memo = std::make_shared<DocumentMemo>();
    session->keep(memo);
    return memo;
}

namespace {

// The books in the order they were opened, as spreadsheetDocuments() gives
// them, with what the memo knew of each.
std::vector<DocumentMemo::Book> rememberedBooks(const Reference<css::frame::XDesktop2>& desktop,
                                                const DocumentMemo& memo) {
    const auto known = memo.recall();
    std::vector<DocumentMemo::Book> books;
    auto e = must(must(desktop->getComponents())->createEnumeration());
    while (e->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(e->nextElement(), UNO_QUERY);
        auto same = [&](const DocumentMemo::Book& b) { return b.sheets.get() == doc.get(); };
        // A book shown in several windows comes once per window.
        if (!doc.is() || std::any_of(books.begin(), books.end(), same))
            continue;
        const auto it = std::find_if(known.begin(), known.end(), same);
        if (it != known.end())
            books.push_back(*it);
        else if (DocRef model(doc, UNO_QUERY); model.is())
            books.push_back({doc, model, nullptr, std::nullopt, nullptr});
    }
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
    return m_s->run([d = m_s->desktop()] { return int(spreadsheetDocuments(d).size()); });
}

host::WorkbookPtr CalcApplication::workbook(int index) {
    auto doc = m_s->run([d = m_s->desktop(), index] {
        auto docs = spreadsheetDocuments(d);
        if (index < 1 || index > int(docs.size()))
            throw HostError(QStringLiteral("There is no workbook number %1").arg(index));
        return docs[size_t(index - 1)];
    });
    return std::make_shared<CalcWorkbook>(m_s, m_cache, doc);
}

host::WorkbookPtr CalcApplication::workbook(const QString& name) {
    auto doc = m_s->run([d = m_s->desktop(), name] { return documentNamed(d, name); });
    return std::make_shared<CalcWorkbook>(m_s, m_cache, doc);
}

std::vector<host::BookEntry> CalcApplication::bookList() {
    return m_s->run([d = m_s->desktop(), memo = m_memo] {
        std::vector<host::BookEntry> list;
        auto docs = rememberedBooks(d, *memo);
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
    // Loading a large book takes its time; a frozen office still gets caught.
    auto doc = m_s->run(
        [d = m_s->desktop(), url, addToRecent] {
            Reference<css::frame::XComponentLoader> loader(d, UNO_QUERY_THROW);
            css::beans::PropertyValue recent;
            recent.Name = "PickListEntry";
            recent.Value <<= addToRecent;
            Sequence<css::beans::PropertyValue> args(&recent, 1);
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

// ---- Workbook --------------------------------------------------------------

QString CalcWorkbook::name() const {
    return m_s->run([doc = m_doc->get()] { return documentTitle(doc); });
}

void CalcWorkbook::activate() {
    // The book becomes the office's current one without its window being
    // raised or given the focus: Korvex's window, where the user clicked,
    // stays in front. Only showing the office brings it forward.
    m_s->run([doc = m_doc->get()] { frameOf(doc)->activate(); });
}

quintptr CalcWorkbook::windowHandle() {
    return m_s->run([doc = m_doc->get()]() -> quintptr {
        Reference<css::awt::XSystemDependentWindowPeer> peer(containerWindowOf(doc), UNO_QUERY);
        if (!peer.is())
            return 0;
        css::uno::Sequence<sal_Int8> process(16);
        rtl_getGlobalProcessId(reinterpret_cast<sal_uInt8*>(process.getArray()));
        const css::uno::Any handle =
            peer->getWindowHandle(process, css::lang::SystemDependent::SYSTEM_XWINDOW);
        css::awt::SystemDependentXWindow x;
        if (handle >>= x)
            return quintptr(x.WindowHandle);
        sal_Int64 plain = 0;
        return (handle >>= plain) ? quintptr(plain) : 0;
    });
}

void CalcWorkbook::close(std::optional<bool> saveChanges) {
    if (!saveChanges) {
        // Without a decision the office asks the user about unsaved changes,
        // as a close through its own menu would.
        m_s->runWhileAlive(
            [ctx = m_s->context(), doc = m_doc->get()] { dispatch(ctx, doc, ".uno:CloseDoc"); });
        return;
    }
    m_s->run([doc = m_doc->get(), save = *saveChanges] {
        Reference<css::util::XModifiable> modifiable(doc, UNO_QUERY);
        if (save && modifiable.is() && modifiable->isModified()) {
            Reference<css::frame::XStorable> storable(doc, UNO_QUERY_THROW);
            if (!storable->hasLocation() || storable->isReadonly())
                throw HostError(QStringLiteral("The workbook has no file it could be saved to"));
            storable->store();
        } else if (modifiable.is()) {
            modifiable->setModified(false);
        }
        Reference<css::util::XCloseable> closeable(doc, UNO_QUERY_THROW);
        closeable->close(true);
    });
}

host::SheetPtr CalcWorkbook::activeSheet() {
    auto sheet = m_s->run([doc = m_doc->get()] { return activeSheetOf(doc); });
    return std::make_shared<CalcSheet>(m_s, m_cache, m_doc->get(), sheet);
}

int CalcWorkbook::sheetCount() {
    return m_s->run([doc = m_doc->get()] {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        Reference<css::container::XIndexAccess> sheets(must(d->getSheets()), UNO_QUERY_THROW);
        return int(sheets->getCount());
    });
}

host::SheetPtr CalcWorkbook::sheet(int index) {
    auto sheet = m_s->run([doc = m_doc->get(), index] {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        Reference<css::container::XIndexAccess> sheets(must(d->getSheets()), UNO_QUERY_THROW);
        if (index < 1 || index > sheets->getCount())
            throw HostError(QStringLiteral("There is no sheet number %1").arg(index));
        return SheetRef(sheets->getByIndex(index - 1), UNO_QUERY_THROW);
    });
    return std::make_shared<CalcSheet>(m_s, m_cache, m_doc->get(), sheet);
}

host::SheetPtr CalcWorkbook::sheet(const QString& name) {
    auto sheet = m_s->run([doc = m_doc->get(), name] {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        auto sheets = must(d->getSheets());
        if (!sheets->hasByName(toUno(name)))
            throw HostError(QStringLiteral("The workbook has no sheet \"%1\"").arg(name));
        return SheetRef(sheets->getByName(toUno(name)), UNO_QUERY_THROW);
    });
    return std::make_shared<CalcSheet>(m_s, m_cache, m_doc->get(), sheet);
}

int CalcWorkbook::worksheetCount() {
    return m_s->run([doc = m_doc->get()] {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        Reference<css::container::XIndexAccess> sheets(must(d->getSheets()), UNO_QUERY_THROW);
        int n = 0;
        for (sal_Int32 i = 0, count = sheets->getCount(); i < count; ++i)
            if (!isChartSheet(SheetRef(sheets->getByIndex(i), UNO_QUERY_THROW)))
                ++n;
        return n;
    });
}

host::SheetPtr CalcWorkbook::worksheet(int index) {
    auto sheet = m_s->run([doc = m_doc->get(), index] {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        Reference<css::container::XIndexAccess> sheets(must(d->getSheets()), UNO_QUERY_THROW);
        int n = 0;
        for (sal_Int32 i = 0, count = sheets->getCount(); i < count; ++i) {
            SheetRef s(sheets->getByIndex(i), UNO_QUERY_THROW);
            if (!isChartSheet(s) && ++n == index)
                return s;
        }
        throw HostError(QStringLiteral("There is no worksheet number %1").arg(index));
    });
    return std::make_shared<CalcSheet>(m_s, m_cache, m_doc->get(), sheet);
}

host::SheetPtr CalcWorkbook::worksheet(const QString& name) {
    auto found = sheet(name);
    if (!found->isWorksheet())
        throw HostError(QStringLiteral("\"%1\" is a chart sheet, not a worksheet").arg(name));
    return found;
}

std::vector<host::SheetEntry> CalcWorkbook::sheetList() {
    return m_s->run([doc = m_doc->get()] {
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        auto sheets = must(d->getSheets());
        const auto names = sheets->getElementNames();
        std::vector<host::SheetEntry> list;
        list.reserve(size_t(names.getLength()));
        for (const auto& n : names)
            list.push_back({toQt(n), true});
        Reference<css::container::XIndexAccess> byIndex;
        for (const sal_Int32 i : sheetsWithDrawings(doc, names.getLength())) {
            if (!byIndex.is())
                byIndex.set(sheets, UNO_QUERY_THROW);
            list[size_t(i)].worksheet =
                !isChartSheet(SheetRef(byIndex->getByIndex(i), UNO_QUERY_THROW));
        }
        return list;
    });
}

std::vector<host::SheetPtr> CalcWorkbook::worksheetsNamed(const QStringList& names) {
    struct Found {
        std::vector<SheetRef> sheets; // empty reference: no such worksheet
        PageStyleUsePtr styleUse;
    };
    auto found = m_s->run([doc = m_doc->get(), names] {
        requireOpen(doc);
        Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
        Reference<css::container::XIndexAccess> sheets(must(d->getSheets()), UNO_QUERY_THROW);
        Found f;
        f.styleUse = std::make_shared<PageStyleUse>();
        std::map<QString, SheetRef> byName;
        for (sal_Int32 i = 0, n = sheets->getCount(); i < n; ++i) {
            SheetRef s(sheets->getByIndex(i), UNO_QUERY_THROW);
            const rtl::OUString name =
                Reference<css::container::XNamed>(s, UNO_QUERY_THROW)->getName();
            rtl::OUString style;
            Reference<css::beans::XPropertySet>(s, UNO_QUERY_THROW)
                ->getPropertyValue("PageStyle") >>= style;
            f.styleUse->styleOfSheet[name] = style;
            ++f.styleUse->users[style];
            byName.emplace(toQt(name), s);
        }
        for (const QString& name : names) {
            const auto it = byName.find(name);
            f.sheets.push_back(it != byName.end() && !isChartSheet(it->second) ? it->second
                                                                               : SheetRef());
        }
        return f;
    });
    std::vector<host::SheetPtr> result;
    for (const auto& sheet : found.sheets)
        result.push_back(sheet.is() ? std::make_shared<CalcSheet>(m_s, m_cache, m_doc->get(), sheet,
                                                                  found.styleUse)
                                    : nullptr);
    return result;
}

void CalcWorkbook::selectSheets(const QStringList& names) {
    if (names.isEmpty())
        throw HostError(QStringLiteral("No sheet to select"));
    m_s->run([doc = m_doc->get(), names] { groupSheets(doc, names); });
}

int CalcWorkbook::windowCount() {
    return m_s->run([doc = m_doc->get()] {
        auto controllers =
            must(Reference<css::frame::XModel2>(doc, UNO_QUERY_THROW)->getControllers());
        int n = 0;
        while (controllers->hasMoreElements()) {
            controllers->nextElement();
            ++n;
        }
        return n;
    });
}

host::WindowPtr CalcWorkbook::window(int index) {
    struct Found {
        Reference<css::frame::XController> controller;
        QString caption;
    };
    auto found = m_s->run([doc = m_doc->get(), index] {
        std::vector<Reference<css::frame::XController>> all;
        auto controllers =
            must(Reference<css::frame::XModel2>(doc, UNO_QUERY_THROW)->getControllers());
        while (controllers->hasMoreElements())
            all.emplace_back(controllers->nextElement(), UNO_QUERY);
        if (index < 1 || index > int(all.size()))
            throw HostError(QStringLiteral("There is no window number %1").arg(index));
        Found f;
        f.controller = all[size_t(index - 1)];
        f.caption = documentTitle(doc);
        // A book shown in several windows names them "book:1", "book:2".
        if (all.size() > 1)
            f.caption += QStringLiteral(":%1").arg(index);
        return f;
    });
    return std::make_shared<CalcWindow>(m_s, m_doc->get(), found.controller, found.caption);
}

// ---- Window ----------------------------------------------------------------

bool CalcWindow::visible() const {
    return m_s->run([c = m_controller->get()] {
        auto frame = c->getFrame();
        if (!frame.is())
            return false;
        Reference<css::awt::XWindow2> w(frame->getContainerWindow(), UNO_QUERY);
        return w.is() && w->isVisible();
    });
}

QStringList CalcWindow::selectedSheets() const {
    return m_s->run([c = m_controller->get(), doc = m_doc->get()] {
        Reference<css::sheet::XSpreadsheetView> view(c, UNO_QUERY_THROW);
        Reference<css::view::XSelectionSupplier> selection(c, UNO_QUERY_THROW);
        std::map<int, QString> grouped; // tab order
        auto active = must(view->getActiveSheet());
        grouped[addressOf(active).Sheet] = sheetName(active);
        // A selection over several sheets lists a range on each grouped sheet.
        Reference<css::sheet::XSheetCellRanges> ranges(selection->getSelection(), UNO_QUERY);
        if (ranges.is()) {
            Reference<css::sheet::XSpreadsheetDocument> d(doc, UNO_QUERY_THROW);
            Reference<css::container::XIndexAccess> sheets(must(d->getSheets()), UNO_QUERY_THROW);
            for (const auto& a : ranges->getRangeAddresses())
                if (!grouped.count(a.Sheet))
                    grouped[a.Sheet] =
                        sheetName(SheetRef(sheets->getByIndex(a.Sheet), UNO_QUERY_THROW));
        }
        QStringList names;
        for (const auto& [index, name] : grouped)
            names << name;
        return names;
    });
}

// ---- Sheet -----------------------------------------------------------------

QString CalcSheet::name() const {
    return m_s->run([doc = m_doc->get(), sheet = m_sheet->get()] {
        requireOpen(doc);
        documentTitle(doc); // a sheet of a closed book still answers with its old name
        return sheetName(sheet);
    });
}

bool CalcSheet::isWorksheet() const {
    return m_s->run([doc = m_doc->get(), sheet = m_sheet->get()] {
        requireOpen(doc);
        return !isChartSheet(sheet);
    });
}

void CalcSheet::activate() {
    m_s->run([doc = m_doc->get(), sheet = m_sheet->get()] {
        requireOpen(doc);
        Reference<css::sheet::XSpreadsheetView> view(controllerOf(doc), UNO_QUERY_THROW);
        view->setActiveSheet(sheet);
    });
}

host::RangePtr CalcSheet::cells() {
    auto addr = m_s->run([doc = m_doc->get(), sheet = m_sheet->get()] {
        requireOpen(doc);
        requireWorksheet(sheet);
        return addressOf(sheet);
    });
    return std::make_shared<CalcRange>(m_s, m_cache, m_doc->get(), m_sheet->get(), addr);
}

host::RangePtr CalcSheet::cell(int row, int column) {
    auto addr = m_s->run([doc = m_doc->get(), sheet = m_sheet->get(), row, column] {
        requireOpen(doc);
        requireWorksheet(sheet);
        auto whole = addressOf(sheet);
        if (row < 1 || column < 1 || row - 1 > whole.EndRow || column - 1 > whole.EndColumn)
            throw HostError(QStringLiteral("No cell at row %1, column %2").arg(row).arg(column));
        css::table::CellRangeAddress a;
        a.Sheet = whole.Sheet;
        a.StartRow = a.EndRow = row - 1;
        a.StartColumn = a.EndColumn = column - 1;
        return a;
    });
    return std::make_shared<CalcRange>(m_s, m_cache, m_doc->get(), m_sheet->get(), addr);
}

host::RangePtr CalcSheet::range(const QString& address) {
    auto addr = m_s->run([doc = m_doc->get(), sheet = m_sheet->get(), address] {
        requireOpen(doc);
        requireWorksheet(sheet);
        Reference<css::table::XCellRange> r(sheet, UNO_QUERY_THROW);
        try {
            return addressOf(r->getCellRangeByName(toUno(address)));
        } catch (const css::uno::RuntimeException&) {
            throw HostError(QStringLiteral("\"%1\" is not a cell address").arg(address));
        }
    });
    return std::make_shared<CalcRange>(m_s, m_cache, m_doc->get(), m_sheet->get(), addr);
}

host::PageSetupPtr CalcSheet::pageSetup() {
    // A sheet from worksheetsNamed is known to be a worksheet; a book closed
    // since fails at the first read or write all the same.
    if (!m_styleUse)
        m_s->run([doc = m_doc->get(), sheet = m_sheet->get()] {
            requireOpen(doc);
            requireWorksheet(sheet);
        });
    return std::make_shared<CalcPageSetup>(m_s, m_doc->get(), m_sheet->get(), m_styleUse);
}

} // namespace korvex::calc
