#include "sim_handles.h"

#include <QFileInfo>

namespace korvex::sim {

using host::HostError;

namespace {

// The workbook file at `path` as the host reads it: FileReadError, with the
// kind of failure, for one that is missing, damaged or saved with a password
// (the simulated host asks nobody for it).
Fixture readWorkbookFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        throw host::FileReadError(host::ReadFailure::Missing,
                                  QStringLiteral("cannot find '%1'").arg(path));
    QString error;
    auto fixture = loadFixtureFile(path, &error, info.fileName());
    if (!fixture || fixture->books.isEmpty())
        throw host::FileReadError(
            host::ReadFailure::Damaged,
            QStringLiteral("'%1' is not a workbook this host can open: %2").arg(path, error));
    if (!fixture->books.first().password.isEmpty())
        throw host::FileReadError(host::ReadFailure::Protected,
                                  QStringLiteral("The file is protected by a password"));
    return *fixture;
}

class SimApplication : public host::Application {
public:
    explicit SimApplication(std::shared_ptr<SimHost> host) : m_anchor{std::move(host)} {}

    int workbookCount() override {
        enter(QStringLiteral("Application.workbookCount"));
        return int(host().books.size());
    }
    host::WorkbookPtr workbook(int index) override {
        enter(QStringLiteral("Application.workbook"));
        if (index < 1 || index > int(host().books.size()))
            throw HostError(QStringLiteral("there is no workbook %1").arg(index));
        return wrap(host().books.at(size_t(index - 1)));
    }
    host::WorkbookPtr workbook(const QString& name) override {
        enter(QStringLiteral("Application.workbook"));
        auto book = host().findBook(name);
        if (!book)
            throw HostError(QStringLiteral("no workbook named '%1' is open").arg(name));
        return wrap(book);
    }
    std::vector<host::BookEntry> bookList() override {
        enter(QStringLiteral("Application.bookList"));
        std::vector<host::BookEntry> list;
        for (const auto& b : host().books)
            list.push_back({b->name, b->anyWindowVisible()});
        return list;
    }
    host::WorkbookPtr openWorkbook(const QString& path,
                                   std::optional<host::OpenOptions> options) override {
        enter(QStringLiteral("Application.openWorkbook"));
        host().opened.append({path, options});
        const QFileInfo info(path);
        const auto fixture = readWorkbookFile(path);
        // Reopening a book from the same file gives the open one, as the
        // spreadsheet does; a different book of the same name is refused.
        const QString canonical = info.absoluteFilePath();
        std::vector<std::shared_ptr<BookData>> already;
        for (const FixtureBook& b : fixture.books) {
            auto open = host().findBook(b.name);
            if (!open)
                continue;
            const QString openPath = QFileInfo(open->path).absoluteFilePath();
            const QString wanted = QFileInfo(b.path.isEmpty() ? path : b.path).absoluteFilePath();
            if (openPath != wanted)
                throw HostError(
                    QStringLiteral("a different workbook named '%1' is already open").arg(b.name));
            already.push_back(open);
        }
        std::vector<std::shared_ptr<BookData>> added;
        if (already.empty()) {
            added = host().load(fixture, canonical);
        } else if (already.size() != size_t(fixture.books.size())) {
            throw HostError(QStringLiteral("some workbooks of '%1' are already open").arg(path));
        } else {
            added = already;
            host().activeBook = already.front();
        }
        if (options && options->addToMru)
            host().recentFiles.append(path);
        return wrap(added.front());
    }
    host::ReadingBook openForReading(const QString& path) override {
        enter(QStringLiteral("Application.openForReading"));
        const QFileInfo info(path);
        if (!info.isFile())
            throw host::FileReadError(host::ReadFailure::Missing,
                                      QStringLiteral("cannot find '%1'").arg(path));
        const QString canonical = info.absoluteFilePath();
        for (const auto& b : host().books) {
            if (b->open && !b->path.isEmpty() && QFileInfo(b->path).absoluteFilePath() == canonical)
                return {wrap(b), true};
        }
        auto fixture = readWorkbookFile(path);
        // One file, one book, and none of the application's settings; the
        // reader never takes the user's place in the active book, no window
        // shows what it reads, and no list of the open books has it.
        fixture.books.resize(1);
        fixture.application = {};
        const auto added = host().load(fixture, canonical, true);
        for (auto& w : added.front()->windows)
            w.visible = false;
        return {wrap(added.front()), false};
    }
    host::WindowPtr window(const QString& caption) override {
        enter(QStringLiteral("Application.window"));
        for (const auto& book : host().books) {
            for (int i = 1; i <= int(book->windows.size()); ++i) {
                if (windowCaption(*book, i).compare(caption, Qt::CaseInsensitive) == 0)
                    return makeWindow(m_anchor.host, book, i);
            }
        }
        throw HostError(QStringLiteral("there is no window '%1'").arg(caption));
    }
    host::WorkbookPtr activeWorkbook() override {
        enter(QStringLiteral("Application.activeWorkbook"));
        return wrap(activeBook());
    }
    host::SheetPtr activeSheet() override {
        enter(QStringLiteral("Application.activeSheet"));
        return makeSheet(m_anchor.host, activeBook()->activeSheet);
    }
    host::RangePtr activeCell() override {
        enter(QStringLiteral("Application.activeCell"));
        const auto sheet = activeBook()->activeSheet;
        if (sheet->chart)
            throw HostError(QStringLiteral("the active sheet '%1' has no cells").arg(sheet->name));
        return makeRange(
            m_anchor.host, sheet,
            {sheet->activeRow, sheet->activeColumn, sheet->activeRow, sheet->activeColumn});
    }
    bool showDialog(host::Dialog dialog) override {
        enter(QStringLiteral("Application.showDialog"));
        const auto book = activeBook();
        ++host().dialogCount;
        const bool confirmed = host().dialogScript ? host().dialogScript(dialog, *this) : true;
        if (confirmed && dialog == host::Dialog::Print && book->open) {
            PrintRecord record;
            record.book = book->name;
            record.sheets = makeWindow(m_anchor.host, book, 1)->selectedSheets();
            host().printed.append(record);
        }
        return confirmed;
    }

