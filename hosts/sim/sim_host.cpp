#include "sim_host.h"

#include "cell_address.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace korvex::sim {

using host::HostError;

namespace {

// A value as the spreadsheet stores it: whole numbers stay ints, flags bools.
QVariant normalisedPageValue(const QString& name, const QVariant& v) {
    switch (*pageValueKind(name)) {
    case PageValueKind::Text:
        return v.toString();
    case PageValueKind::Number:
        return v.toDouble();
    case PageValueKind::Flag:
        return v.toBool();
    case PageValueKind::Integer:
        return v.toInt();
    case PageValueKind::ZoomLike:
        if (v.typeId() == QMetaType::Bool)
            return false;
        return v.toInt();
    }
    return v;
}

// A constant as the formula bar shows it: a date as a date, a flag as TRUE or
// FALSE, a percentage with its sign, text without its apostrophe.
QString enteredConstant(const QString& typed) {
    bool percent = false;
    const QVariant v = host::typedValue(typed, &percent);
    return v.typeId() == QMetaType::QString ? v.toString() : host::constantText(v, percent);
}

// Writes what a user typed into a cell: a formula, a constant, or nothing.
void enterCell(SheetData& sheet, int row, int column, const QVariant& v) {
    const auto key = std::make_pair(row, column);
    CellData& cell = sheet.cells[key];
    if (!v.isValid() || v.isNull() ||
        (v.typeId() == QMetaType::QString && v.toString().isEmpty())) {
        cell.formula.clear();
        cell.value = QVariant();
        cell.text.clear();
        if (cell.note.isEmpty() && cell.locked)
            sheet.cells.erase(key);
        return;
    }
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        if (s.startsWith(QLatin1Char('='))) {
            // No evaluation here: a new formula has no known result.
            cell.formula = s;
            cell.value = QVariant();
            cell.text.clear();
            return;
        }
        bool percent = false;
        cell.value = host::typedValue(s, &percent);
        cell.formula = enteredConstant(s);
        cell.text = percent ? cell.formula : generalText(cell.value);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime: {
        const QDate date = v.typeId() == QMetaType::QTime ? host::serialDayZero() : v.toDate();
        const QTime time = v.typeId() == QMetaType::QDate ? QTime(0, 0) : v.toTime();
        cell.value = QDateTime(date, QTime(time.hour(), time.minute(), time.second()), Qt::UTC);
        cell.text = generalText(cell.value);
        cell.formula = cell.text;
        return;
    }
    default:
        break;
    }
    cell.value = v.typeId() == QMetaType::Bool ? QVariant(v.toBool()) : QVariant(v.toDouble());
    if (v.typeId() != QMetaType::Bool && v.typeId() != QMetaType::Double &&
        v.typeId() != QMetaType::Int && v.typeId() != QMetaType::LongLong &&
        v.typeId() != QMetaType::UInt && v.typeId() != QMetaType::ULongLong &&
        v.typeId() != QMetaType::Float)
        cell.value = constantValue(v.toString());
    cell.text = generalText(cell.value);
    cell.formula = cell.text;
}

using Rect = a1::CellRange;

// Writes the text a replacement made of a cell's content. A text that reads
// as a number was entered with an apostrophe, and stays text.
void enterReplaced(SheetData& sheet, int row, int column, const QString& text) {
    CellData& cell = sheet.cells[{row, column}];
    if (cell.formula.startsWith(QLatin1Char('=')) && text.startsWith(QLatin1Char('='))) {
        // Still a formula: the stated result stays, nothing is evaluated.
        cell.formula = text;
        return;
    }
    const bool markedText = !cell.formula.startsWith(QLatin1Char('=')) &&
                            cell.value.typeId() == QMetaType::QString &&
                            constantValue(cell.formula).typeId() != QMetaType::QString;
    if (markedText && !text.isEmpty())
        enterCell(sheet, row, column, QString(QLatin1Char('\'') + text));
    else
        enterCell(sheet, row, column, text);
}

// Every cell of `sheet` inside `rect` whose text matches, in no order.
std::vector<matcher::CellPosition> matchingCells(const SheetData& sheet, const Rect& rect,
                                                 const matcher::FindSettings& settings) {
    const matcher::Pattern pattern = settings.pattern();
    std::vector<matcher::CellPosition> hits;
    for (const auto& [key, cell] : sheet.cells) {
        if (!rect.contains(key.first, key.second))
            continue;
        const matcher::CellTexts texts{cell.formula, cell.text, cell.note};
        if (pattern.matches(matcher::textFor(texts, settings.lookIn)))
            hits.push_back({key.first, key.second});
    }
    return hits;
}

