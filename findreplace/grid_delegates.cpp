#include "grid_delegates.h"

#include <QEvent>
#include <QPainter>

namespace korvex::findreplace {

void MergeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const int row = index.row();
    const int col = index.column();
    bool sameAsBelow = false;
    if (isMerged(col)) {
        const QAbstractItemModel* m = index.model();
        const QString text = opt.text;
        const bool sameAsAbove = row > 0 && m->index(row - 1, col).data().toString() == text;
        sameAsBelow = row + 1 < m->rowCount() && m->index(row + 1, col).data().toString() == text;
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

QSize RowHeader::sizeHint() const {
    const bool empty = count() == 0;
    if (!m_hint.isValid() || empty != m_hintEmpty) {
        m_hint = QHeaderView::sizeHint();
        m_hintEmpty = empty;
    }
    return m_hint;
}

void RowHeader::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_hint = QSize();
    QHeaderView::changeEvent(event);
}

void RowHeader::currentChanged(const QModelIndex& current, const QModelIndex& old) {
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

QRegion RowHeader::visualRegionForSelection(const QItemSelection& selection) const {
    const UniformRows rows{this};
    if (!rows.hold())
        return QHeaderView::visualRegionForSelection(selection);
    QRegion region;
    for (const QItemSelectionRange& r : selection)
        if (r.isValid() && r.parent() == rootIndex())
            region += rows.band(r.top(), r.bottom(), viewport()->width(), viewport()->height());
    return region;
}

} // namespace korvex::findreplace
