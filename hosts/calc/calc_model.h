#pragma once
// The host object model over a LibreOffice Calc reached through UNO. Every
// object keeps the UNO references it names plus the session they came from;
// each operation is one task on the session's worker, so a closed document,
// a vanished office or a frozen one all end as HostError in the caller.

#include "calc_search_cache.h"
#include "uno_names.h"
#include "uno_session.h"

#include <com/sun/star/awt/XDialog.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace korvex::calc {

using SessionPtr = std::shared_ptr<Session>;
using DocRef = css::uno::Reference<css::frame::XModel>;
using SheetRef = css::uno::Reference<css::sheet::XSpreadsheet>;
// The application's search cache, shared with the books, sheets and cells it
// hands out.
using CachePtr = std::shared_ptr<SearchCache>;
// What the book list remembers of the open books; kept per connection.
class DocumentMemo;
std::shared_ptr<DocumentMemo> makeDocumentMemo(const SessionPtr& session);

// The books loaded hidden for reading (openForReading), which no list or
// lookup of the open books shows; kept per connection. The bridge hands out
// one proxy per document, so a kept proxy is known again without asking the
// office.
class ReadingLoads : public HeldBase {
public:
    void add(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
    bool has(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc) const;
    // Forgets the loads not among `open` (closed since).
    void keepOnly(const std::vector<css::uno::Reference<css::sheet::XSpreadsheetDocument>>& open);
    void release() override;

private:
    mutable std::mutex m_mutex;
    bool m_released = false;
    std::vector<css::uno::Reference<css::sheet::XSpreadsheetDocument>> m_docs;
};
using ReadingLoadsPtr = std::shared_ptr<ReadingLoads>;

// Which page style each sheet of a book prints with, read in one pass when a
// run over many of its sheets begins (Workbook::worksheetsNamed), so that
// giving a sheet a style of its own need not look at every other sheet
// again. The run's own changes keep it up to date; a sheet whose style has
// changed behind its back is looked at afresh.
struct PageStyleUse {
    std::mutex mutex;
    std::map<rtl::OUString, rtl::OUString> styleOfSheet; // sheet name -> style name
    std::map<rtl::OUString, int> users;                  // style name -> sheets
};
using PageStyleUsePtr = std::shared_ptr<PageStyleUse>;

class CalcApplication : public host::Application {
public:
    explicit CalcApplication(SessionPtr session)
        : m_s(std::move(session)), m_cache(std::make_shared<SearchCache>(m_s)),
          m_memo(makeDocumentMemo(m_s)), m_reading(std::make_shared<ReadingLoads>()) {
        m_s->keep(m_reading);
    }
    const SessionPtr& session() const { return m_s; }
    SearchCache& searchCache() const { return *m_cache; }

    int workbookCount() override;
    host::WorkbookPtr workbook(int index) override;
    host::WorkbookPtr workbook(const QString& name) override;
    std::vector<host::BookEntry> bookList() override;
    host::WorkbookPtr openWorkbook(const QString& path,
                                   std::optional<host::OpenOptions> options = {}) override;
    host::ReadingBook openForReading(const QString& path) override; // calc_file_reading.cpp
    host::WindowPtr window(const QString& caption) override;
    host::WorkbookPtr activeWorkbook() override;
    host::SheetPtr activeSheet() override;
    host::RangePtr activeCell() override;
    Position currentPosition() override;
    bool showDialog(host::Dialog dialog) override;

    QString name() const override;
    QString version() const override;
    QString path() const override;
    QString startupPath() const override;
    bool visible() const override;
    void setVisible(bool visible) override;
    host::WindowState windowState() const override;
    void setWindowState(host::WindowState state) override;
    void bringToFront() override;
    bool paintsDuringCalls() const override { return true; }

private:
    SessionPtr m_s;
    CachePtr m_cache;
    std::shared_ptr<DocumentMemo> m_memo;
    ReadingLoadsPtr m_reading;
};

class CalcWorkbook : public host::Workbook {
public:
    CalcWorkbook(SessionPtr s, CachePtr cache, DocRef doc)
        : m_s(std::move(s)), m_cache(std::move(cache)), m_doc(m_s->hold(std::move(doc))) {}
    DocRef document() const { return m_doc->get(); }

