#pragma once
// The spreadsheet host as Korvex sees it: a small object model (application,
// workbooks, sheets, windows, ranges, page setups) with exactly the operations
// the program drives. Two implementations stand behind it: LibreOffice Calc over
// UNO (hosts/calc) and an in-memory host for tests and demos (hosts/sim).
//
// Every object is a handle that may outlive what it names: the user can close a
// book or quit the host between two calls. Any call may therefore fail, and every
// failure surfaces as HostError, whatever the implementation's own error type.
// Callers pick one of three styles at the call site: let it propagate, catch and
// skip the step, or catch and show their window's message.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace korvex::host {

class HostError : public std::runtime_error {
public:
    explicit HostError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// Why a workbook file could not be read for searching: the program tells the
// user in its own words, so the host says which case it met, not only how.
enum class ReadFailure {
    Missing,    // no file at that path (any more)
    Unreadable, // the file system refuses to give its bytes (permissions, I/O)
    Protected,  // encrypted: it opens only with its password
    Damaged,    // it claims to be a workbook, but the host cannot make one of it
    NotWorkbook // it reads as some other kind of document
};

// HostError from Application::openForReading; message() is the host's own
// account, for logs.
class FileReadError : public HostError {
public:
    FileReadError(ReadFailure kind, const QString& message) : HostError(message), m_kind(kind) {}
    ReadFailure kind() const { return m_kind; }

private:
    ReadFailure m_kind;
};

// Values are the spreadsheet's own constants, so they can be stored and compared
// with what users of that spreadsheet know.
enum class LookIn { Formulas = -4123, Values = -4163, Comments = -4144 };
enum class LookAt { Whole = 1, Part = 2 };
enum class SearchOrder { ByRows = 1, ByColumns = 2 };
enum class SearchDirection { Next = 1, Previous = 2 };
enum class WindowState { Maximized = -4137, Minimized = -4140, Normal = -4143 };
enum class Dialog { PageSetup = 7, Print = 8 };

class Range;
class Sheet;
class Window;
class Workbook;
class Application;
using RangePtr = std::shared_ptr<Range>;
using SheetPtr = std::shared_ptr<Sheet>;
using WindowPtr = std::shared_ptr<Window>;
using WorkbookPtr = std::shared_ptr<Workbook>;
using ApplicationPtr = std::shared_ptr<Application>;

// A cell position on one sheet, 1-based like Range::row() / column().
struct CellPosition {
    int row = 1;
    int column = 1;
    friend bool operator==(CellPosition a, CellPosition b) {
        return a.row == b.row && a.column == b.column;
    }
    friend bool operator!=(CellPosition a, CellPosition b) { return !(a == b); }
};

struct FindOptions {
    QString what;
    RangePtr after; // null: start after the range's first cell, which comes last
    LookIn lookIn = LookIn::Formulas;
    LookAt lookAt = LookAt::Part;
    SearchOrder searchOrder = SearchOrder::ByRows;
    SearchDirection searchDirection = SearchDirection::Next;
    bool matchCase = false;
    bool matchByte = false;
    // What is a regular expression rather than wildcards (matcher.h).
    bool useRegex = false;
    // Hiragana, katakana and half-width katakana are equal (matcher.h).
    bool foldKana = false;
};

struct ReplaceOptions {
    QString what;
    QString replacement;
    LookAt lookAt = LookAt::Part;
    SearchOrder searchOrder = SearchOrder::ByRows;
    bool matchCase = false;
    bool matchByte = false;
    bool useRegex = false; // as in FindOptions; `$0`..`$9` in the replacement
    bool foldKana = false;
};

// One occurrence as Sheet::findAll reports it.
struct FoundCell {
    CellPosition cell;
    QString address;   // as Range::address() gives it: "$B$12"
    QString valueText; // the cell's value as text (valueText) when found
};

// How Sheet::findAll reads a sheet: a band of whole rows at a time, each band
// at most `maxCells` cells (at least one row), so that what a read holds stays
// bounded however large the sheet. `between`, when set, is called on the
// calling thread after each band but the last, while no call to the host is
// under way (a window lets events through there); when it returns false the
// read stops and findAll returns nothing. A host may read notes at once:
// they are few, and not kept by the cell.
struct ReadInBands {
    static constexpr int DefaultMaxCells = 65536;
    int maxCells = DefaultMaxCells;
    std::function<bool()> between;
};

// What a cell holds, as it would be typed into it again, and the kind of
// entry that is: enough to put exactly that content back.
struct CellContent {
    enum class Kind { Empty, Text, Number, Percent, DateTime, Flag, Formula };
    Kind kind = Kind::Empty;
    // The formula ("=SUM(A1,B1)"), or the constant as the formula bar shows
    // it (constantText): what a search in formulas looks at.
    QString text;
};

// What Sheet::replaceCells did to one of the cells it was given.
struct CellReplacement {
    enum class Outcome {
        Replaced, // the text occurs in the cell; it holds newContent now
        NoMatch,  // the text does not occur in the cell (any more): left alone
        Refused,  // the cell is protected: left alone
    };
    CellPosition cell;
    QString address; // "$B$12"
    Outcome outcome = Outcome::NoMatch;
    QString oldValueText; // the value as text (valueText) before the call
    // Replaced only: the cell's content afterwards, as typed ("b-b",
    // "=SUM(A1,B1)"; empty when the replacement removed everything), and its
    // value as text afterwards. A revert compares the latter with
    // valueText(cell->value()) to learn whether the cell still holds what
    // Korvex put there.
    QString newContent;
    QString newValueText;
    // The cell's content before the call (every outcome but NoMatch).
    CellContent oldContent;
};

// The page-setup properties Korvex copies, in the order it copies them.
enum class PageProperty {
    PrintTitleRows,
    PrintTitleColumns,
    PrintArea,
    LeftHeader,
    CenterHeader,
    RightHeader,
    LeftFooter,
    CenterFooter,
    RightFooter,
    LeftMargin,
    RightMargin,
    TopMargin,
    BottomMargin,
    HeaderMargin,
    FooterMargin,
    PrintHeadings,
    PrintGridlines,
    PrintComments,
    PrintQuality,
    CenterHorizontally,
    CenterVertically,
    Orientation,
    Draft,
    PaperSize,
    FirstPageNumber,
    Order,
    BlackAndWhite,
    Zoom,
};
constexpr int PagePropertyCount = 28;

// What a page-setup property holds: text, a size in points, a flag, a whole
// number, or a percentage that false turns into "fit to pages".
enum class PageValueKind { Text, Number, Flag, Integer, ZoomLike };

// The one description of each page-setup property: the name it goes by (in
// fixtures, host calls and messages), the kind of value it holds and the value
// a new sheet starts with (text properties start empty).
struct PagePropertyInfo {
    PageProperty property;
    const char* name;
    PageValueKind kind;
    double defaultValue;
};
// Every property, in copy order: pageProperties()[int(p)].property == p.
const std::array<PagePropertyInfo, PagePropertyCount>& pageProperties();
const char* pagePropertyName(PageProperty p);
PageValueKind pagePropertyKind(PageProperty p);
// The property called `name` (exact spelling), if there is one.
std::optional<PageProperty> pagePropertyNamed(const QString& name);
// The default typed as its kind stores it: QString, double, bool or int.
QVariant pagePropertyDefault(PageProperty p);

// Constants of the page-setup values, again the spreadsheet's own.
namespace page {
constexpr int Portrait = 1;
constexpr int Landscape = 2;
constexpr int DownThenOver = 1;
constexpr int OverThenDown = 2;
constexpr int PrintNoComments = -4142;
constexpr int PrintInPlace = 16;
constexpr int PrintSheetEnd = 1;
constexpr int PaperA4 = 9;
constexpr int PaperLetter = 1;
constexpr int FirstPageAutomatic = -4105;
} // namespace page

// A sheet's whole page setup as a copy carries it: every property, indexed by
// PageProperty, and for a setup that fits to pages (Zoom false) the page
// counts wide and tall, each a whole number or false for "as many as it
// takes". Counts the host cannot tell are left invalid.
struct PageValues {
    std::array<QVariant, PagePropertyCount> values;
    QVariant fitToPagesWide;
    QVariant fitToPagesTall;
};

// Value types: text properties are QString, margins double (points), flags bool,
// the rest int. Zoom is an int percentage, or bool false for "fit to pages".
class PageSetup {
public:
    virtual ~PageSetup() = default;
    virtual QVariant get(PageProperty p) const = 0;
    virtual void set(PageProperty p, const QVariant& value) = 0;
    // The whole page setup in one call to the host.
    virtual PageValues getAll() const;
    // Every property in copy order in one call to the host, stopping at the
    // first one the host refuses (HostError; the ones before it stay
    // written). With Zoom false, valid page counts are written too.
    virtual void setAll(const PageValues& values);
};
using PageSetupPtr = std::shared_ptr<PageSetup>;

// A cell value as text, the one rule for every host and every place Korvex
// shows or stores a value (result rows, the cell-value fetch): what users of
// the spreadsheet see when a cell's value becomes text in a Japanese locale.
// Numbers keep up to 15 significant digits, with no thousands separators or
// trailing zeros; flags are True/False; dates read yyyy/MM/dd, times
// hh:mm:ss, and a date-time both ("2024/01/05 12:30:00"). A date-time at
// midnight shows its date alone, one on the spreadsheet's day zero
// (1899/12/30) its time alone. QDate and QTime values are taken too.
// An empty cell gives an empty text.
QString valueText(const QVariant& value);
// Day zero of the spreadsheet's date serials: a time-only value is a
// date-time on this day.
QDate serialDayZero();

// What Range::setValueIf did with its cell.
enum class CheckedWrite {
    Written, // the cell held an expected value; it holds the new one now
    Changed, // the cell holds something else: left alone
    Refused, // the cell is locked on a protected sheet: left alone
};
// The check of Range::setValueIf, the same for every host: the cell's value
// as text, cut to `compareChars` whole characters when that is above 0 (a
// stored copy of a long value keeps only its head), equals one of `expected`.
bool valueTextIsOneOf(const QString& valueText, const QStringList& expected, int compareChars);

// A constant as the formula bar shows it, which is also what a search in
// formulas looks at: a date, time or date-time as valueText writes it
// ("2024/02/29", "09:05:30"), a flag as TRUE or FALSE, a number with up to
// 15 significant digits ("1234.5") or, shown as a percentage, a hundred
// times that with its sign ("12.5%"), text as it is.
QString constantText(const QVariant& value, bool percent = false);
// What typing `text` into a cell makes of it: a number ("1234.5", "-3"), a
// percentage ("12.5%": 0.125, *percent set), a date, time or date-time
// ("2024/2/29", "9:05", "9:05:30", "2024/2/29 12:30", as QDateTime; a time
// alone falls on day zero), a flag ("TRUE", "FALSE") or text: anything else,
// and whatever follows a leading apostrophe. Formulas are not read here.
QVariant typedValue(const QString& text, bool* percent = nullptr);
// A finite number in the C locale's notation, spaces around it allowed.
std::optional<double> readNumber(const QString& text);
// The value Range::setValue takes to enter `content` again as that kind:
// text that would read as something else gets its apostrophe.
QVariant entryFor(const CellContent& content);
// The name a kind is stored under ("text", "date", ...), and back.
QString contentKindName(CellContent::Kind kind);
std::optional<CellContent::Kind> contentKindNamed(const QString& name);

class Range {
public:
    virtual ~Range() = default;
    // The cell's value as the spreadsheet's Value gives it: a number (double),
    // a flag (bool), a date, time or date-time (QDateTime, see valueText),
    // text, or an invalid QVariant for an empty cell. Writing text that starts
    // with "=" enters a formula.
    virtual QVariant value() const = 0;
    virtual void setValue(const QVariant& value) = 0;
    virtual int row() const = 0;    // 1-based
    virtual int column() const = 0; // 1-based
    // "$B$12" by default; rowAbsolute false gives "$B12".
    virtual QString address(bool rowAbsolute = true, bool columnAbsolute = true) const = 0;
    virtual void activate() = 0;
    virtual void select() = 0;
    virtual RangePtr find(const FindOptions& options) = 0; // null when nothing matches
    virtual RangePtr findNext(const RangePtr& after) = 0;  // settings of the last find
    virtual bool replace(const ReplaceOptions& options) = 0;
    // Checks and writes the range's first cell in one call, so that nothing
    // can change the cell in between: when valueTextIsOneOf(its value text,
    // expected, compareChars), `value` goes in as setValue would put it;
    // otherwise nothing is written. HostError only when the call fails as a
    // whole (closed book, host gone).
    virtual CheckedWrite setValueIf(const QStringList& expected, int compareChars,
                                    const QVariant& value) = 0;
};

class Sheet {
public:
    virtual ~Sheet() = default;
    virtual QString name() const = 0;
    virtual bool isWorksheet() const = 0; // false for chart sheets
    virtual void activate() = 0;
    // Worksheet-only operations; a chart sheet raises HostError.
    virtual RangePtr cells() = 0;
    virtual RangePtr cell(int row, int column) = 0;
    virtual RangePtr range(const QString& address) = 0;
    virtual PageSetupPtr pageSetup() = 0;
    // The cell the sheet's cursor is on, whether the sheet is active or not:
    // the active cell it shows once activated. Nothing is activated.
    virtual RangePtr cursorCell() = 0;

