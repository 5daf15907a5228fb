#pragma once
// The result grid's painting helpers: the cell painter that merges equal
// neighbouring names, the row headings, and the arithmetic that places rows
// without adding up the heights of all the rows before them.

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <functional>

namespace korvex::findreplace {

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
               const QModelIndex& index) const override;

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

    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& old) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

private:
    mutable QSize m_hint;
    mutable bool m_hintEmpty = true;
};

} // namespace korvex::findreplace
