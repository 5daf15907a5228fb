#pragma once
// A sheet's cells as the Calc host reads and writes them, in bulk wherever it
// can: contents as typed, displayed texts, notes and values, the number
// formats that make a number read as a date, a flag or a percentage, and what
// Korvex's own writes left behind. Everything here runs on the session's
// worker.

#include "calc_model.h"

#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include <QDate>

#include <optional>
#include <vector>

namespace korvex::calc::cell_io {

using namespace uno_helpers;
using Address = css::table::CellRangeAddress;
using matcher::CellPosition;

// ---- Areas (calc_cell_read.cpp)

std::optional<Address> intersect(const Address& a, const Address& b);
// The part of `limit` that can hold anything: its intersection with the
// sheet's used area.
std::optional<Address> usedPart(const SheetRef& sheet, const Address& limit);
Reference<css::table::XCellRange> rangeAt(const SheetRef& sheet, const Address& a);
// The cells as one set of ranges of the office's.
Reference<css::sheet::XSheetCellRangeContainer> cellSet(const DocRef& doc, sal_Int16 sheetIndex,
                                                        const std::vector<CellPosition>& cells);

// ---- Number formats (calc_cell_formats.cpp)

// What the number formats over an area say about the numbers in it: whether
// the office shows them in General, and whether they are dates or times or
// flags, which the office keeps as plain numbers.
enum FormatFlag : unsigned char {
    GeneralFormat = 1,
    DateFormat = 2,
    FlagFormat = 4,
    PercentFormat = 8,
};
// The formats under which a constant reads otherwise than its number.
constexpr unsigned char TypedFormats = DateFormat | FlagFormat | PercentFormat;

struct FormatMap {
    Address area;
    std::vector<unsigned char> flags; // per cell of `area`, row by row
    QDate dayZero;                    // the document's date serial 0
    unsigned char at(sal_Int32 r, sal_Int32 c) const {
        return flags[size_t(r) * size_t(area.EndColumn - area.StartColumn + 1) + size_t(c)];
    }
};

QDate documentDayZero(const DocRef& doc);
FormatMap formatMap(const DocRef& doc, const Reference<css::table::XCellRange>& range,
                    const Address& area);
// A number as the spreadsheet's Value gives it: a date-time under a date or
// time format (to the second), a flag under a boolean one.
QVariant typedNumber(double v, unsigned char flags, const QDate& dayZero);
// Where in `area` constants read otherwise than their number (dates, times,
// flags, percentages); none when there is no such cell.
std::optional<FormatMap> typedFormats(const DocRef& doc,
                                      const Reference<css::table::XCellRange>& range,
                                      const Address& area);
// A constant under a date, flag or percentage format as the formula bar
// shows it; the API gives its bare number ("45351" for 2024/02/29).
std::optional<QString> typedText(const rtl::OUString& input, unsigned char flags,
                                 const QDate& dayZero);
// Text of a number in Calc's "General" format, made here instead of one
// remote call per cell. Exponent forms are left to the office.
std::optional<QString> generalText(double v, sal_Unicode decimal);

// ---- Reading (calc_cell_read.cpp)

struct CellText {
    CellPosition pos;
    QString text;
    QVariant value;          // as value() gives it; invalid when not read
    bool marked = false;     // read as a formula: a text that reads as a number
    unsigned char typed = 0; // read as a formula: the text was made from the value
};

struct Match {
    CellPosition pos;
    QVariant value;
    CellContent content; // when found by its formula
};

// A cell's content from the API's input string. Text that would read as a
// number (or starts with an apostrophe) comes with an apostrophe in front so
// that it can be entered again as text; the apostrophe marks the cell's type
// and is not part of its text, so searches never see it. `marked` tells
// whether it was there.
QString contentFromApi(const rtl::OUString& input, bool* marked = nullptr);
// The input string that gives a cell `content` again; a marked text stays
// text even when it now reads as a number.
rtl::OUString contentToApi(const QString& content, bool marked);

// Contents of the cells of `area` that have one; with `only`, of those whose
// content it matches. With `doc`, constants under a date, flag or percentage
// format read as typed (typedText).
std::vector<CellText> readFormulas(const SheetRef& sheet, const Address& area,
                                   const matcher::Pattern* only = nullptr, const DocRef& doc = {});
// What readFormulas gives with `only` = `pattern`, for less of the office's
// time: texts are matched on their strings, and only those that match, with
// the numbers, dates and formulas, are read as formulas
// (calc_content_match.cpp).
std::vector<CellText> matchingContents(const DocRef& doc, const SheetRef& sheet,
                                       const Address& area, const matcher::Pattern& pattern);
// Displayed texts, as a values search reads them.
std::vector<CellText> readDisplayed(const DocRef& doc, const SheetRef& sheet, const Address& area);
// Every cell of `limit` that matches under `settings`, with its value.
std::vector<Match> matchingCells(const DocRef& doc, const SheetRef& sheet, const Address& limit,
                                 const matcher::FindSettings& settings);
// A cell's value as Range::value() gives it, read on its own.
QVariant oneValue(const DocRef& doc, const SheetRef& sheet, CellPosition p);
// Contents of `cells` as readFormulas gives them, and their values as
// value() gives them, each in a few bulk reads.
std::vector<CellContent> contentsOf(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
                                    const std::vector<CellPosition>& cells);
std::vector<QVariant> valuesOf(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
                               const std::vector<CellPosition>& cells);

// The boxes a set of cells is read in, one bulk read each: one band of rows
// for each stretch of rows the cells sit in, so that cells far apart (a batch
// that wraps from the end of the sheet to its start) are read as two small
// boxes rather than as one box of everything between them; and within a
// band, one strip for each run of columns the cells sit in, so that a column
// in every ten is not read with the nine between.
class Boxes {
public:
    // Empty when there are no cells or the boxes hold too many cells to be
    // worth reading.
    Boxes(const std::vector<CellPosition>& cells, sal_Int16 sheetIndex);
    bool empty() const { return m_boxes.empty(); }
    const std::vector<Address>& all() const { return m_boxes; }
    // The box `p` is in (the cells given were all placed in one).
    int indexOf(CellPosition p) const;

private:
    struct Band {
        sal_Int32 startRow, endRow;
        size_t firstBox; // its strips are m_boxes[firstBox] up to the next band's
    };
    size_t bandOf(sal_Int32 row) const;
    std::vector<Band> m_bands;    // by rows, not overlapping
    std::vector<Address> m_boxes; // by band, then by column, not overlapping
};

// ---- Writing (calc_typed_write.cpp)

// Writes a value the way Range::setValue takes it into one cell.
void enterValue(const DocRef& doc, const Reference<css::table::XCell>& cell, const QVariant& value);
// Writes what typing `text` makes into a cell whose content read as typed
// under a date, flag or percentage format (`formatWas`). Returns the write
// calls made.
std::uint64_t enterTyped(const DocRef& doc, const Reference<css::table::XCell>& cell,
                         const QString& text, unsigned char formatWas);

// ---- Korvex's own writes (calc_bulk_replace.cpp)

// A bulk replace has just read the contents and built the set of the cells
// for its own check; each is a round trip to the office, and these answer
// without one.
struct KnownAfterWrite {
    std::optional<std::vector<CellContent>> contents;
    std::optional<std::vector<QVariant>> values;
    Reference<css::sheet::XSheetCellRangeContainer> ranges;
};

// Reads back what the writes left in `cells`, and whether formulas on the
// sheet depend on them. Runs on the worker, right after the writes.
void readBack(const DocRef& doc, const SheetRef& sheet, sal_Int16 sheetIndex,
              const std::vector<CellPosition>& cells, bool wantDisplayed, OwnWrites& out,
              const KnownAfterWrite& known = {});

} // namespace korvex::calc::cell_io
