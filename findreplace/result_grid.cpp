#include "result_grid.h"

#include "app_state.h"
#include "csv_export.h"
#include "grid_layout.h"
#include "grid_print.h"
#include "messages.h"
#include "replace_log.h"
#include "result_model.h"
#include "settings_keys.h"
#include "ui_seam.h"
#include "work_database.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <set>

namespace korvex::findreplace {

constexpr int kTwipsPerPixel = Korvex_M01::TwipsPerPixel;

// Paints the cells and their grid lines. In a merged column a cell whose text
// equals the one above shows no text and no line above it, so a run of equal
// names reads as one cell; the run's text stands in its first visible row.
// Only the neighbours of a painted cell are looked at, never the whole table.
class MergeDelegate : public QStyledItemDelegate {
public:
    explicit MergeDelegate(QTableView* view) : QStyledItemDelegate(view), m_view(view) {}

    bool merged[2] = {false, false};
    // Told the width of every address painted, so that 位置 can grow to fit
    // what is shown without the table ever being measured as a whole.
    std::function<void(int)> addressPainted;

    bool isMerged(int column) const { return column >= 0 && column < 2 && merged[column]; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const int row = index.row();
        const int col = index.column();
        bool sameAsBelow = false;
        if (isMerged(col)) {
            const QAbstractItemModel* m = index.model();
            const QString text = opt.text;
            const bool sameAsAbove = row > 0 && m->index(row - 1, col).data().toString() == text;
            sameAsBelow =
                row + 1 < m->rowCount() && m->index(row + 1, col).data().toString() == text;
            if (sameAsAbove && row != m_view->rowAt(0))
                opt.text.clear();
        }
        if (col == 2 && addressPainted)
            addressPainted(opt.fontMetrics.horizontalAdvance(opt.text));
        // The current row stands out even when no row is selected.
        if (row == m_view->currentIndex().row() && !(opt.state & QStyle::State_Selected))
            painter->fillRect(option.rect, opt.palette.color(QPalette::AlternateBase).darker(104));
        const QWidget* w = opt.widget;
        QStyle* style = w ? w->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
        else
            QStyledItemDelegate::paint(painter, option, index);

        painter->save();
        const QColor line(opt.palette.color(QPalette::Mid));
        painter->setPen(line);
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        if (!sameAsBelow)
            painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }

private:
    QTableView* m_view;
};

// Row places by arithmetic. The rows all have one height and none is hidden
// (the grid never hides or sizes a single row), so a row's place is its
// number times that height. The header's own answer adds up the height of
// every row before it whenever the row count has changed: with a million
// rows, that would be paid again for every row a one-by-one search adds.
struct UniformRows {
    const QHeaderView* header;

    bool hold() const {
        return header->hiddenSectionCount() == 0 &&
               qint64(header->length()) == qint64(header->defaultSectionSize()) * header->count();
    }
    int height() const { return header->defaultSectionSize(); }
    // The row's top in viewport coordinates, clamped into the int range.
    int top(int row) const {
        const qint64 y = qint64(row) * height() - header->offset();
        return int(std::clamp<qint64>(y, -(1 << 30), 1 << 30));
    }
    // The band of rows first..last across `width`, clipped to `height`
    // pixels of viewport.
    QRect band(int first, int last, int width, int viewportHeight) const {
        const int y0 = std::max(top(first), -1);
        const int y1 = std::min(top(last) + height(), viewportHeight + 1);
        return y1 > y0 ? QRect(0, y0, width, y1 - y0) : QRect();
    }
};

// The row selectors at the left. Besides placing rows by arithmetic it keeps
// its width hint: its sections show no text, so the hint depends on the font
// and style only, while the header would otherwise measure two hundred
// sections again after every added row.
class RowHeader : public QHeaderView {
public:
    // A click on a row heading chooses the row, as the table's own heading
    // does; a header made by hand does not take clicks unless told to.
    explicit RowHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
        setSectionsClickable(true);
        setHighlightSections(true);
    }