    QString name() const override {
        return read(QStringLiteral("Application.name"), &SimHost::name);
    }
    QString version() const override {
        return read(QStringLiteral("Application.version"), &SimHost::version);
    }
    QString path() const override {
        return read(QStringLiteral("Application.path"), &SimHost::path);
    }
    QString startupPath() const override {
        return read(QStringLiteral("Application.startupPath"), &SimHost::startupPath);
    }
    bool visible() const override {
        return read(QStringLiteral("Application.visible"), &SimHost::visible);
    }
    void setVisible(bool visible) override {
        write(QStringLiteral("Application.setVisible"), &SimHost::visible, visible);
    }
    host::WindowState windowState() const override {
        return read(QStringLiteral("Application.windowState"), &SimHost::windowState);
    }
    void setWindowState(host::WindowState state) override {
        write(QStringLiteral("Application.setWindowState"), &SimHost::windowState, state);
    }
    bool paintsDuringCalls() const override { return host().paintsDuringCalls; }
    void bringToFront() override {
        enter(QStringLiteral("Application.bringToFront"));
        ++host().bringToFrontCount;
    }

private:
    SimHost& host() const { return *m_anchor.host; }
    void enter(const QString& op) const { m_anchor.enter(op); }
    // One application setting, read or written as the operation `op`.
    template <typename T> T read(const QString& op, T SimHost::*setting) const {
        enter(op);
        return host().*setting;
    }
    template <typename T> void write(const QString& op, T SimHost::*setting, T value) {
        enter(op);
        host().*setting = value;
    }
    std::shared_ptr<BookData> activeBook() const {
        const auto book = host().activeBook;
        if (!book || !book->open)
            throw HostError(QStringLiteral("no workbook is active"));
        return book;
    }
    host::WorkbookPtr wrap(const std::shared_ptr<BookData>& book) const {
        return makeWorkbook(m_anchor.host, book);
    }

    Anchor m_anchor;
};

} // namespace

host::ApplicationPtr makeApplication(std::shared_ptr<SimHost> host) {
    return std::make_shared<SimApplication>(std::move(host));
}

} // namespace korvex::sim
