#include "sim_handles.h"

#include <algorithm>

namespace korvex::sim {

using host::HostError;

std::shared_ptr<BookData> openBookOf(const SheetData& sheet) {
    auto book = sheet.book.lock();
    if (!book || !book->open)
        throw HostError(
            QStringLiteral("the workbook of sheet '%1' has been closed").arg(sheet.name));
    return book;
}

void Anchor::enter(const QString& op, const BookData& book) const {
    enter(op);
    if (!book.open)
        throw HostError(QStringLiteral("workbook '%1' has been closed").arg(book.name));
}

SheetData::SheetData() {
    for (int i = 0; i < host::PagePropertyCount; ++i)
        page[size_t(i)] = host::pagePropertyDefault(host::PageProperty(i));
}

const CellData* SheetData::cell(int row, int column) const {
    const auto it = cells.find({row, column});
    return it == cells.end() ? nullptr : &it->second;
}

bool SheetData::refuses(int row, int column) const {
    if (!isProtected)
        return false;
    const CellData* c = cell(row, column);
    return !c || c->locked;
}

std::shared_ptr<SheetData> BookData::findSheet(const QString& name) const {
    for (const auto& s : sheets) {
        if (s->name.compare(name, Qt::CaseInsensitive) == 0)
            return s;
    }
    return nullptr;
}

bool BookData::anyWindowVisible() const {
    return std::any_of(windows.begin(), windows.end(),
                       [](const WindowData& w) { return w.visible; });
}

std::shared_ptr<SimHost> SimHost::create() {
    return std::shared_ptr<SimHost>(new SimHost());
}

std::shared_ptr<SimHost> SimHost::fromFixture(const Fixture& fixture) {
    auto host = create();
    host->load(fixture);
    return host;
}

std::vector<std::shared_ptr<BookData>> SimHost::load(const Fixture& fixture, const QString& path,
                                                     bool forReading) {
    for (const FixtureBook& fb : fixture.books) {
        if (!forReading && findBook(fb.name))
            throw HostError(QStringLiteral("a workbook named '%1' is already open").arg(fb.name));
    }
    const FixtureApplication& app = fixture.application;
    if (app.name)
        name = *app.name;
    if (app.version)
        version = *app.version;
    if (app.path)
        this->path = *app.path;
    if (app.startupPath)
        startupPath = *app.startupPath;
    if (app.visible)
        visible = *app.visible;
    if (app.windowState)
        windowState = *app.windowState;

    std::vector<std::shared_ptr<BookData>> added;
    for (const FixtureBook& fb : fixture.books) {
        auto book = std::make_shared<BookData>();
        book->name = fb.name;
        book->path = fb.path.isEmpty() ? path : fb.path;
        book->modified = fb.modified;
        book->windows.assign(size_t(fb.windows), WindowData{});
        for (int w : fb.hiddenWindows)
            book->windows[size_t(w - 1)].visible = false;
        for (const FixtureSheet& fs : fb.sheets) {
            auto sheet = std::make_shared<SheetData>();
            sheet->name = fs.name;
            sheet->chart = fs.chart;
            sheet->isProtected = fs.protectedSheet;
            sheet->activeRow = fs.activeRow;
            sheet->activeColumn = fs.activeColumn;
            sheet->book = book;
            for (const FixtureCell& fc : fs.cells) {
                CellData cell;
                cell.formula = fc.content.startsWith(QLatin1Char('='))
                                   ? fc.content
                                   : enteredConstant(fc.content);
                cell.value = fc.value;
                cell.text = fc.displayed;
                cell.note = fc.note;
                cell.locked = fc.locked;
                sheet->cells[{fc.row, fc.column}] = cell;
            }
            for (const auto& [propName, value] : fs.pageSetup) {
                const QVariant v = normalisedPageValue(propName, value);
                if (propName == QLatin1String("FitToPagesWide"))
                    sheet->fitToPagesWide = v;
                else if (propName == QLatin1String("FitToPagesTall"))
                    sheet->fitToPagesTall = v;
                else
                    sheet->page[size_t(pageValueNames().indexOf(propName))] = v;
            }
            book->sheets.push_back(sheet);
            if (fs.active)
                book->activeSheet = sheet;
        }
        if (!book->activeSheet)
            book->activeSheet = book->sheets.front();
        for (const QString& g : fb.group) {
            auto s = book->findSheet(g);
            if (std::find(book->group.begin(), book->group.end(), s) == book->group.end())
                book->group.push_back(s);
        }
        std::sort(book->group.begin(), book->group.end(), [&](const auto& a, const auto& b) {
            return std::find(book->sheets.begin(), book->sheets.end(), a) <
                   std::find(book->sheets.begin(), book->sheets.end(), b);
        });
        if (!book->group.empty() && std::find(book->group.begin(), book->group.end(),
                                              book->activeSheet) == book->group.end())
            book->activeSheet = book->group.front();
        if (book->group.size() < 2)
            book->group.clear();
        (forReading ? readingBooks : books).push_back(book);
        added.push_back(book);
    }
    const int active = fixture.activeBookIndex();
    if (active >= 0 && !forReading)
        activeBook = added.at(size_t(active));
    return added;
}

host::ApplicationPtr SimHost::application() {
    if (auto app = m_application.lock())
        return app;
    auto app = makeApplication(shared_from_this());
    m_application = app;
    return app;
}

std::shared_ptr<BookData> SimHost::findBook(const QString& bookName) const {
    for (const auto& b : books) {
        if (b->name.compare(bookName, Qt::CaseInsensitive) == 0)
            return b;
    }
    return nullptr;
}

std::shared_ptr<SheetData> SimHost::findSheet(const QString& book, const QString& sheet) const {
    const auto b = findBook(book);
    return b ? b->findSheet(sheet) : nullptr;
}

QStringList SimHost::bookNames() const {
    QStringList names;
    for (const auto& b : books)
        names.append(b->name);
    return names;
}

void SimHost::enter(const QString& operation) const {
    if (!m_alive)
        throw HostError(QStringLiteral("the spreadsheet host is no longer running"));
    if (beforeOperation)
        beforeOperation(operation);
}

void SimHost::closeBook(const std::shared_ptr<BookData>& book) {
    book->open = false;
    books.erase(std::remove(books.begin(), books.end(), book), books.end());
    readingBooks.erase(std::remove(readingBooks.begin(), readingBooks.end(), book),
                       readingBooks.end());
    if (activeBook == book) {
        activeBook.reset();
        for (auto it = books.rbegin(); it != books.rend(); ++it) {
            if ((*it)->anyWindowVisible()) {
                activeBook = *it;
                break;
            }
        }
    }
}

void SimHost::activateSheet(const std::shared_ptr<SheetData>& sheet) {
    auto book = sheet->book.lock();
    if (!book)
        return;
    // Activating a sheet outside the group ungroups; inside it keeps the group.
    if (std::find(book->group.begin(), book->group.end(), sheet) == book->group.end())
        book->group.clear();
    book->activeSheet = sheet;
}

namespace {
// A connector whose running host holds the parsed fixture's books; null when
// the fixture did not parse (*error says why already) or its books clash.
std::shared_ptr<SimConnector> connectorFor(const std::optional<Fixture>& fixture, QString* error) {
    if (!fixture)
        return nullptr;
    try {
        return std::make_shared<SimConnector>(SimHost::fromFixture(*fixture));
    } catch (const HostError& e) {
        if (error)
            *error = e.message();
        return nullptr;
    }
}
} // namespace

std::shared_ptr<SimConnector> SimConnector::fromFixtureText(const QString& text, QString* error,
                                                            const QString& source) {
    return connectorFor(parseFixture(text, error, source), error);
}

std::shared_ptr<SimConnector> SimConnector::fromFixtureFile(const QString& path, QString* error) {
    return connectorFor(loadFixtureFile(path, error), error);
}

host::ApplicationPtr SimConnector::attach() {
    ++attachCount;
    if (!m_host || !m_host->alive())
        return nullptr;
    return m_host->application();
}

host::ApplicationPtr SimConnector::start() {
    if (!startable)
        return nullptr;
    ++startCount;
    m_host = SimHost::create();
    m_host->visible = false;
    if (onStart)
        onStart(*m_host);
    return m_host->application();
}

void SimConnector::vanish() {
    if (m_host)
        m_host->vanish();
}

std::shared_ptr<SimHost> SimConnector::restart() {
    m_host = SimHost::create();
    if (onStart)
        onStart(*m_host);
    return m_host;
}

} // namespace korvex::sim
