#include "sim_handles.h"

#include <QFileInfo>

#include <algorithm>

namespace korvex::sim {

using host::HostError;

namespace {

class SimSheet : public host::Sheet {
public:
    SimSheet(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet)
        : m_anchor{std::move(host)}, m_sheet(std::move(sheet)) {}

    QString name() const override {
        m_anchor.enter(QStringLiteral("Sheet.name"));
        openBookOf(*m_sheet);
        return m_sheet->name;
    }
    bool isWorksheet() const override {
        m_anchor.enter(QStringLiteral("Sheet.isWorksheet"));
        openBookOf(*m_sheet);
        return !m_sheet->chart;
    }
    void activate() override {
        m_anchor.enter(QStringLiteral("Sheet.activate"));
        auto book = openBookOf(*m_sheet);
        m_anchor.host->activeBook = book;
        m_anchor.host->activateSheet(m_sheet);
    }
    host::RangePtr cells() override {
        m_anchor.enter(QStringLiteral("Sheet.cells"));
        worksheetOnly();
        return makeRange(m_anchor.host, m_sheet, {1, 1, a1::MaxRows, a1::MaxColumns});
    }
    host::RangePtr cell(int row, int column) override {
        m_anchor.enter(QStringLiteral("Sheet.cell"));
        worksheetOnly();
        if (row < 1 || row > a1::MaxRows || column < 1 || column > a1::MaxColumns)
            throw HostError(
                QStringLiteral("there is no cell at row %1, column %2").arg(row).arg(column));
        return makeRange(m_anchor.host, m_sheet, {row, column, row, column});
    }
    host::RangePtr range(const QString& address) override {
        m_anchor.enter(QStringLiteral("Sheet.range"));
        worksheetOnly();
        const auto rect = a1::parseRange(address);
        if (!rect)
            throw HostError(QStringLiteral("'%1' is not a cell address").arg(address));
        return makeRange(m_anchor.host, m_sheet, *rect);
    }
    host::RangePtr cursorCell() override {
        m_anchor.enter(QStringLiteral("Sheet.cursorCell"));
        worksheetOnly();
        const int row = m_sheet->activeRow;
        const int column = m_sheet->activeColumn;
        return makeRange(m_anchor.host, m_sheet, {row, column, row, column});
    }
    host::PageSetupPtr pageSetup() override {
        m_anchor.enter(QStringLiteral("Sheet.pageSetup"));
        worksheetOnly();
        return makePageSetup(m_anchor.host, m_sheet);
    }

    using host::Sheet::findAll;
    std::vector<host::FoundCell> findAll(const host::FindOptions& options,
                                         const host::ReadInBands& bands) override {
        m_anchor.enter(QStringLiteral("Sheet.findAll"));
        worksheetOnly();
        std::optional<matcher::CellPosition> after;
        if (options.after) {
            const auto cell = rangeSpot(options.after.get());
            if (!cell || cell->sheet != m_sheet)
                throw HostError(
                    QStringLiteral("After is not a cell of sheet '%1'").arg(m_sheet->name));
            after = matcher::CellPosition{cell->rect.top, cell->rect.left};
        }
        const auto settings = matcher::FindSettings::fromFind(options);
        std::vector<matcher::CellPosition> hits;
        // The used rows a band at a time, as the office's host reads them.
        const auto& cells = m_sheet->cells;
        if (!cells.empty()) {
            int left = a1::MaxColumns;
            int right = 1;
            for (const auto& entry : cells) {
                left = std::min(left, entry.first.second);
                right = std::max(right, entry.first.second);
            }
            const int top = cells.begin()->first.first;
            const int bottom = cells.rbegin()->first.first;
            const int rows = std::max(1, bands.maxCells / (right - left + 1));
            for (int first = top; first <= bottom; first += rows) {
                const int last = std::min(bottom, first + rows - 1);
                const auto band = matchingCells(*m_sheet, {first, left, last, right}, settings);
                hits.insert(hits.end(), band.begin(), band.end());
                if (last < bottom && bands.between) {
                    if (!bands.between())
                        return {};
                    worksheetOnly(); // the book may have closed meanwhile
                }
            }
        }
        std::vector<host::FoundCell> found;
        for (const auto& p : matcher::findOrder(std::move(hits), after, settings.searchOrder,
                                                settings.searchDirection))
            found.push_back(
                {p, cellAddress(p.row, p.column), valueTextAt(*m_sheet, p.row, p.column)});
        return found;
    }

