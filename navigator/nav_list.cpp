#include "nav_list.h"

#include "list_widgets.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QSignalBlocker>

NavList::NavList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    connect(this, &QListWidget::currentRowChanged, this, &NavList::onCurrentRowChanged);
    connect(this, &QListWidget::itemClicked, this, &NavList::onItemClicked);
    connect(this, &QListWidget::itemSelectionChanged, this, &NavList::keepCurrentSelected);
}

QString NavList::currentText() const {
    const QListWidgetItem* item = currentItem();
    return item ? item->text() : QString();
}

QStringList NavList::entries() const {
    return korvex::listEntries(this);
}

void NavList::fill(const QStringList& names) {
    m_quiet = true;
    clear();
    addItems(names);
    setCurrentRow(-1);
    m_quiet = false;
}

void NavList::clearEntries() {
    m_quiet = true;
    clear();
    m_quiet = false;
}

void NavList::setCurrentByProgram(int row) {
    if (row < 0 || row >= count()) {
        m_quiet = true;
        setCurrentRow(-1);
        clearSelection();
        m_quiet = false;
        return;
    }
    if (row == currentRow()) {
        // Choosing the entry that is already current still counts as a click.
        setCurrentRow(row);
        emit listClicked();
        return;
    }
    setCurrentRow(row); // raises listClicked through onCurrentRowChanged
}

void NavList::onCurrentRowChanged(int row) {
    if (m_quiet || row < 0)
        return;
    m_changedSincePress = true;
    emit listClicked();
}

void NavList::onItemClicked(QListWidgetItem*) {
    // A click that changed the entry has already been reported.
    if (!m_changedSincePress)
        emit listClicked();
}

QItemSelectionModel::SelectionFlags NavList::selectionCommand(const QModelIndex& index,
                                                              const QEvent* event) const {
    // Nothing under the pointer: the selection stays as it is.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    // Ctrl+click and Ctrl+Space would take the highlight off the current entry.
    if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        command = QItemSelectionModel::ClearAndSelect;
    return command;
}

void NavList::keepCurrentSelected() {
    // Whatever route took the highlight away, the current entry gets it back.
    QListWidgetItem* current = currentItem();
    if (current && !current->isSelected()) {
        const QSignalBlocker quiet(this);
        current->setSelected(true);
        viewport()->update();
    }
}

void NavList::focusInEvent(QFocusEvent* event) {
    // Skip the item view's habit of making the first entry current on focus.
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

bool NavList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        m_changedSincePress = false;
        if (mouse->button() == Qt::RightButton) {
            emit rightButtonPressed(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QListWidget::viewportEvent(event);
}