    QSize sizeHint() const override {
        const bool empty = count() == 0;
        if (!m_hint.isValid() || empty != m_hintEmpty) {
            m_hint = QHeaderView::sizeHint();
            m_hintEmpty = empty;
        }
        return m_hint;
    }

protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            m_hint = QSize();
        QHeaderView::changeEvent(event);
    }
    void currentChanged(const QModelIndex& current, const QModelIndex& old) override {
        const UniformRows rows{this};
        if (!rows.hold() || current.row() == old.row()) {
            QHeaderView::currentChanged(current, old);
            return;
        }
        for (const QModelIndex& i : {old, current})
            if (i.isValid() && i.parent() == rootIndex())
                viewport()->update(
                    rows.band(i.row(), i.row(), viewport()->width(), viewport()->height()));
    }
    QRegion visualRegionForSelection(const QItemSelection& selection) const override {
        const UniformRows rows{this};
        if (!rows.hold())
            return QHeaderView::visualRegionForSelection(selection);
        QRegion region;
        for (const QItemSelectionRange& r : selection)
            if (r.isValid() && r.parent() == rootIndex())
                region += rows.band(r.top(), r.bottom(), viewport()->width(), viewport()->height());
        return region;
    }

private:
    mutable QSize m_hint;
    mutable bool m_hintEmpty = true;
};

ResultGrid::ResultGrid(ResultKind kind, Korvex_C01& db, QWidget* parent)
    : QTableView(parent), m_kind(kind), m_db(db), m_model(std::make_unique<ResultModel>(kind, db)),
      m_linkage(std::make_unique<GridLinkage>()) {
    setObjectName(kind == ResultKind::Search ? QStringLiteral("Search_Grid")
                                             : QStringLiteral("Replace_Grid"));
    setVerticalHeader(new RowHeader(this));
    setModel(m_model.get());
    m_delegate = new MergeDelegate(this);
    m_delegate->addressPainted = [this](int width) {
        if (width <= m_addressWidth)
            return;
        m_addressWidth = width;
        QTimer::singleShot(0, this, [this] { fitAddressColumn({}); });
    };
    setItemDelegate(m_delegate);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setTabKeyNavigation(false);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    // Every row has the same height: the view then never measures rows it
    // does not show, whatever the length of the table.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 2);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_textColor = palette().color(QPalette::Text);

    // Design widths, in twips like every stored size.
    static const int kSearchWidths[] = {1800, 1200, 800, 1500, 2000, 2500};
    static const int kReplaceWidths[] = {1800, 1200, 800, 1300, 1300, 2000, 2500};
    const int* widths = kind == ResultKind::Search ? kSearchWidths : kReplaceWidths;
    for (int c = 0; c < m_model->columnCount(); ++c)
        setColumnWidth(c, widths[c] / kTwipsPerPixel);

    // A run's text moves to the top row as the list scrolls.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_delegate->merged[0] || m_delegate->merged[1])
            viewport()->update();
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        m_linkage->clicked(selectedRowCount(), rowCount(), hitAt(index.row()));
    });
    m_model->beforeStore = [this](int row, int, const QString& oldText, const QString& newText) {
        return writeBack(row, oldText, newText);
    };
    connect(m_model.get(), &ResultModel::storeFailed, this, [this](int row) {
        const HitAddress hit = hitAt(row);
        showLater(17, {hit.book, hit.sheet, hit.range});
    });
}

QString ResultGrid::messageId(int number) const {
    return (m_kind == ResultKind::Search ? QStringLiteral("E_F02_") : QStringLiteral("E_F03_")) +
           QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
}

void ResultGrid::showLater(int number, const QStringList& args) {
    // Never from inside the edit being committed: a box taking the focus
    // there would commit the same edit a second time.
    QTimer::singleShot(
        0, this, [this, id = messageId(number), args] { Korvex_M01::ShowMsg(id, args, window()); });
}

