#pragma once
// Stands in for the result grid until the grid component is built in: the
// operations the window calls, without rows, layouts or printing.

#include <QColor>
#include <QFont>
#include <QTableView>

namespace korvex::findreplace {

class GridPlaceholder : public QTableView {
    Q_OBJECT
public:
    explicit GridPlaceholder(QWidget* parent = nullptr) : QTableView(parent) {}
    bool bind() { return true; }
    void loadLayout(const QString&, const QString&) {}
    void saveLayout(const QString&, const QString&) {}
    bool columnMerged(int column) const { return column >= 0 && column < 2 && m_merged[column]; }
    void setColumnMerged(int column, bool on) {
        if (column >= 0 && column < 2)
            m_merged[column] = on;
    }
    void applyFont(const QFont& font, const QColor&) { setFont(font); }
    void setLinkage(bool) {}
    void setGridActive(bool) {}
    void disarm() {}
    void moveToLast() {}
    void deleteAll() {}
    void deleteBefore() {}
    void deleteAfter() {}
    void deleteSelected() {}
    void printSetup() {}
    void print() {}

private:
    bool m_merged[2] = {false, false};
};

} // namespace korvex::findreplace
