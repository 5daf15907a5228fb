#pragma once
// The simulated spreadsheet host: an in-memory application with workbooks,
// windows, worksheets and chart sheets, cells (entered text, value, displayed
// text, note), active book/sheet/cell, protection, page setups, sheet grouping
// and the two dialogs as scripts. It evaluates no formulas: a fixture states
// what each formula shows.
//
// Tests drive it through korvex::host like the program does, and reach behind
// the interface through SimHost's public state (hooks, records, the model).

#include "fixture.h"
#include "host.h"
#include "matcher.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace korvex::sim {

struct CellData {
    QString formula; // formula or constant as entered (no leading apostrophe)
    QVariant value;  // invalid: empty, or a formula whose result is not known
    QString text;    // what the cell shows
    QString note;
    bool locked = true; // refuses changes while its sheet is protected
    bool hasContent() const { return !formula.isEmpty(); }
};

struct BookData;

struct SheetData {
    QString name;
    bool chart = false;
    bool isProtected = false;
    std::map<std::pair<int, int>, CellData> cells; // (row, column)
    int activeRow = 1;
    int activeColumn = 1;
    std::array<QVariant, host::PagePropertyCount> page;
    QVariant fitToPagesWide = 1;
    QVariant fitToPagesTall = 1;
    std::weak_ptr<BookData> book;

    SheetData();
    const CellData* cell(int row, int column) const;
    // Whether the cell refuses changes: a locked cell (every cell unless
    // unlocked) of a protected sheet.
    bool refuses(int row, int column) const;
};

struct WindowData {
    bool visible = true;
};

struct BookData {
    QString name;
    QString path;
    bool open = true;
    bool modified = false;
    std::vector<std::shared_ptr<SheetData>> sheets;
    std::shared_ptr<SheetData> activeSheet;
    // Grouped sheets in tab order; empty means the active sheet alone.
    std::vector<std::shared_ptr<SheetData>> group;
    std::vector<WindowData> windows{WindowData{}};

    std::shared_ptr<SheetData> findSheet(const QString& name) const; // case-insensitive
    bool anyWindowVisible() const;
};

struct OpenRecord {
    QString path;
    std::optional<host::OpenOptions> options;
};
struct CloseRecord {
    QString book;
    std::optional<bool> saveChanges; // as passed
    bool asked = false;              // the "save changes?" question was put
    bool saved = false;
    bool closed = false; // false when the question was cancelled
};
struct PrintRecord {
    QString book;
    QStringList sheets; // the group that was printed
};

class SimHost : public std::enable_shared_from_this<SimHost> {
public:
    static std::shared_ptr<SimHost> create();
    // A running host holding the fixture's books and application settings.
    static std::shared_ptr<SimHost> fromFixture(const Fixture& fixture);

    // Adds the fixture's books, as if opened from `path` (empty: from memory)
    // and applies its application settings. HostError when a book of the same
    // name is already open; nothing is added then. Books loaded `forReading`
    // go to readingBooks instead, where no list or name finds them.
    std::vector<std::shared_ptr<BookData>>
    load(const Fixture& fixture, const QString& path = QString(), bool forReading = false);

    host::ApplicationPtr application();

    bool alive() const { return m_alive; }
    // The host process ends: every handle and the application raise HostError.
    void vanish() { m_alive = false; }

    // Application settings.
    QString name = QStringLiteral("Korvex Simulated Spreadsheet");
    QString version = QStringLiteral("16.0");
    QString path;
    QString startupPath;
    bool visible = true;
    host::WindowState windowState = host::WindowState::Normal;
    int bringToFrontCount = 0;
    // What Application::paintsDuringCalls answers (the simulated host's calls
    // return at once; tests pretend otherwise).
    bool paintsDuringCalls = false;

    // What the "user" does in a dialog; the result is whether it was confirmed.
    // Unset: every dialog is confirmed at once without changes.
    std::function<bool(host::Dialog, host::Application&)> dialogScript;
    // The answer to "save changes to <book>?" when a modified book is closed
    // without a save flag: true save, false don't, nullopt cancel. Unset: false.
    std::function<std::optional<bool>(const QString& book)> savePrompt;
    // Called before every operation with its name ("Range.find",
    // "Workbook.close", "PageSetup.set:Zoom", ...); throw HostError to make
    // that operation fail.
    std::function<void(const QString& operation)> beforeOperation;

    // What happened, for tests to inspect.
    QList<OpenRecord> opened;
    QList<CloseRecord> closed;
    QList<PrintRecord> printed;
    QStringList recentFiles;
    int dialogCount = 0;

    // The model.
    std::vector<std::shared_ptr<BookData>> books;
    // Books opened for reading (Application::openForReading): the reader's
    // alone until it closes them.
    std::vector<std::shared_ptr<BookData>> readingBooks;
    std::shared_ptr<BookData> activeBook;
    std::optional<matcher::FindSettings> lastFind;

    std::shared_ptr<BookData> findBook(const QString& name) const; // case-insensitive
    std::shared_ptr<SheetData> findSheet(const QString& book, const QString& sheet) const;
    QStringList bookNames() const;

    // Throws HostError when the host has vanished, then runs beforeOperation.
    void enter(const QString& operation) const;
    // Picks the next active book after `leaving` closes.
    void closeBook(const std::shared_ptr<BookData>& book);
    void activateSheet(const std::shared_ptr<SheetData>& sheet);

private:
    SimHost() = default;
    bool m_alive = true;
    std::weak_ptr<host::Application> m_application;
};

// Finds or starts simulated hosts. Until vanish() the host it was given is the
// running one; after it attach() finds nothing until start() or restart().
class SimConnector : public host::Connector {
public:
    SimConnector() = default; // nothing running
    explicit SimConnector(std::shared_ptr<SimHost> running) : m_host(std::move(running)) {}
    // A connector whose running host holds the fixture's books; null and *error
    // set when the text does not parse.
    static std::shared_ptr<SimConnector> fromFixtureText(const QString& text, QString* error,
                                                         const QString& source = QString());
    static std::shared_ptr<SimConnector> fromFixtureFile(const QString& path, QString* error);

    host::ApplicationPtr attach() override;
    host::ApplicationPtr start() override;

    std::shared_ptr<SimHost> host() const { return m_host; } // the latest, maybe dead
    void vanish();
    // A fresh running host without books (configured by onStart).
    std::shared_ptr<SimHost> restart();

    bool startable = true;
    int startCount = 0;
    int attachCount = 0;
    // Configures every host start() or restart() creates (version, paths...).
    // A started host is invisible until someone shows it, like a spreadsheet
    // started by automation.
    std::function<void(SimHost&)> onStart;

private:
    std::shared_ptr<SimHost> m_host;
};

} // namespace korvex::sim