bool ResultGrid::writeBack(int row, const QString& oldText, const QString& newText) {
    const HitAddress hit = hitAt(row);
    // The row records what the cell held; a replacement then put its own
    // text there, which the replace list keeps beside the row.
    QStringList expected{oldText};
    if (m_kind == ResultKind::Replace) {
        const ResultRow r = m_model->row(row);
        if (const auto written = writtenText(m_db, {r.book, r.sheet, r.range, r.execute, r.seqNo}))
            expected << *written;
    }
    const int resultSize = resultColumns(m_kind).at(resultColumnIndex(m_kind)).size;
    using E = GridLinkage::Edit;
    const E done = m_linkage->beforeStore(hit, expected, resultSize, newText);
    int message = 0;
    switch (done) {
    case E::WrittenBack:
        return true;
    case E::Refused: // the beep said it
        return false;
    case E::CellChanged:
        message = 12;
        break;
    case E::CellLocked:
        message = 13;
        break;
    case E::BookClosed:
        message = 14;
        break;
    case E::SheetMissing:
        message = 15;
        break;
    case E::HostGone:
        message = 16;
        break;
    }
    showLater(message, {hit.book, hit.sheet, hit.range});
    return false;
}

ResultGrid::~ResultGrid() {
    setModel(nullptr);
}

bool ResultGrid::bind() {
    const bool ok = m_model->bind();
    m_linkage->setGridActive(false);
    fitAddressColumnToTable();
    return ok;
}

bool ResultGrid::isBound() const {
    return m_model->isBound();
}

int ResultGrid::rowCount() const {
    return m_model->rowCount();
}

HitAddress ResultGrid::hitAt(int row) const {
    return {m_model->text(row, 0), m_model->text(row, 1), m_model->text(row, 2)};
}

void ResultGrid::addResultRow(const QString& book, const QString& sheet, const host::RangePtr& hit,
                              qint32 seqNo, const QString& search, const QString& replace) {
    addResultRows({ResultRow::fromHit(book, sheet, hit, seqNo, search, replace)});
}

void ResultGrid::addResultRows(const QList<ResultRow>& rows, bool moveHostCursor) {
    if (rows.isEmpty())
        return;
    m_model->appendRows(rows);
    const int last = rowCount() - 1;
    const QModelIndex current = currentIndex();
    m_appending = !moveHostCursor;
    makeCurrent(m_model->index(last, current.isValid() ? current.column() : 0));
    m_appending = false;
    fitAddressColumn(rows);
}

