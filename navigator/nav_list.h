#pragma once
// A single-selection list whose "click" is raised for three things alike:
// the user's mouse or keyboard choice of an entry, a choice of the current
// entry made by the program, and a click on the entry that is already current.
// Filling or clearing the list raises nothing, and taking the focus never picks
// an entry by itself (an entry picked that way would bring a book forward in the
// host without the user asking).
//
// The current entry is what the commands act on (closing a book takes the
// current one), so it is always shown selected: a click on the empty area
// below the entries or a Ctrl+click on the current entry does not clear the
// highlight.

#include <QListWidget>

class NavList : public QListWidget {
    Q_OBJECT
public:
    explicit NavList(QWidget* parent = nullptr);

    // Current entry's text, or empty when there is none.
    QString currentText() const;
    QStringList entries() const;

    // Replaces every entry; raises no click and leaves no current entry.
    void fill(const QStringList& names);
    void clearEntries();
    // Makes the entry current as a user's click would, raising listClicked;
    // -1 leaves the list without a current entry and raises nothing.
    void setCurrentByProgram(int row);

signals:
    void listClicked();
    void rightButtonPressed(const QPoint& globalPos);

protected:
    void focusInEvent(QFocusEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    void onCurrentRowChanged(int row);
    void onItemClicked(QListWidgetItem* item);
    void keepCurrentSelected();

    bool m_quiet = false;
    bool m_changedSincePress = false;
};