    QString name() const override;
    QString fullName() const override;
    void activate() override;
    void close(std::optional<bool> saveChanges = std::nullopt) override;
    host::SheetPtr activeSheet() override;
    int sheetCount() override;
    host::SheetPtr sheet(int index) override;
    host::SheetPtr sheet(const QString& name) override;
    int worksheetCount() override;
    host::SheetPtr worksheet(int index) override;
    host::SheetPtr worksheet(const QString& name) override;
    std::vector<host::SheetEntry> sheetList() override;
    std::vector<host::SheetPtr> worksheetsNamed(const QStringList& names) override;
    std::vector<host::NamedSheet> worksheets() override;
    void selectSheets(const QStringList& names) override;
    int windowCount() override;
    host::WindowPtr window(int index) override;
    quintptr windowHandle() override;

private:
    SessionPtr m_s;
    CachePtr m_cache;
    HeldPtr<css::frame::XModel> m_doc;
};

class CalcWindow : public host::Window {
public:
    CalcWindow(SessionPtr s, DocRef doc, css::uno::Reference<css::frame::XController> controller,
               QString caption)
        : m_s(std::move(s)), m_doc(m_s->hold(std::move(doc))),
          m_controller(m_s->hold(std::move(controller))), m_caption(std::move(caption)) {}
    QString caption() const override { return m_caption; }
    bool visible() const override;
    QStringList selectedSheets() const override;

private:
    SessionPtr m_s;
    HeldPtr<css::frame::XModel> m_doc;
    HeldPtr<css::frame::XController> m_controller;
    QString m_caption;
};

class CalcSheet : public host::Sheet {
public:
    // `knownWorksheet`: the sheet was just listed as a worksheet (as every
    // sheet given a style use is), so no call needs to ask again.
    CalcSheet(SessionPtr s, CachePtr cache, DocRef doc, SheetRef sheet,
              PageStyleUsePtr styleUse = nullptr, bool knownWorksheet = false)
        : m_s(std::move(s)), m_cache(std::move(cache)), m_doc(m_s->hold(std::move(doc))),
          m_sheet(m_s->hold(std::move(sheet))), m_styleUse(std::move(styleUse)),
          m_knownWorksheet(knownWorksheet || m_styleUse) {}
    QString name() const override;
    bool isWorksheet() const override;
    void activate() override;
    host::RangePtr cells() override;
    host::RangePtr cell(int row, int column) override;
    host::RangePtr range(const QString& address) override;
    host::PageSetupPtr pageSetup() override;
    host::RangePtr cursorCell() override;
    using host::Sheet::findAll;
    std::vector<host::FoundCell> findAll(const host::FindOptions& options,
                                         const host::ReadInBands& bands) override;
    std::vector<host::CellReplacement>
    replaceCells(const host::ReplaceOptions& options,
                 const std::vector<host::CellPosition>& cells) override;
    std::function<std::vector<host::CellReplacement>()>
    beginReplaceCells(const host::ReplaceOptions& options,
                      const std::vector<host::CellPosition>& cells) override;

private:
    SessionPtr m_s;
    CachePtr m_cache;
    HeldPtr<css::frame::XModel> m_doc;
    HeldPtr<css::sheet::XSpreadsheet> m_sheet;
    PageStyleUsePtr m_styleUse;
    bool m_knownWorksheet;
};

class CalcRange : public host::Range {
public:
    // `foundIn`: the kept matches (SearchCache::Matches::id) this cell was
    // found in, 0 for none.
    CalcRange(SessionPtr s, CachePtr cache, DocRef doc, SheetRef sheet,
              css::table::CellRangeAddress address, std::uint64_t foundIn = 0)
        : m_s(std::move(s)), m_cache(std::move(cache)), m_doc(m_s->hold(std::move(doc))),
          m_sheet(m_s->hold(std::move(sheet))), m_addr(address), m_foundIn(foundIn) {}
    const css::table::CellRangeAddress& rangeAddress() const { return m_addr; }
    SheetRef sheet() const { return m_sheet->get(); }

    QVariant value() const override;
    void setValue(const QVariant& value) override;
    host::CheckedWrite setValueIf(const QStringList& expected, int compareChars,
                                  const QVariant& value) override;
    int row() const override { return m_addr.StartRow + 1; }
    int column() const override { return m_addr.StartColumn + 1; }
    QString address(bool rowAbsolute = true, bool columnAbsolute = true) const override;
    void activate() override;
    void select() override;
    host::RangePtr find(const host::FindOptions& options) override;
    host::RangePtr findNext(const host::RangePtr& after) override;
    bool replace(const host::ReplaceOptions& options) override;