QString cellAddress(int row, int column) {
    return a1::cellText({row, column});
}

host::CellContent contentOf(const CellData* cell) {
    using Kind = host::CellContent::Kind;
    if (!cell || !cell->hasContent())
        return {};
    if (cell->formula.startsWith(QLatin1Char('=')))
        return {Kind::Formula, cell->formula};
    switch (cell->value.typeId()) {
    case QMetaType::Bool:
        return {Kind::Flag, cell->formula};
    case QMetaType::QDateTime:
        return {Kind::DateTime, cell->formula};
    case QMetaType::Double:
        return {cell->formula.endsWith(QLatin1Char('%')) ? Kind::Percent : Kind::Number,
                cell->formula};
    default:
        return {Kind::Text, cell->formula};
    }
}

QString valueTextAt(const SheetData& sheet, int row, int column) {
    const CellData* c = sheet.cell(row, column);
    return c ? host::valueText(c->value) : QString();
}

class SimRange;
class SimSheet;

// Shared by every handle: the host must still run and the book be open.
struct Anchor {
    std::shared_ptr<SimHost> host;

    void enter(const QString& op) const { host->enter(op); }
};

std::shared_ptr<BookData> openBookOf(const SheetData& sheet) {
    auto book = sheet.book.lock();
    if (!book || !book->open)
        throw HostError(
            QStringLiteral("the workbook of sheet '%1' has been closed").arg(sheet.name));
    return book;
}

class SimPageSetup : public host::PageSetup {
public:
    SimPageSetup(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet)
        : m_anchor{std::move(host)}, m_sheet(std::move(sheet)) {}

    QVariant get(host::PageProperty p) const override {
        const QString name = QString::fromLatin1(host::pagePropertyName(p));
        m_anchor.enter(QStringLiteral("PageSetup.get:") + name);
        openBookOf(*m_sheet);
        return m_sheet->page.at(size_t(p));
    }

    void set(host::PageProperty p, const QVariant& value) override {
        const QString name = QString::fromLatin1(host::pagePropertyName(p));
        m_anchor.enter(QStringLiteral("PageSetup.set:") + name);
        auto book = openBookOf(*m_sheet);
        if (m_sheet->isProtected)
            throw HostError(QStringLiteral("sheet '%1' is protected; %2 cannot be changed")
                                .arg(m_sheet->name, name));
        const QString problem = pageValueProblem(name, value);
        if (!problem.isEmpty())
            throw HostError(problem);
        m_sheet->page[size_t(p)] = normalisedPageValue(name, value);
        book->modified = true;
    }

    host::PageValues getAll() const override {
        host::PageValues all = host::PageSetup::getAll();
        all.fitToPagesWide = m_sheet->fitToPagesWide;
        all.fitToPagesTall = m_sheet->fitToPagesTall;
        return all;
    }

    void setAll(const host::PageValues& values) override {
        host::PageSetup::setAll(values);
        if (values.values[size_t(host::PageProperty::Zoom)].typeId() != QMetaType::Bool)
            return;
        const struct {
            QString name;
            const QVariant& value;
            QVariant& kept;
        } fits[] = {
            {QStringLiteral("FitToPagesWide"), values.fitToPagesWide, m_sheet->fitToPagesWide},
            {QStringLiteral("FitToPagesTall"), values.fitToPagesTall, m_sheet->fitToPagesTall}};
        for (const auto& fit : fits) {
            if (!fit.value.isValid())
                continue;
            if (const QString problem = pageValueProblem(fit.name, fit.value); !problem.isEmpty())
                throw HostError(problem);
            fit.kept = normalisedPageValue(fit.name, fit.value);
        }
    }

private:
    Anchor m_anchor;
    std::shared_ptr<SheetData> m_sheet;
};

host::RangePtr makeRange(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet, Rect r);

class SimRange : public host::Range, public std::enable_shared_from_this<SimRange> {
public:
    SimRange(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet, Rect rect)
        : m_anchor{std::move(host)}, m_sheet(std::move(sheet)), m_rect(rect) {}

    const std::shared_ptr<SheetData>& sheetData() const { return m_sheet; }
    Rect rect() const { return m_rect; }