    std::vector<host::CellReplacement>
    replaceCells(const host::ReplaceOptions& options,
                 const std::vector<host::CellPosition>& cells) override {
        m_anchor.enter(QStringLiteral("Sheet.replaceCells"));
        worksheetOnly();
        auto book = openBookOf(*m_sheet);
        const matcher::Pattern pattern = matcher::Pattern::fromReplace(options);
        std::vector<host::CellReplacement> done;
        done.reserve(cells.size());
        for (const auto& p : cells) {
            host::CellReplacement r;
            r.cell = p;
            r.address = cellAddress(p.row, p.column);
            r.oldValueText = valueTextAt(*m_sheet, p.row, p.column);
            const CellData* cell = m_sheet->cell(p.row, p.column);
            r.oldContent = contentOf(cell);
            const matcher::Replacement made =
                cell && cell->hasContent() ? pattern.replace(cell->formula, options.replacement)
                                           : matcher::Replacement{};
            if (made.occurrences == 0) {
                r.outcome = host::CellReplacement::Outcome::NoMatch;
            } else if (made.changed && m_sheet->refuses(p.row, p.column)) {
                r.outcome = host::CellReplacement::Outcome::Refused;
            } else {
                if (made.changed) {
                    enterReplaced(*m_sheet, p.row, p.column, made.text);
                    book->modified = true;
                }
                r.outcome = host::CellReplacement::Outcome::Replaced;
                r.newContent = made.text;
                r.newValueText = valueTextAt(*m_sheet, p.row, p.column);
            }
            done.push_back(std::move(r));
        }
        return done;
    }

private:
    void worksheetOnly() const {
        openBookOf(*m_sheet);
        if (m_sheet->chart)
            throw HostError(QStringLiteral("'%1' is a chart sheet").arg(m_sheet->name));
    }

    Anchor m_anchor;
    std::shared_ptr<SheetData> m_sheet;
};

class SimWindow : public host::Window {
public:
    SimWindow(std::shared_ptr<SimHost> host, std::shared_ptr<BookData> book, int index)
        : m_anchor{std::move(host)}, m_book(std::move(book)), m_index(index) {}

    QString caption() const override {
        check(QStringLiteral("Window.caption"));
        return windowCaption(*m_book, m_index);
    }
    bool visible() const override {
        check(QStringLiteral("Window.visible"));
        return m_book->windows.at(size_t(m_index - 1)).visible;
    }
    QStringList selectedSheets() const override {
        check(QStringLiteral("Window.selectedSheets"));
        QStringList names;
        if (m_book->group.empty()) {
            if (m_book->activeSheet)
                names.append(m_book->activeSheet->name);
            return names;
        }
        for (const auto& s : m_book->group)
            names.append(s->name);
        return names;
    }

private:
    void check(const QString& op) const { m_anchor.enter(op, *m_book); }

    Anchor m_anchor;
    std::shared_ptr<BookData> m_book;
    int m_index;
};

class SimWorkbook : public host::Workbook {
public:
    SimWorkbook(std::shared_ptr<SimHost> host, std::shared_ptr<BookData> book)
        : m_anchor{std::move(host)}, m_book(std::move(book)) {}

