// What the parts of the Calc host ask of the office's documents, windows
// and sheets; everything here runs on the session's worker.

#include "calc_model.h"

#include "uno_text.h"

#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XDialog.hpp>
#include <com/sun/star/awt/XExtendedToolkit.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XViewDataSupplier.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel2.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XTableChartsSupplier.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <QUrl>

#include <algorithm>
#include <set>

namespace korvex::calc::uno_helpers {

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

// Spreadsheet documents in the desktop's order (the order they were opened).
std::vector<DocRef> spreadsheetDocuments(const Reference<css::frame::XDesktop2>& desktop,
                                         ReadingLoads* leaveOut) {
    std::vector<DocRef> docs;
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> seen;
    auto components = must(desktop->getComponents());
    auto e = must(components->createEnumeration());
    while (e->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(e->nextElement(), UNO_QUERY);
        if (doc.is())
            seen.push_back(doc);
        if (leaveOut && leaveOut->has(doc))
            continue;
        DocRef model(doc, UNO_QUERY);
        // A book shown in several windows comes once per window.
        if (model.is() && std::find(docs.begin(), docs.end(), model) == docs.end())
            docs.push_back(model);
    }
    if (leaveOut)
        leaveOut->keepOnly(seen);
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

DocRef documentNamed(const Reference<css::frame::XDesktop2>& desktop, const QString& name,
                     ReadingLoads* leaveOut) {
    // A book is looked up by its title alone; the opening order (a question
    // per document) matters only to the lists, and is not asked for here.
    auto e = must(must(desktop->getComponents())->createEnumeration());
    while (e->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> doc(e->nextElement(), UNO_QUERY);
        if (leaveOut && leaveOut->has(doc))
            continue;
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

} // namespace korvex::calc::uno_helpers