void ResultGrid::makeCurrent(const QModelIndex& index) {
    // The current row is where the user stands, not a choice: print, export
    // and the deletions of chosen rows never take it for one.
    if (selectionModel())
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

QList<int> ResultGrid::chosenRows() const {
    return selectedRowNumbers();
}

void ResultGrid::fitAddressColumn(const QList<ResultRow>& rows) {
    const int column = 2; // 位置
    const QFontMetrics body(font());
    int widest = horizontalHeader()->sectionSizeHint(column);
    for (const ResultRow& r : rows)
        widest = std::max(widest, body.horizontalAdvance(r.range));
    // Room for the cell's margins and the grid line on both sides.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) +
                       body.horizontalAdvance(QLatin1Char(' '));
    widest = std::max(widest, m_addressWidth);
    m_addressWidth = widest;
    if (!isColumnHidden(column) && columnWidth(column) < widest + margin)
        setColumnWidth(column, widest + margin);
}

void ResultGrid::fitAddressColumnToTable() {
    // Measured again from the heading; the addresses are measured as they
    // are painted.
    m_addressWidth = 0;
    fitAddressColumn({});
}

// --- layout -------------------------------------------------------------------

void ResultGrid::loadLayout(const QString& grxFile, const QString& windowName) {
    const auto layout = readGridLayout(grxFile, windowName);
    if (!layout)
        return;
    const auto& cols = resultColumns(m_kind);
    QHeaderView* h = horizontalHeader();
    int visual = 0;
    for (const GridColumnLayout& c : layout->columns) {
        int logical = -1;
        for (int i = 0; i < cols.size(); ++i)
            if (c.field == QLatin1String(cols[i].field))
                logical = i;
        if (logical < 0)
            continue;
        h->moveSection(h->visualIndex(logical), visual++);
        if (c.widthTwips > 0)
            setColumnWidth(logical, std::max(1, c.widthTwips / kTwipsPerPixel));
        setColumnHidden(logical, !c.shown);
    }
    setColumnMerged(0, layout->mergedFields.contains(QStringLiteral("book")));
    setColumnMerged(1, layout->mergedFields.contains(QStringLiteral("sheet")));
    if (layout->headingFont)
        h->setFont(*layout->headingFont);
    if (layout->bodyFont)
        setFont(*layout->bodyFont);
    if (layout->textColor)
        applyFont(font(), *layout->textColor);
    if (layout->headingFont)
        h->setFont(*layout->headingFont);
}

bool ResultGrid::saveLayout(const QString& grxFile, const QString& windowName) const {
    GridLayout layout;
    const auto& cols = resultColumns(m_kind);
    const QHeaderView* h = horizontalHeader();
    for (int v = 0; v < cols.size(); ++v) {
        const int logical = h->logicalIndex(v);
        GridColumnLayout c;
        c.field = QLatin1String(cols[logical].field);
        c.widthTwips = (isColumnHidden(logical) ? h->sectionSize(logical) : columnWidth(logical)) *
                       kTwipsPerPixel;
        c.shown = !isColumnHidden(logical);
        layout.columns.append(c);
    }
    if (columnMerged(0))
        layout.mergedFields << QStringLiteral("book");
    if (columnMerged(1))
        layout.mergedFields << QStringLiteral("sheet");
    layout.headingFont = h->font();
    layout.bodyFont = font();
    layout.textColor = m_textColor;
    return writeGridLayout(grxFile, windowName, layout);
}

bool ResultGrid::columnMerged(int column) const {
    return m_delegate->isMerged(column);
}

void ResultGrid::setColumnMerged(int column, bool on) {
    if (column < 0 || column > 1)
        return;
    m_delegate->merged[column] = on;
    viewport()->update();
}

void ResultGrid::applyFont(const QFont& font, const QColor& color) {
    setFont(font);
    horizontalHeader()->setFont(font);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 6);
    m_textColor = color.isValid() ? color : palette().color(QPalette::Text);
    QPalette p = palette();
    p.setColor(QPalette::Text, m_textColor);
    setPalette(p);
    if (m_model->isBound())
        fitAddressColumnToTable();
}

QColor ResultGrid::textColor() const {
    return m_textColor;
}

// --- linkage ------------------------------------------------------------------

void ResultGrid::setLinkage(bool on) {
    m_linkage->setXlsActive(on);
}

bool ResultGrid::linkageOn() const {
    return m_linkage->xlsActive();
}

void ResultGrid::setGridActive(bool on) {
    m_linkage->setGridActive(on);
}

bool ResultGrid::gridActive() const {
    return m_linkage->gridActive();
}

bool ResultGrid::goToHit() {
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return false;
    return GridLinkage::GoToHit(hitAt(current.row()));
}

void ResultGrid::moveToLast() {
    if (rowCount() == 0)
        return;
    const QModelIndex current = currentIndex();
    makeCurrent(m_model->index(rowCount() - 1, current.isValid() ? current.column() : 0));
}

void ResultGrid::windowActivated() {
    if (!m_linkage->gridActive())
        moveToLast();
}

bool ResultGrid::rowsPlacedByArithmetic(const QModelIndex& index) const {
    return index.isValid() && index.model() == model() && index.parent() == rootIndex() &&
           verticalHeader()->count() == model()->rowCount() && UniformRows{verticalHeader()}.hold();
}

QRect ResultGrid::visualRect(const QModelIndex& index) const {
    if (!rowsPlacedByArithmetic(index))
        return QTableView::visualRect(index);
    if (isIndexHidden(index))
        return QRect();
    // As the table does: a layout still waiting (the row count changed) is
    // done first, so that the scroll range and offset are current.
    const_cast<ResultGrid*>(this)->executeDelayedItemsLayout();
    const UniformRows rows{verticalHeader()};
    const int line = showGrid() ? 1 : 0;
    return QRect(columnViewportPosition(index.column()), rows.top(index.row()),
                 columnWidth(index.column()) - line, rows.height() - line);
}

void ResultGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
    // Across, the table's own rules apply (they look at the columns only)
    // unless the cell is already in sight across and no centring is asked.
    const int x = index.isValid() ? columnViewportPosition(index.column()) : 0;
    const bool inSightAcross =
        index.isValid() && x >= 0 && x + columnWidth(index.column()) <= viewport()->width();
    if (!rowsPlacedByArithmetic(index) || isIndexHidden(index) ||
        verticalScrollMode() != ScrollPerPixel || hint == PositionAtCenter || !inSightAcross) {
        QTableView::scrollTo(index, hint);
        return;
    }
    executeDelayedItemsLayout();
    const UniformRows rows{verticalHeader()};
    const int h = rows.height();
    const int y = rows.top(index.row());
    const int viewHeight = viewport()->height();
    if (hint == EnsureVisible) {
        if (y < 0 || h > viewHeight)
            hint = PositionAtTop;
        else if (y + h > viewHeight)
            hint = PositionAtBottom;
    }
    const int rowTop = index.row() * h;
    if (hint == PositionAtTop)
        verticalScrollBar()->setValue(rowTop);
    else if (hint == PositionAtBottom)
        verticalScrollBar()->setValue(rowTop - viewHeight + h);
    update(index);
}

QRegion ResultGrid::visualRegionForSelection(const QItemSelection& selection) const {
    if (!model() || verticalHeader()->count() != model()->rowCount() ||
        !UniformRows{verticalHeader()}.hold())
        return QTableView::visualRegionForSelection(selection);
    // Rows are selected whole: each range's band of rows across the viewport.
    const UniformRows rows{verticalHeader()};
    QRegion region;
    for (const QItemSelectionRange& r : selection)
        if (r.isValid() && r.parent() == rootIndex())
            region += rows.band(r.top(), r.bottom(), viewport()->width(), viewport()->height());
    return region;
}

void ResultGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (!m_appending && current.isValid() &&
        (current.row() != previous.row() || !previous.isValid()))
        m_linkage->currentRowChanged(selectedRowCount(), rowCount(), hitAt(current.row()));
}

// Rows are chosen as with record selectors: a plain click or arrow key only
// moves the current row (and drops any selection), Ctrl and Shift pick rows,
// and so does a click on the row headings. Printing and export then act on the
// rows the user chose, not on the row that happens to be current.
QItemSelectionModel::SelectionFlags ResultGrid::selectionCommand(const QModelIndex& index,
                                                                 const QEvent* event) const {
    Qt::KeyboardModifiers mods = Qt::NoModifier;
    if (event) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            mods = static_cast<const QMouseEvent*>(event)->modifiers();
            break;
        case QEvent::KeyPress:
            mods = static_cast<const QKeyEvent*>(event)->modifiers();
            break;
        default:
            return QTableView::selectionCommand(index, event);
        }
    } else {
        return QTableView::selectionCommand(index, event);
    }
    if (mods & (Qt::ControlModifier | Qt::ShiftModifier))
        return QTableView::selectionCommand(index, event);
    return selectionModel() && selectionModel()->hasSelection() ? QItemSelectionModel::Clear
                                                                : QItemSelectionModel::NoUpdate;
}

int ResultGrid::selectedRowCount() const {
    const QItemSelectionModel* sm = selectionModel();
    if (!sm)
        return 0;
    int n = 0;
    for (const QItemSelectionRange& r : sm->selection())
        n += r.height();
    return n;
}

QList<int> ResultGrid::selectedRowNumbers() const {
    std::set<int> rows;
    if (const QItemSelectionModel* sm = selectionModel())
        for (const QItemSelectionRange& r : sm->selection())
            for (int row = r.top(); row <= r.bottom(); ++row)
                rows.insert(row);
    return QList<int>(rows.cbegin(), rows.cend());
}

// --- maintenance --------------------------------------------------------------

void ResultGrid::showFirstRow() {
    if (rowCount() > 0)
        makeCurrent(m_model->index(0, 0));
    scrollToTop();
}

void ResultGrid::deleteAll() {
    if (rowCount() == 0) {
        korvex::ui().beep();
        return;
    }
    deleteRows(ResultModel::DeleteScope::All, QString());
}