    QVariant value() const override {
        m_anchor.enter(QStringLiteral("Range.value"));
        openBookOf(*m_sheet);
        const CellData* c = m_sheet->cell(m_rect.top, m_rect.left);
        return c ? c->value : QVariant();
    }

    void setValue(const QVariant& value) override {
        m_anchor.enter(QStringLiteral("Range.setValue"));
        auto book = openBookOf(*m_sheet);
        const qint64 area =
            qint64(m_rect.bottom - m_rect.top + 1) * qint64(m_rect.right - m_rect.left + 1);
        if (area > 100000)
            throw HostError(
                QStringLiteral("the simulated host does not fill %1 cells at once").arg(area));
        for (int r = m_rect.top; r <= m_rect.bottom; ++r)
            for (int c = m_rect.left; c <= m_rect.right; ++c)
                refuseIfProtected(r, c);
        for (int r = m_rect.top; r <= m_rect.bottom; ++r) {
            for (int c = m_rect.left; c <= m_rect.right; ++c)
                enterCell(*m_sheet, r, c, value);
        }
        book->modified = true;
    }

    host::CheckedWrite setValueIf(const QStringList& expected, int compareChars,
                                  const QVariant& value) override {
        m_anchor.enter(QStringLiteral("Range.setValueIf"));
        auto book = openBookOf(*m_sheet);
        if (!host::valueTextIsOneOf(valueTextAt(*m_sheet, m_rect.top, m_rect.left), expected,
                                    compareChars))
            return host::CheckedWrite::Changed;
        if (m_sheet->refuses(m_rect.top, m_rect.left))
            return host::CheckedWrite::Refused;
        enterCell(*m_sheet, m_rect.top, m_rect.left, value);
        book->modified = true;
        return host::CheckedWrite::Written;
    }

    int row() const override {
        m_anchor.enter(QStringLiteral("Range.row"));
        openBookOf(*m_sheet);
        return m_rect.top;
    }
    int column() const override {
        m_anchor.enter(QStringLiteral("Range.column"));
        openBookOf(*m_sheet);
        return m_rect.left;
    }

    QString address(bool rowAbsolute, bool columnAbsolute) const override {
        m_anchor.enter(QStringLiteral("Range.address"));
        openBookOf(*m_sheet);
        if (m_rect.wholeRows())
            return a1::rowSpanText(m_rect.top, m_rect.bottom, rowAbsolute);
        if (m_rect.wholeColumns())
            return a1::columnSpanText(m_rect.left, m_rect.right, columnAbsolute);
        return a1::rangeText(m_rect, rowAbsolute, columnAbsolute);
    }

    void activate() override {
        m_anchor.enter(QStringLiteral("Range.activate"));
        auto book = openBookOf(*m_sheet);
        m_anchor.host->activeBook = book;
        m_anchor.host->activateSheet(m_sheet);
        m_sheet->activeRow = m_rect.top;
        m_sheet->activeColumn = m_rect.left;
    }

    void select() override {
        m_anchor.enter(QStringLiteral("Range.select"));
        activate();
    }

    host::RangePtr find(const host::FindOptions& options) override {
        m_anchor.enter(QStringLiteral("Range.find"));
        openBookOf(*m_sheet);
        const auto after = afterPosition(options.after);
        m_anchor.host->lastFind = matcher::FindSettings::fromFind(options);
        return search(*m_anchor.host->lastFind, after);
    }

    host::RangePtr findNext(const host::RangePtr& after) override {
        m_anchor.enter(QStringLiteral("Range.findNext"));
        openBookOf(*m_sheet);
        const auto pos = afterPosition(after);
        if (!m_anchor.host->lastFind)
            return nullptr;
        return search(*m_anchor.host->lastFind, pos);
    }

    bool replace(const host::ReplaceOptions& options) override {
        m_anchor.enter(QStringLiteral("Range.replace"));
        auto book = openBookOf(*m_sheet);
        const matcher::Pattern pattern = matcher::Pattern::fromReplace(options);
        std::vector<std::pair<std::pair<int, int>, QString>> changes;
        int occurrences = 0;
        for (const auto& [key, cell] : m_sheet->cells) {
            if (!cell.hasContent() || !m_rect.contains(key.first, key.second))
                continue;
            const matcher::Replacement r = pattern.replace(cell.formula, options.replacement);
            occurrences += r.occurrences;
            if (r.changed)
                changes.emplace_back(key, r.text);
        }
        for (const auto& [key, text] : changes)
            refuseIfProtected(key.first, key.second);
        for (const auto& [key, text] : changes)
            enterReplaced(*m_sheet, key.first, key.second, text);
        if (!changes.empty())
            book->modified = true;
        return occurrences > 0;
    }

private:
    void refuseIfProtected(int row, int column) const {
        if (m_sheet->refuses(row, column))
            throw HostError(QStringLiteral("sheet '%1' is protected; its cells cannot be changed")
                                .arg(m_sheet->name));
    }

