// A workbook, its windows and its sheets.

#include "calc_model.h"

#include "uno_text.h"

#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XModel2.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <rtl/process.h>

#include <map>

#include <QFileInfo>
#include <QUrl>

namespace korvex::calc {

using namespace uno_helpers;

namespace {

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

// A book's sheet names in tab order and which of them are chart sheets, in
// one pass that looks closer only at sheets holding a drawing.
struct SheetKinds {
    explicit SheetKinds(const DocRef& doc)
        : sheets(
              must(Reference<css::sheet::XSpreadsheetDocument>(doc, UNO_QUERY_THROW)->getSheets())),
          names(sheets->getElementNames()), chart(size_t(names.getLength()), false) {
        for (const sal_Int32 i : sheetsWithDrawings(doc, names.getLength()))
            chart[size_t(i)] = isChartSheet(SheetRef(byIndex()->getByIndex(i), UNO_QUERY_THROW));
    }
    const Reference<css::container::XIndexAccess>& byIndex() const {
        if (!m_byIndex.is())
            m_byIndex.set(sheets, UNO_QUERY_THROW);
        return m_byIndex;
    }
    Reference<css::sheet::XSpreadsheets> sheets;
    css::uno::Sequence<rtl::OUString> names;
    std::vector<bool> chart;

private:
    mutable Reference<css::container::XIndexAccess> m_byIndex;
};

} // namespace

// ---- Workbook --------------------------------------------------------------

QString CalcWorkbook::name() const {
    return m_s->run([doc = m_doc->get()] { return documentTitle(doc); });
}

QString CalcWorkbook::fullName() const {
    return m_s->run([doc = m_doc->get()] {
        const QUrl url(toQt(doc->getURL()));
        return url.isLocalFile() ? QFileInfo(url.toLocalFile()).absoluteFilePath()
                                 : documentTitle(doc);
    });
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
        const SheetKinds kinds(doc);
        std::vector<host::SheetEntry> list;
        list.reserve(size_t(kinds.names.getLength()));
        for (sal_Int32 i = 0; i < kinds.names.getLength(); ++i)
            list.push_back({toQt(kinds.names[i]), !kinds.chart[size_t(i)]});
        return list;
    });
}

std::vector<host::NamedSheet> CalcWorkbook::worksheets() {
    const auto found = m_s->run([doc = m_doc->get()] {
        const SheetKinds kinds(doc);
        std::vector<std::pair<QString, SheetRef>> out;
        for (sal_Int32 i = 0; i < kinds.names.getLength(); ++i) {
            if (!kinds.chart[size_t(i)])
                out.emplace_back(toQt(kinds.names[i]),
                                 SheetRef(kinds.byIndex()->getByIndex(i), UNO_QUERY_THROW));
        }
        return out;
    });
    std::vector<host::NamedSheet> result;
    for (const auto& [name, sheet] : found)
        result.push_back(
            {name, std::make_shared<CalcSheet>(m_s, m_cache, m_doc->get(), sheet, nullptr, true)});
    return result;
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

host::RangePtr CalcSheet::cursorCell() {
    auto addr = m_s->run([doc = m_doc->get(), sheet = m_sheet->get()] {
        requireOpen(doc);
        requireWorksheet(sheet);
        return cursorOf(doc, sheet);
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
    // A sheet just listed as a worksheet is known to be one; a book closed
    // since fails at the first read or write all the same.
    if (!m_knownWorksheet)
        m_s->run([doc = m_doc->get(), sheet = m_sheet->get()] {
            requireOpen(doc);
            requireWorksheet(sheet);
        });
    return std::make_shared<CalcPageSetup>(m_s, m_doc->get(), m_sheet->get(), m_styleUse);
}

} // namespace korvex::calc
