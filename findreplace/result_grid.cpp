#include "result_grid.h"

#include "grid_delegates.h"
#include "grid_layout.h"
#include "messages.h"
#include "replace_log.h"
#include "result_model.h"
#include "twips.h"
#include "ui_seam.h"
#include "work_database.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <set>

namespace korvex::findreplace {

ResultGrid::ResultGrid(ResultKind kind, Korvex_C01& db, QWidget* parent)
    : QTableView(parent), m_kind(kind), m_db(db), m_model(std::make_unique<ResultModel>(kind, db)),
      m_linkage(std::make_unique<GridLinkage>()) {
    setObjectName(kind == ResultKind::Search   ? QStringLiteral("Search_Grid")
                  : kind == ResultKind::Folder ? QStringLiteral("Folder_Grid")
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
    static const int kFolderWidths[] = {4200, 1200, 800, 1500, 2000, 2500};
    const int* widths = kind == ResultKind::Search   ? kSearchWidths
                        : kind == ResultKind::Folder ? kFolderWidths
                                                     : kReplaceWidths;
    for (int c = 0; c < m_model->columnCount(); ++c)
        setColumnWidth(c, korvex::toPixels(widths[c]));

    // A run's text moves to the top row as the list scrolls.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_delegate->merged[0] || m_delegate->merged[1])
            viewport()->update();
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (m_linkage->clicked(selectedRowCount(), rowCount(), hitAt(index.row())))
            emit officeMoved();
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
    return (listsSearches(m_kind) ? QStringLiteral("E_F02_") : QStringLiteral("E_F03_")) +
           QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
}

void ResultGrid::showLater(int number, const QStringList& args) {
    // Never from inside the edit being committed: a box taking the focus
    // there would commit the same edit a second time.
    QTimer::singleShot(0, this,
                       [this, id = messageId(number), args] { Korvex_M01::ShowMsg(id, args); });
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
    HitAddress hit{m_model->text(row, 0), m_model->text(row, 1), m_model->text(row, 2), {}};
    // A folder search row keeps its book's file, or the name of a book that
    // was never saved.
    if (m_kind == ResultKind::Folder && QDir::isAbsolutePath(hit.book))
        hit.file = hit.book;
    return hit;
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
            setColumnWidth(logical, std::max(1, korvex::toPixels(c.widthTwips)));
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
        c.widthTwips = korvex::toTwips(isColumnHidden(logical) ? h->sectionSize(logical)
                                                               : columnWidth(logical));
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
        if (m_linkage->currentRowChanged(selectedRowCount(), rowCount(), hitAt(current.row())))
            emit officeMoved();
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
        Korvex_M01::ShowMsg(messageId(10));
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
        Korvex_M01::ShowMsg(messageId(10));
    setFocus();
}

void ResultGrid::undoDelete() {
    const ResultModel::Undone undone = m_model->undoDeletion();
    switch (undone.outcome) {
    case ResultModel::Undone::Nothing:
        korvex::ui().beep();
        return;
    case ResultModel::Undone::Failed:
        Korvex_M01::ShowMsg(messageId(11));
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

} // namespace korvex::findreplace