    // Where a search starts: after the given cell, or (none given) after the
    // range's last cell so that its first cell is looked at first.
    matcher::CellPosition afterPosition(const host::RangePtr& after) const {
        if (!after) // the range's first cell, so that it is searched last
            return {m_rect.top, m_rect.left};
        auto* sim = dynamic_cast<SimRange*>(after.get());
        if (!sim)
            throw HostError(QStringLiteral("After is not a cell of this host"));
        openBookOf(*sim->m_sheet);
        if (sim->m_sheet != m_sheet || !m_rect.contains(sim->m_rect.top, sim->m_rect.left))
            throw HostError(QStringLiteral("After lies outside the searched range"));
        return {sim->m_rect.top, sim->m_rect.left};
    }

    host::RangePtr search(const matcher::FindSettings& settings, matcher::CellPosition after) {
        const auto hit = matcher::nextMatch(matchingCells(*m_sheet, m_rect, settings), after,
                                            settings.searchOrder, settings.searchDirection);
        if (!hit)
            return nullptr;
        return makeRange(m_anchor.host, m_sheet, {hit->row, hit->column, hit->row, hit->column});
    }

    Anchor m_anchor;
    std::shared_ptr<SheetData> m_sheet;
    Rect m_rect;
};

host::RangePtr makeRange(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet, Rect r) {
    return std::make_shared<SimRange>(std::move(host), std::move(sheet), r);
}

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
    host::PageSetupPtr pageSetup() override {
        m_anchor.enter(QStringLiteral("Sheet.pageSetup"));
        worksheetOnly();
        return std::make_shared<SimPageSetup>(m_anchor.host, m_sheet);
    }

    std::vector<host::FoundCell> findAll(const host::FindOptions& options) override {
        m_anchor.enter(QStringLiteral("Sheet.findAll"));
        worksheetOnly();
        std::optional<matcher::CellPosition> after;
        if (options.after) {
            auto* cell = dynamic_cast<SimRange*>(options.after.get());
            if (!cell || cell->sheetData() != m_sheet)
                throw HostError(
                    QStringLiteral("After is not a cell of sheet '%1'").arg(m_sheet->name));
            after = matcher::CellPosition{cell->rect().top, cell->rect().left};
        }
        const auto settings = matcher::FindSettings::fromFind(options);
        const Rect whole{1, 1, a1::MaxRows, a1::MaxColumns};
        std::vector<host::FoundCell> found;
        for (const auto& p : matcher::findOrder(matchingCells(*m_sheet, whole, settings), after,
                                                settings.searchOrder, settings.searchDirection))
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
        if (m_book->windows.size() == 1)
            return m_book->name;
        return m_book->name + QLatin1Char(':') + QString::number(m_index);
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
    void check(const QString& op) const {
        m_anchor.enter(op);
        if (!m_book->open)
            throw HostError(QStringLiteral("workbook '%1' has been closed").arg(m_book->name));
    }

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
        if (index < 1 || index > int(m_book->sheets.size()))
            throw HostError(
                QStringLiteral("workbook '%1' has no sheet %2").arg(m_book->name).arg(index));
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
        if (index < 1 || index > int(list.size()))
            throw HostError(
                QStringLiteral("workbook '%1' has no worksheet %2").arg(m_book->name).arg(index));
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
        if (index < 1 || index > int(m_book->windows.size()))
            throw HostError(
                QStringLiteral("workbook '%1' has no window %2").arg(m_book->name).arg(index));
        return std::make_shared<SimWindow>(m_anchor.host, m_book, index);
    }
    // A simulated book has no window on the desktop.
    quintptr windowHandle() override {
        check(QStringLiteral("Workbook.windowHandle"));
        return 0;
    }