    // The all-at-once engines work a sheet with these two calls instead of a
    // host round trip per occurrence.
    //
    // findAll: every occurrence on the whole sheet, in exactly the order
    // cells()->find(options) followed by findNext until the search wraps to
    // the first occurrence would give them (After included: null starts after
    // A1, which then comes last; an occurrence in After itself comes last),
    // each with its address and value text, from one pass over the sheet. Empty
    // when nothing matches. Unlike find() it leaves the settings findNext
    // reuses alone, so a one-by-one pass open in another window goes on with
    // its own. HostError when the sheet cannot be read (closed book, chart
    // sheet, host gone); After must be a cell of this sheet. The sheet is
    // read in bands (ReadInBands): what the call holds grows with the
    // occurrences, not with the cells.
    std::vector<FoundCell> findAll(const FindOptions& options) {
        return findAll(options, ReadInBands{});
    }
    virtual std::vector<FoundCell> findAll(const FindOptions& options,
                                           const ReadInBands& bands) = 0;

    // replaceCells: cell(c)->replace(options) for each listed cell, in one
    // call: every occurrence inside each cell is replaced, formulas stay
    // formulas, and no other cell is touched (formats, notes and types of
    // cells the call does not change stay as they are). A cell whose text no
    // longer matches is left alone (NoMatch); a protected cell is refused and
    // left alone while the others are still replaced. One entry per listed
    // cell, in the order given, telling what was there and what was written,
    // so the caller can record the old value and later revert. HostError only
    // when the whole call fails (closed book, chart sheet, host gone); cells
    // written before such a failure keep their new content.
    virtual std::vector<CellReplacement> replaceCells(const ReplaceOptions& options,
                                                      const std::vector<CellPosition>& cells) = 0;
    // replaceCells, begun now and finished by the call it returns, which
    // gives the outcome (or throws what replaceCells would). A host that
    // works in another process goes on with it while the caller stores what
    // it must meanwhile; the caller makes no other call on this host before
    // finishing it. Here the cells are replaced at once.
    virtual std::function<std::vector<CellReplacement>()>
    beginReplaceCells(const ReplaceOptions& options, const std::vector<CellPosition>& cells) {
        auto done = std::make_shared<std::vector<CellReplacement>>(replaceCells(options, cells));
        return [done] { return std::move(*done); };
    }
};

// One sheet as Workbook::sheetList gives it.
struct SheetEntry {
    QString name;
    bool worksheet = true; // false for a chart sheet
};

// One worksheet as Workbook::worksheets gives it.
struct NamedSheet {
    QString name;
    SheetPtr sheet;
};

// One open book as Application::bookList gives it.
struct BookEntry {
    QString name;
    bool visible = true; // false when none of its windows is visible (a hidden book)
};

class Window {
public:
    virtual ~Window() = default;
    virtual QString caption() const = 0;
    virtual bool visible() const = 0;
    virtual QStringList selectedSheets() const = 0; // grouped sheets, tab order
};

class Workbook {
public:
    virtual ~Workbook() = default;
    virtual QString name() const = 0;
    // The full path of the file the book was opened from or last saved to;
    // its name for a book never saved.
    virtual QString fullName() const = 0;
    virtual void activate() = 0;
    virtual void close(std::optional<bool> saveChanges = std::nullopt) = 0;
    virtual SheetPtr activeSheet() = 0;
    // Sheets: every sheet in tab order; worksheets: chart sheets left out.
    virtual int sheetCount() = 0;
    virtual SheetPtr sheet(int index) = 0; // 1-based
    virtual SheetPtr sheet(const QString& name) = 0;
    virtual int worksheetCount() = 0;
    virtual SheetPtr worksheet(int index) = 0; // 1-based
    virtual SheetPtr worksheet(const QString& name) = 0;
    // Every sheet in tab order with its kind, in one call: what sheet(i)->name()
    // and sheet(i)->isWorksheet() give for every i. Lists of a book's sheets
    // come from here, so that a book of hundreds of sheets costs one round
    // trip, not one (or a scan of all) per sheet.
    virtual std::vector<SheetEntry> sheetList() = 0;
    // The worksheets of these names, looked up in one pass over the book:
    // null where the book has no worksheet of that name.
    virtual std::vector<SheetPtr> worksheetsNamed(const QStringList& names);
    // Every worksheet in tab order with its name, in one call: a search of
    // the whole book, the way to every sheet it reads.
    virtual std::vector<NamedSheet> worksheets();
    // Groups the named sheets (the first becomes the active one).
    virtual void selectSheets(const QStringList& names) = 0;
    virtual int windowCount() = 0;
    virtual WindowPtr window(int index) = 0; // 1-based
    // The desktop's own handle of the top-level window showing the book (an X
    // window id on X11), so that Korvex can stack it; 0 when there is none.
    virtual quintptr windowHandle() = 0;
};

struct OpenOptions {
    bool notify = false;
    bool addToMru = false;
};

// A workbook file as Application::openForReading gives it.
struct ReadingBook {
    WorkbookPtr book;
    // The file was open in the host already: it is read where it is, and the
    // reader leaves it open. Otherwise the reader closes `book` with
    // close(false) when done.
    bool wasOpen = false;
};

class Application {
public:
    virtual ~Application() = default;
    // Workbooks, in the host's order. Lookups of a missing name raise HostError.
    virtual int workbookCount() = 0;
    virtual WorkbookPtr workbook(int index) = 0; // 1-based
    virtual WorkbookPtr workbook(const QString& name) = 0;
    // Every open book in workbook(i) order with whether any of its windows is
    // visible, in one call (many open books cost one round trip).
    virtual std::vector<BookEntry> bookList() = 0;
    virtual WorkbookPtr openWorkbook(const QString& path, std::optional<OpenOptions> = {}) = 0;
    // The workbook file at `path` opened for reading alone: hidden (no window
    // shows it, it never becomes the active book), read-only, without running
    // its macros or updating its links, never written to and leaving no lock
    // file beside it. A book already open from that file is given as it is.
    // A book opened here is the reader's alone: until it is closed, no list
    // or lookup of the open books (workbookCount, workbook, bookList) has it.
    // FileReadError, with the kind of failure, when the file cannot be read
    // as a workbook (missing, protected by a password, damaged); no book is
    // left open then. A host that no longer answers raises plain HostError.
    virtual ReadingBook openForReading(const QString& path) = 0;
    // Windows by caption; a book shown in one window has its own name as caption.
    virtual WindowPtr window(const QString& caption) = 0;
    // The book the user works in: never a hidden one (HostError when no
    // visible book is open).
    virtual WorkbookPtr activeWorkbook() = 0;
    virtual SheetPtr activeSheet() = 0;
    virtual RangePtr activeCell() = 0;
    // Where the user is, as activeWorkbook()->name(), activeSheet()->name()
    // and activeCell() tell it, in one question: every run asks it at its
    // click.
    struct Position {
        QString book;
        QString sheet;
        int row = 0; // 1-based
        int column = 0;
    };
    virtual Position currentPosition();
    // Shows one of the host's dialogs on the active book and waits until it closes.
    virtual bool showDialog(Dialog dialog) = 0;