void ResultGrid::deleteByKey(bool before) {
    const QModelIndex current = currentIndex();
    if (rowCount() == 0 || !current.isValid()) {
        korvex::ui().beep();
        return;
    }
    deleteRows(before ? ResultModel::DeleteScope::Before : ResultModel::DeleteScope::After,
               m_model->orderKey(current.row()));
}

void ResultGrid::deleteRows(ResultModel::DeleteScope scope, const QString& key) {
    // A refusing database leaves table and list as they were, and says so.
    if (!m_model->deleteRows(scope, key)) {
        Korvex_M01::ShowMsg(messageId(10), window());
        return;
    }
    showFirstRow();
}

void ResultGrid::deleteBefore() {
    deleteByKey(true);
}

void ResultGrid::deleteAfter() {
    deleteByKey(false);
}

void ResultGrid::deleteSelected() {
    const QList<int> rows = selectedRowNumbers();
    if (rows.isEmpty() || rowCount() == 0) {
        korvex::ui().beep();
        return;
    }
    if (!m_model->removeRowNumbers(rows))
        Korvex_M01::ShowMsg(messageId(10), window());
    setFocus();
}

void ResultGrid::undoDelete() {
    const ResultModel::Undone undone = m_model->undoDeletion();
    switch (undone.outcome) {
    case ResultModel::Undone::Nothing:
        korvex::ui().beep();
        return;
    case ResultModel::Undone::Failed:
        Korvex_M01::ShowMsg(messageId(11), window());
        return;
    case ResultModel::Undone::Restored:
        break;
    }
    // The first row back is current and in sight; none is chosen for the
    // user.
    clearSelection();
    const QModelIndex first = m_model->index(undone.firstRow, 0);
    makeCurrent(first);
    scrollTo(first, PositionAtTop);
    setFocus();
}

void ResultGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState &&
        event->modifiers() == Qt::NoModifier) {
        // The key deletes the chosen rows, or the current one when none is chosen.
        if (selectionModel() && !selectionModel()->hasSelection() && currentIndex().isValid())
            selectionModel()->select(currentIndex(),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
        deleteSelected();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResultGrid::contextMenuEvent(QContextMenuEvent* event) {
    emit fontMenuRequested(event->globalPos());
    event->accept();
}

// --- printing and export ------------------------------------------------------

QByteArray ResultGrid::printerSettings() const {
    return m_printSettings.toBlock();
}

void ResultGrid::setPrinterSettings(const QByteArray& block) {
    // An empty or unusable block means the defaults.
    m_printSettings = korvex::PrintSettings::fromBlock(block).value_or(korvex::PrintSettings{});
}

void ResultGrid::printSetup() {
    QPageLayout layout = m_printSettings.pageLayout();
    if (korvex::ui().pageSetup(this, layout, m_printSettings.printerName)) {
        m_printSettings.pageSize = layout.pageSize();
        m_printSettings.orientation = layout.orientation();
        m_printSettings.marginsMm = layout.margins(QPageLayout::Millimeter);
    }
    // Stored whether the dialog was confirmed or cancelled; a file that cannot
    // be written costs the user nothing but the stored settings.
    try {
        Korvex_M01::PrintSetting(false, *this);
    } catch (const std::exception& e) {
        qWarning("Korvex: %s", e.what());
    }
}

QList<PrintColumn> ResultGrid::shownColumns() const {
    QList<PrintColumn> columns;
    const QHeaderView* h = horizontalHeader();
    for (int v = 0; v < h->count(); ++v) {
        const int logical = h->logicalIndex(v);
        if (!isColumnHidden(logical))
            columns.append({logical, columnWidth(logical), columnMerged(logical)});
    }
    return columns;
}

void ResultGrid::print() {
    if (rowCount() == 0) {
        korvex::ui().beep();
        return;
    }
    using namespace Korvex_M01;
    const auto fail = [this] {
        try {
            ClearPrintSetting(*this);
        } catch (const std::exception& e) {
            qWarning("Korvex: %s", e.what());
        }
        ShowMsg(m_kind == ResultKind::Search ? QStringLiteral("E_F02_003")
                                             : QStringLiteral("E_F03_003"),
                window());
    };
    try {
        // The preview must not open behind windows kept in front of all others.
        for (QWidget* w :
             {F01_hWnd, F02_Loaded ? F02_hWnd : nullptr, F03_Loaded ? F03_hWnd : nullptr})
            if (w)
                SetNotTopMost(w);

        const PrintTexts texts = printTexts(m_kind);
        const GridPrintJob job(*m_model, shownColumns(), chosenRows(), horizontalHeader()->font(),
                               font(), texts);
        korvex::PrintPreviewRequest request;
        request.caption = texts.previewCaption;
        request.pageOf = texts.pageOf;
        request.printerName = m_printSettings.printerName;
        const QPageLayout pageLayout = m_printSettings.pageLayout();
        request.pageLayout = &pageLayout;
        request.paint = [&job](QPagedPaintDevice* device) { job.render(device); };
        request.pages = [&job](QPagedPaintDevice* device) { return job.pages(device); };
        if (!korvex::ui().printPreview(this, request)) {
            fail();
            return;
        }

        // In-front states come back in a fixed order: the main window, the
        // other list window, and last this one, which ends up in front.
        const bool search = m_kind == ResultKind::Search;
        SetTopMost(F01_hWnd, F01_TopMost);
        if (search ? F03_Loaded : F02_Loaded)
            SetTopMost(search ? F03_hWnd : F02_hWnd, search ? F03_TopMost : F02_TopMost);
        SetTopMost(search ? F02_hWnd : F03_hWnd, search ? F02_TopMost : F03_TopMost);
    } catch (const std::exception&) {
        fail();
    }
}

bool ResultGrid::exportCsv() {
    const QList<int> selected = chosenRows();
    if (rowCount() == 0) {
        korvex::ui().beep();
        return false;
    }
    korvex::SaveFileRequest request;
    request.title = QStringLiteral("CSV出力");
    request.fileName = m_kind == ResultKind::Search ? QStringLiteral("検索結果リスト.csv")
                                                    : QStringLiteral("置換結果リスト.csv");
    request.filters = {QStringLiteral("CSV ファイル (*.csv)"),
                       QStringLiteral("すべてのファイル (*)")};
    // Texts a spreadsheet would take for a formula go out quoted unless the
    // settings say otherwise.
    const bool guard =
        keys::readInt(keys::inSection(m_kind == ResultKind::Search ? keys::section::F02_Info
                                                                   : keys::section::F03_Info,
                                      keys::tool::Csv_Guard)) != 0;
    const int rows = selected.isEmpty() ? rowCount() : int(selected.size());
    request.note = (selected.isEmpty() ? QStringLiteral("一覧の全 %1 行を出力します。")
                                       : QStringLiteral("選択した %1 行を出力します。"))
                       .arg(rows);
    if (guard)
        request.note += QStringLiteral("\n=、+、-、@、タブ、改行で始まる値は、表計算ソフトが数式と"
                                       "みなさないよう先頭に ' を付けて出力します。");
    const QString path = korvex::ui().saveFile(this, request);
    if (path.isEmpty())
        return false;

    const QList<PrintColumn> columns = shownColumns();
    QStringList header;
    for (const PrintColumn& c : columns)
        header << m_model->headerData(c.modelColumn, Qt::Horizontal).toString();
    QString error;
    const bool ok = writeCsvFile(
        path, header, rows,
        [&](int i) {
            const int row = selected.isEmpty() ? i : selected.at(i);
            QStringList fields;
            for (const PrintColumn& c : columns)
                fields << (guard ? formulaSafe(m_model->text(row, c.modelColumn))
                                 : m_model->text(row, c.modelColumn));
            return fields;
        },
        &error);
    if (!ok) {
        qWarning("Korvex: cannot write %s: %s", qPrintable(path), qPrintable(error));
        Korvex_M01::ShowMsg(m_kind == ResultKind::Search ? QStringLiteral("E_F02_004")
                                                         : QStringLiteral("E_F03_004"),
                            window());
    }
    return ok;
}

} // namespace korvex::findreplace
