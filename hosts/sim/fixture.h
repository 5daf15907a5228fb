#pragma once
// Fixture text: a small, host-neutral description of open workbooks (books,
// windows, sheets, cells with their entered text, value and displayed text,
// notes, active cells, page setups). The simulated host loads it directly; any
// other host can parse it with this same code and build real documents from the
// result. The format is described in hosts/sim/README.md.

#include "host.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace korvex::sim {

struct FixtureCell {
    int row = 1;
    int column = 1;
    // The formula ("=SUM(B1:B3)") or the constant as entered; empty for a cell
    // that only carries a note.
    QString content;
    // The value: for a formula what it evaluates to (invalid when not stated),
    // for a constant the number, flag or text it stands for.
    QVariant value;
    // What the cell shows: stated, or derived from the value.
    QString displayed;
    QString note;
    bool hasContent() const { return !content.isEmpty(); }
};

struct FixtureSheet {
    QString name;
    bool chart = false;
    bool active = false; // the book's active sheet
    bool protectedSheet = false;
    int activeRow = 1;
    int activeColumn = 1;
    QList<FixtureCell> cells; // in the order they were written
    // Page-setup values by property name (the 28 properties plus
    // FitToPagesWide and FitToPagesTall), already typed.
    QList<QPair<QString, QVariant>> pageSetup;
};

struct FixtureBook {
    QString name;
    QString path; // empty: not saved anywhere
    int windows = 1;
    QList<int> hiddenWindows; // 1-based window numbers
    bool active = false;      // the application's active book
    bool modified = false;    // has unsaved changes
    QStringList group;        // grouped sheets of the first window; empty: the active sheet
    QList<FixtureSheet> sheets;
};

// Optional settings of the application itself; hosts that cannot honour them
// may ignore them.
struct FixtureApplication {
    std::optional<QString> name;
    std::optional<QString> version;
    std::optional<QString> path;
    std::optional<QString> startupPath;
    std::optional<bool> visible;
    std::optional<host::WindowState> windowState;
};

struct Fixture {
    FixtureApplication application;
    QList<FixtureBook> books;
    // The book that should end up active: the one marked active, else the
    // last visible one, else none (-1).
    int activeBookIndex() const;
};

// Parses fixture text. On failure returns nothing and sets *error to a message
// naming the line ("demo.kvx:12: ..."), with `source` as the prefix (empty:
// "line 12: ..."). With `implicitBook`, text that declares no [book] of its
// own describes one book of that name (a workbook file opened by the host).
std::optional<Fixture> parseFixture(const QString& text, QString* error,
                                    const QString& source = QString(),
                                    const QString& implicitBook = QString());
// Reads a UTF-8 file and parses it; a missing or unreadable file is an error.
std::optional<Fixture> loadFixtureFile(const QString& path, QString* error,
                                       const QString& implicitBook = QString());

// "B12" / "$B$12" -> row 12, column 2. False for anything else or out of the
// sheet's bounds.
bool parseCellReference(const QString& text, int* row, int* column);
// Column number -> letters (1 -> "A", 28 -> "AB").
QString columnLetters(int column);

// The value a constant stands for when typed into a cell: a number when the
// text reads as one, TRUE/FALSE as flags, text otherwise (a leading apostrophe
// forces text and is dropped).
QVariant constantValue(const QString& entered);
// The text a value shows with no number format (the spreadsheet's General).
QString generalText(const QVariant& value);

// Page-setup values: the kind each property takes, by name (the 28 copied
// properties plus FitToPagesWide and FitToPagesTall), and whether a value is
// one the spreadsheet would accept. Zoom-like values are a percentage or
// false; the fit-to-pages counts are a page count or false (no limit).
enum class PageValueKind { Text, Number, Flag, Integer, ZoomLike };
std::optional<PageValueKind> pageValueKind(const QString& name);
// Empty when acceptable, else why not.
QString pageValueProblem(const QString& name, const QVariant& value);
// Every property name pageValueKind knows, the 28 first in copy order.
QStringList pageValueNames();

// The sheet limits of the spreadsheet being modelled.
constexpr int MaxRows = 1048576;
constexpr int MaxColumns = 16384;

} // namespace korvex::sim