private:
    void check(const QString& op) const {
        m_anchor.enter(op);
        if (!m_book->open)
            throw HostError(QStringLiteral("workbook '%1' has been closed").arg(m_book->name));
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
        if (!info.isFile())
            throw HostError(QStringLiteral("cannot find '%1'").arg(path));
        QString error;
        const auto fixture = loadFixtureFile(path, &error, info.fileName());
        if (!fixture)
            throw HostError(
                QStringLiteral("'%1' is not a workbook this host can open: %2").arg(path, error));
        // Reopening a book from the same file gives the open one, as the
        // spreadsheet does; a different book of the same name is refused.
        const QString canonical = info.absoluteFilePath();
        std::vector<std::shared_ptr<BookData>> already;
        for (const FixtureBook& b : fixture->books) {
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
            added = host().load(*fixture, canonical);
        } else if (already.size() != size_t(fixture->books.size())) {
            throw HostError(QStringLiteral("some workbooks of '%1' are already open").arg(path));
        } else {
            added = already;
            host().activeBook = already.front();
        }
        if (options && options->addToMru)
            host().recentFiles.append(path);
        return wrap(added.front());
    }
    host::WindowPtr window(const QString& caption) override {
        enter(QStringLiteral("Application.window"));
        for (const auto& book : host().books) {
            const int n = int(book->windows.size());
            for (int i = 1; i <= n; ++i) {
                const QString c =
                    n == 1 ? book->name : book->name + QLatin1Char(':') + QString::number(i);
                if (c.compare(caption, Qt::CaseInsensitive) == 0)
                    return std::make_shared<SimWindow>(m_anchor.host, book, i);
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
        return std::make_shared<SimSheet>(m_anchor.host, activeBook()->activeSheet);
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
            record.sheets = SimWindow(m_anchor.host, book, 1).selectedSheets();
            host().printed.append(record);
        }
        return confirmed;
    }

    QString name() const override {
        enter(QStringLiteral("Application.name"));
        return host().name;
    }
    QString version() const override {
        enter(QStringLiteral("Application.version"));
        return host().version;
    }
    QString path() const override {
        enter(QStringLiteral("Application.path"));
        return host().path;
    }
    QString startupPath() const override {
        enter(QStringLiteral("Application.startupPath"));
        return host().startupPath;
    }
    bool visible() const override {
        enter(QStringLiteral("Application.visible"));
        return host().visible;
    }
    void setVisible(bool visible) override {
        enter(QStringLiteral("Application.setVisible"));
        host().visible = visible;
    }
    host::WindowState windowState() const override {
        enter(QStringLiteral("Application.windowState"));
        return host().windowState;
    }
    void setWindowState(host::WindowState state) override {
        enter(QStringLiteral("Application.setWindowState"));
        host().windowState = state;
    }
    bool paintsDuringCalls() const override { return host().paintsDuringCalls; }
    void bringToFront() override {
        enter(QStringLiteral("Application.bringToFront"));
        ++host().bringToFrontCount;
    }

private:
    SimHost& host() const { return *m_anchor.host; }
    void enter(const QString& op) const { m_anchor.enter(op); }
    std::shared_ptr<BookData> activeBook() const {
        const auto book = host().activeBook;
        if (!book || !book->open)
            throw HostError(QStringLiteral("no workbook is active"));
        return book;
    }
    host::WorkbookPtr wrap(const std::shared_ptr<BookData>& book) const {
        return std::make_shared<SimWorkbook>(m_anchor.host, book);
    }

    Anchor m_anchor;
};

} // namespace

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

std::vector<std::shared_ptr<BookData>> SimHost::load(const Fixture& fixture, const QString& path) {
    for (const FixtureBook& fb : fixture.books) {
        if (findBook(fb.name))
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
        books.push_back(book);
        added.push_back(book);
    }
    const int active = fixture.activeBookIndex();
    if (active >= 0)
        activeBook = added.at(size_t(active));
    return added;
}

host::ApplicationPtr SimHost::application() {
    if (auto app = m_application.lock())
        return app;
    auto app = std::make_shared<SimApplication>(shared_from_this());
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

std::shared_ptr<SimConnector> SimConnector::fromFixtureText(const QString& text, QString* error,
                                                            const QString& source) {
    const auto fixture = parseFixture(text, error, source);
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

std::shared_ptr<SimConnector> SimConnector::fromFixtureFile(const QString& path, QString* error) {
    const auto fixture = loadFixtureFile(path, error);
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