    QString name() const override {
        check(QStringLiteral("Workbook.name"));
        return m_book->name;
    }
    QString fullName() const override {
        check(QStringLiteral("Workbook.fullName"));
        return m_book->path.isEmpty() ? m_book->name : QFileInfo(m_book->path).absoluteFilePath();
    }
    void activate() override {
        check(QStringLiteral("Workbook.activate"));
        m_anchor.host->activeBook = m_book;
    }
    void close(std::optional<bool> saveChanges) override {
        check(QStringLiteral("Workbook.close"));
        CloseRecord record;
        record.book = m_book->name;
        record.saveChanges = saveChanges;
        bool save = saveChanges.value_or(false);
        if (!saveChanges && m_book->modified) {
            record.asked = true;
            const std::optional<bool> answer = m_anchor.host->savePrompt
                                                   ? m_anchor.host->savePrompt(m_book->name)
                                                   : std::optional<bool>(false);
            if (!answer) {
                m_anchor.host->closed.append(record);
                return;
            }
            save = *answer;
        }
        record.saved = save && m_book->modified;
        record.closed = true;
        m_anchor.host->closed.append(record);
        m_anchor.host->closeBook(m_book);
    }
    host::SheetPtr activeSheet() override {
        check(QStringLiteral("Workbook.activeSheet"));
        return wrap(m_book->activeSheet);
    }
    int sheetCount() override {
        check(QStringLiteral("Workbook.sheetCount"));
        return int(m_book->sheets.size());
    }
    host::SheetPtr sheet(int index) override {
        check(QStringLiteral("Workbook.sheet"));
        checkIndex(index, m_book->sheets.size(), "sheet");
        return wrap(m_book->sheets.at(size_t(index - 1)));
    }
    host::SheetPtr sheet(const QString& name) override {
        check(QStringLiteral("Workbook.sheet"));
        auto s = m_book->findSheet(name);
        if (!s)
            throw HostError(
                QStringLiteral("workbook '%1' has no sheet named '%2'").arg(m_book->name, name));
        return wrap(s);
    }
    int worksheetCount() override {
        check(QStringLiteral("Workbook.worksheetCount"));
        return int(worksheets().size());
    }
    host::SheetPtr worksheet(int index) override {
        check(QStringLiteral("Workbook.worksheet"));
        const auto list = worksheets();
        checkIndex(index, list.size(), "worksheet");
        return wrap(list.at(size_t(index - 1)));
    }
    host::SheetPtr worksheet(const QString& name) override {
        check(QStringLiteral("Workbook.worksheet"));
        auto s = m_book->findSheet(name);
        if (!s || s->chart)
            throw HostError(QStringLiteral("workbook '%1' has no worksheet named '%2'")
                                .arg(m_book->name, name));
        return wrap(s);
    }
    std::vector<host::SheetEntry> sheetList() override {
        check(QStringLiteral("Workbook.sheetList"));
        std::vector<host::SheetEntry> list;
        for (const auto& s : m_book->sheets)
            list.push_back({s->name, !s->chart});
        return list;
    }
    void selectSheets(const QStringList& names) override {
        check(QStringLiteral("Workbook.selectSheets"));
        if (names.isEmpty())
            throw HostError(QStringLiteral("no sheets to select"));
        std::vector<std::shared_ptr<SheetData>> chosen;
        for (const QString& n : names) {
            auto s = m_book->findSheet(n);
            if (!s)
                throw HostError(
                    QStringLiteral("workbook '%1' has no sheet named '%2'").arg(m_book->name, n));
            chosen.push_back(s);
        }
        const auto first = chosen.front();
        std::vector<std::shared_ptr<SheetData>> group;
        for (const auto& s : m_book->sheets) {
            if (std::find(chosen.begin(), chosen.end(), s) != chosen.end())
                group.push_back(s);
        }
        m_book->activeSheet = first;
        m_book->group = group.size() > 1 ? group : std::vector<std::shared_ptr<SheetData>>{};
    }
    int windowCount() override {
        check(QStringLiteral("Workbook.windowCount"));
        return int(m_book->windows.size());
    }
    host::WindowPtr window(int index) override {
        check(QStringLiteral("Workbook.window"));
        checkIndex(index, m_book->windows.size(), "window");
        return std::make_shared<SimWindow>(m_anchor.host, m_book, index);
    }
    // A simulated book has no window on the desktop.
    quintptr windowHandle() override {
        check(QStringLiteral("Workbook.windowHandle"));
        return 0;
    }

private:
    void check(const QString& op) const { m_anchor.enter(op, *m_book); }
    // A 1-based index into `count` sheets, worksheets or windows.
    void checkIndex(int index, size_t count, const char* what) const {
        if (index < 1 || index > int(count))
            throw HostError((QStringLiteral("workbook '%1' has no ") + QLatin1String(what) +
                             QStringLiteral(" %2"))
                                .arg(m_book->name)
                                .arg(index));
    }
    std::vector<std::shared_ptr<SheetData>> worksheets() const {
        std::vector<std::shared_ptr<SheetData>> list;
        for (const auto& s : m_book->sheets) {
            if (!s->chart)
                list.push_back(s);
        }
        return list;
    }
    host::SheetPtr wrap(const std::shared_ptr<SheetData>& s) const {
        return std::make_shared<SimSheet>(m_anchor.host, s);
    }

    Anchor m_anchor;
    std::shared_ptr<BookData> m_book;
};

} // namespace

QString windowCaption(const BookData& book, int index) {
    if (book.windows.size() == 1)
        return book.name;
    return book.name + QLatin1Char(':') + QString::number(index);
}

host::SheetPtr makeSheet(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet) {
    return std::make_shared<SimSheet>(std::move(host), std::move(sheet));
}

host::WindowPtr makeWindow(std::shared_ptr<SimHost> host, std::shared_ptr<BookData> book,
                           int index) {
    return std::make_shared<SimWindow>(std::move(host), std::move(book), index);
}

host::WorkbookPtr makeWorkbook(std::shared_ptr<SimHost> host, std::shared_ptr<BookData> book) {
    return std::make_shared<SimWorkbook>(std::move(host), std::move(book));
}

} // namespace korvex::sim