    // Every match in this range under `settings`, read now or kept from the
    // last read while no watched document has changed.
    // Null when `bands.between` stopped the read.
    const SearchCache::Matches* matches(const matcher::FindSettings& settings,
                                        const host::ReadInBands& bands = {});

private:
    host::RangePtr search(const matcher::FindSettings& settings, const host::RangePtr& after);

    SessionPtr m_s;
    CachePtr m_cache;
    HeldPtr<css::frame::XModel> m_doc;
    HeldPtr<css::sheet::XSpreadsheet> m_sheet;
    css::table::CellRangeAddress m_addr;
    std::uint64_t m_foundIn;
};

class CalcPageSetup : public host::PageSetup {
public:
    CalcPageSetup(SessionPtr s, DocRef doc, SheetRef sheet, PageStyleUsePtr styleUse = nullptr)
        : m_s(std::move(s)), m_doc(m_s->hold(std::move(doc))), m_sheet(m_s->hold(std::move(sheet))),
          m_styleUse(std::move(styleUse)) {}
    QVariant get(host::PageProperty p) const override;
    void set(host::PageProperty p, const QVariant& value) override;
    host::PageValues getAll() const override;
    void setAll(const host::PageValues& values) override;

private:
    SessionPtr m_s;
    HeldPtr<css::frame::XModel> m_doc;
    HeldPtr<css::sheet::XSpreadsheet> m_sheet;
    PageStyleUsePtr m_styleUse;
};

// Helpers shared by the model's parts; they run on the session's worker.
namespace uno_helpers {
// The office answers some calls on a closed or half-torn-down document with
// an empty reference instead of an exception; using it would crash Korvex.
template <class T> const css::uno::Reference<T>& must(const css::uno::Reference<T>& r) {
    if (!r.is())
        throw host::HostError(QStringLiteral("LibreOffice no longer has the object asked for"));
    return r;
}
// Throws HostError when the document has been closed.
void requireOpen(const DocRef& doc);
css::uno::Reference<css::frame::XController> controllerOf(const DocRef& doc);
QString documentTitle(const DocRef& doc);
// Calc has no chart sheets. A sheet that holds charts and not a single cell
// is what an imported chart sheet becomes, and it is treated as one: not a
// worksheet, never searched or given a page setup.
bool isChartSheet(const SheetRef& sheet);
// Throws HostError when the sheet is a chart sheet (worksheet-only calls).
void requireWorksheet(const SheetRef& sheet);
// Throws HostError when the cell may not be changed (protected sheet).
void requireEditable(const SheetRef& sheet, sal_Int32 column, sal_Int32 row);
// The load arguments that read a comma-separated file (by its name) without
// asking how, in the encoding it is written in; none for any other file.
css::uno::Sequence<css::beans::PropertyValue> csvLoadArguments(const QString& path);
// The open spreadsheet documents, or one by its title; the reading loads in
// `leaveOut` (when given) are left out.
std::vector<DocRef> spreadsheetDocuments(const css::uno::Reference<css::frame::XDesktop2>& desktop,
                                         ReadingLoads* leaveOut = nullptr);
DocRef documentNamed(const css::uno::Reference<css::frame::XDesktop2>& desktop, const QString& name,
                     ReadingLoads* leaveOut = nullptr);
// The current spreadsheet document, or else the latest one opened that is
// shown: never a hidden book.
DocRef activeDocument(const css::uno::Reference<css::frame::XDesktop2>& desktop);
// Whether any window of the document is visible (false for a hidden book).
bool isShown(const DocRef& doc);
// The visible window showing the document, if any.
css::uno::Reference<css::awt::XWindow2> shownWindow(const DocRef& doc);
css::uno::Reference<css::frame::XFrame> frameOf(const DocRef& doc);
css::uno::Reference<css::awt::XWindow> containerWindowOf(const DocRef& doc);
// A node of the office's configuration ("/org.openoffice.Setup/Product").
css::uno::Reference<css::beans::XPropertySet>
configNode(const css::uno::Reference<css::uno::XComponentContext>& ctx, const char* path);
QString fileUrlToPath(const rtl::OUString& url);
SheetRef activeSheetOf(const DocRef& doc);
QString sheetName(const SheetRef& sheet);
css::table::CellRangeAddress addressOf(const css::uno::Reference<css::uno::XInterface>& range);
// The cursor cell of `sheet` in the document's (first) view.
css::table::CellRangeAddress cursorOf(const DocRef& doc, const SheetRef& sheet);
// Groups the named sheets, the first becoming the active one.
void groupSheets(const DocRef& doc, const QStringList& names);
// The office's dialogs now on screen (its modal windows).
std::vector<css::uno::Reference<css::awt::XDialog>>
openDialogs(const css::uno::Reference<css::uno::XComponentContext>& ctx);
css::uno::Any dispatch(const css::uno::Reference<css::uno::XComponentContext>& ctx,
                       const DocRef& doc, const char* command);
// Page-setup values in the host interface's terms.
QVariant readPageProperty(const DocRef& doc, const SheetRef& sheet, host::PageProperty p);
void writePageProperty(const DocRef& doc, const SheetRef& sheet, host::PageProperty p,
                       const QVariant& value);
// The whole page setup, with one look-up of the sheet's style; the write
// stops at the first property Calc refuses.
host::PageValues readPageSetup(const DocRef& doc, const SheetRef& sheet);
void writePageSetup(const DocRef& doc, const SheetRef& sheet, const host::PageValues& values,
                    PageStyleUse* use);
// One part of a header or footer in the spreadsheet's codes ("Page &P of
// &N"), read from Calc's text fields and written back as fields.
QString readHeaderFooterText(const css::uno::Reference<css::text::XText>& text);
void writeHeaderFooterText(const DocRef& doc, const css::uno::Reference<css::text::XText>& text,
                           const QString& codes);
// Part `which` (0 left, 1 centre, 2 right) of the page style's header or
// footer, in the spreadsheet's codes.
QString readHeaderFooterPart(const css::uno::Reference<css::beans::XPropertySet>& style,
                             bool header, int which);
// Writes the given parts (0 left, 1 centre, 2 right) of the header or the
// footer, leaving the others as they are, with one read and one write of the
// style's header content.
void writeHeaderFooterParts(const DocRef& doc,
                            const css::uno::Reference<css::beans::XPropertySet>& style, bool header,
                            const std::array<std::optional<QString>, 3>& texts);
// The sheet's page style, made its own first when other sheets share it.
// `use`, when given, knows which style every sheet of the book prints with,
// so that the question needs no look at the other sheets.
css::uno::Reference<css::beans::XPropertySet> ownPageStyle(const DocRef& doc, const SheetRef& sheet,
                                                           PageStyleUse* use = nullptr);
css::uno::Reference<css::beans::XPropertySet> pageStyleOf(const DocRef& doc, const SheetRef& sheet);
// The name of the page style the sheet prints with.
rtl::OUString pageStyleNameOf(const SheetRef& sheet);
// The office's page-style dialog edits the style of the sheet it is opened
// on, and with it every sheet sharing that style. Before it opens, the sheet
// gets a style of its own; when the user leaves the dialog without a change,
// the sheet goes back to the shared style and the document is as it was.
struct PageStyleSplit {
    SheetRef sheet;
    rtl::OUString shared;
    rtl::OUString own;
    bool documentWasModified = false;
};
std::optional<PageStyleSplit> separatePageStyle(const DocRef& doc, const SheetRef& sheet);
void rejoinUnchangedPageStyle(const DocRef& doc, const PageStyleSplit& split);
// Writes a flag (bool) or a date, time or date-time (QDateTime, QDate or
// QTime) into `cell` as the office keeps one: a number under a boolean
// format, or a serial number under a format that shows it the way
// korvex::host::valueText writes it. False, and nothing written, for any
// other value.
bool writeTypedValue(const DocRef& doc, const css::uno::Reference<css::table::XCell>& cell,
                     const QVariant& value);
// Gives `cell` the boolean format, under which its number reads as a flag.
void setFlagFormat(const DocRef& doc, const css::uno::Reference<css::table::XCell>& cell);
// Formula text as the API gives it ("=SUM(A1;B1)") and as users of the
// spreadsheet write it ("=SUM(A1,B1)"): argument separators outside string
// literals are swapped.
QString formulaFromApi(const QString& apiFormula);
QString formulaToApi(const QString& userFormula);
} // namespace uno_helpers

} // namespace korvex::calc
