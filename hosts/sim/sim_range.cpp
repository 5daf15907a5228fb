#include "sim_handles.h"

namespace korvex::sim {

using host::HostError;

namespace {

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

} // namespace

host::RangePtr makeRange(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet, Rect r) {
    return std::make_shared<SimRange>(std::move(host), std::move(sheet), r);
}

std::optional<RangeSpot> rangeSpot(const host::Range* range) {
    const auto* sim = dynamic_cast<const SimRange*>(range);
    if (!sim)
        return std::nullopt;
    return RangeSpot{sim->sheetData(), sim->rect()};
}

host::PageSetupPtr makePageSetup(std::shared_ptr<SimHost> host, std::shared_ptr<SheetData> sheet) {
    return std::make_shared<SimPageSetup>(std::move(host), std::move(sheet));
}

} // namespace korvex::sim