    virtual QString name() const = 0; // the title used to bring it to the front
    virtual QString version() const = 0;
    virtual QString path() const = 0;
    virtual QString startupPath() const = 0;
    virtual bool visible() const = 0;
    virtual void setVisible(bool visible) = 0;
    virtual WindowState windowState() const = 0;
    virtual void setWindowState(WindowState state) = 0;
    // Brings the office forward on its active book. A hidden book is never
    // shown by it: without a visible book the office's own start window comes
    // forward, or nothing.
    virtual void bringToFront() = 0;
    // Whether Korvex's windows go on painting while a call into this host is
    // under way (input waiting until the call is over). A host whose calls
    // cost a fixed part each is then better asked fewer, larger questions.
    virtual bool paintsDuringCalls() const { return false; }
};

// Finds or starts the host. attach() is called before every user action, so it
// must be cheap when the host is already known and still alive.
class Connector {
public:
    virtual ~Connector() = default;
    virtual ApplicationPtr attach() = 0; // the running host, or null
    virtual ApplicationPtr start() = 0;  // a new host, or null when it cannot start
    // The program and leading arguments that add an office extension (a file
    // named after them) for this user, in the profile the office runs with;
    // empty when the host takes no extensions.
    virtual QStringList extensionInstaller() const { return {}; }
};

} // namespace korvex::host
