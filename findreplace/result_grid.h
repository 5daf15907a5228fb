#pragma once
// ResultGrid: the result list of the search window (Search_Grid over w_sort) and
// of the replace window (Replace_Grid over w_replace).
//
// The grid shows its table in insertion order, one row per occurrence, and is
// built for lists users keep for months: a million rows open at once and scroll
// smoothly, because rows are fetched a page at a time as they come into view,
// and a new row, an edit or a deletion of chosen rows touches only those rows.
//
// What it does for its window:
//   - binding and the row writer (bind, addResultRow, addResultRows);
//   - the grid-to-host linkage: GoToHit on a row change or the first click,
//     armed by GridActive and switched by Xls_Active (setLinkage); the
//     spreadsheet's window is never brought to the front;
//   - write-back of an edited result text into its cell, only where the cell
//     still holds what the row recorded; otherwise (and for an empty text) the
//     edit is undone and the user told why. The other columns are read-only:
//     they say which cell a row stands for;
//   - the current row is where the user stands and is never taken for a
//     chosen row: commands on "the selected rows" act on the rows the user
//     chose, print and export on the whole list when none is chosen;
//   - merging of equal neighbouring names in columns 0 (book) and 1 (sheet);
//   - fonts (applyFont), stored layouts (.grx), print preview and page setup
//     (.prn), CSV export, and the list maintenance commands, every deletion
//     of which can be undone until Korvex ends.
//
// The window owns the menus and calls the slots below from them; the grid shows
// no menu of its own (a right click asks the window for its font menu through
// fontMenuRequested). Every command that finds nothing to act on beeps through
// the dialog seam.

#include "grid_linkage.h"
#include "print_settings.h"
#include "print_settings_file.h"
#include "result_model.h"
#include "result_table.h"

#include <QColor>
#include <QFont>
#include <QTableView>

#include <memory>

class Korvex_C01;

namespace korvex::findreplace {

class ResultModel;
class MergeDelegate;
struct PrintColumn;

class ResultGrid : public QTableView, public Korvex_M01::PrintSettingsHolder {
    Q_OBJECT
public:
    // objectName is "Search_Grid" or "Replace_Grid". The grid is empty and
    // unbound until bind().
    ResultGrid(ResultKind kind, Korvex_C01& db, QWidget* parent = nullptr);
    ~ResultGrid() override;

    ResultKind kind() const { return m_kind; }
    ResultModel* resultModel() const { return m_model.get(); }
    GridLinkage& linkage() const { return *m_linkage; }

    // --- binding and the row writer -------------------------------------------

    // Opens the window's table ("select * from w_sort;" / "... w_replace;") and
    // shows its rows in insertion order. False when the table cannot be read
    // (the grid is then empty); call CreateResultTable first.
    bool bind();
    bool isBound() const;
    int rowCount() const;

    // Stores one occurrence (address and value read from the host, the clock
    // read now) and shows it at once as the current row; with the linkage armed
    // that moves the spreadsheet's cursor to it. HostError from reading the hit
    // and std::runtime_error from the database propagate, nothing stored then.
    void addResultRow(const QString& book, const QString& sheet, const host::RangePtr& hit,
                      qint32 seqNo, const QString& search, const QString& replace = QString());
    // Stores many rows in one transaction (all or none) and shows them; the last
    // becomes the current row, and the linkage, when armed, sends the host's
    // cursor to its cell: that is how a one-by-one search shows what it found.
    // An all-at-once run passes false: sending the cursor after every batch of
    // rows would be one trip to the office each time.
    void addResultRows(const QList<ResultRow>& rows, bool moveHostCursor = true);

    // --- layout ---------------------------------------------------------------

    // Applies the layout stored in grxFile under windowName (column order,
    // widths, shown columns, merging, fonts). A missing, damaged or foreign file,
    // or one without that name, leaves the current layout; never fails.
    void loadLayout(const QString& grxFile, const QString& windowName);
    // Stores the current layout under windowName, keeping the file's other
    // layouts; the file is replaced atomically. False when it cannot be written.
    bool saveLayout(const QString& grxFile, const QString& windowName) const;
    // Merging of equal neighbouring cells; only columns 0 and 1 can merge.
    bool columnMerged(int column) const;
    void setColumnMerged(int column, bool on);

    // Heading and body fonts and the text colour (the window's list font).
    void applyFont(const QFont& font, const QColor& color);
    QColor textColor() const;

    // --- linkage --------------------------------------------------------------

    // Xls_Active: switching it on also arms the linkage (GridActive := true).
    void setLinkage(bool on);
    bool linkageOn() const;
    // GridActive: false after bind; an all-at-once run disarms it, a one-by-one
    // run and the first click arm it.
    void setGridActive(bool on);
    bool gridActive() const;
    void disarm() { setGridActive(false); }
    // Moves the spreadsheet to the current row's cell; false (nothing done) when
    // its book or sheet is not open or the host is gone.
    bool goToHit();
    // Makes the newest row current without moving the spreadsheet's cursor.
    void moveToLast();
    // The window was activated: while the linkage is not armed, the newest row
    // becomes current.
    void windowActivated();

    // --- maintenance, printing, export ----------------------------------------

    // Settings block for the print-settings file (PrintSetting / ClearPrintSetting).
    QByteArray printerSettings() const override;
    void setPrinterSettings(const QByteArray& block) override;
    korvex::PrintSettings printSettings() const { return m_printSettings; }

public slots:
    void deleteAll();      // 全Row削除
    void deleteBefore();   // Row以前削除: strictly before the current row's key
    void deleteAfter();    // Row以降削除: strictly after the current row's key
    void deleteSelected(); // 選択Row削除 and the Delete key
    void undoDelete();     // 元に戻す: the rows of the last deletion not yet undone
    void printSetup();     // 印刷設定: page-setup dialog, then stored in the .prn file
    void print();          // 印刷(&P): preview of the selected rows, or of all
    bool exportCsv();      // CSV出力(&C)...: selected rows or all, via a save dialog

signals:
    // The office's cursor went to the current row's cell, by a click or a
    // move of the current row: the office may have come forward over Korvex.
    void officeMoved();
    // Right click on the grid: the window shows its context menu reduced to the
    // font item, at this global position.
    void fontMenuRequested(const QPoint& globalPos);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

public:
    // Rows are placed by arithmetic (see the source), never by adding up the
    // heights of all the rows before them.
    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    // Rows of the multiple selection: their number, and their row numbers in
    // ascending order.
    int selectedRowCount() const;
    QList<int> selectedRowNumbers() const;
    // The rows print and export take: those the user chose, ascending; empty
    // when none is chosen, which means the whole list.
    QList<int> chosenRows() const;

private:
    HitAddress hitAt(int row) const;
    bool rowsPlacedByArithmetic(const QModelIndex& index) const;
    QList<PrintColumn> shownColumns() const;
    void deleteByKey(bool before);
    void deleteRows(ResultModel::DeleteScope scope, const QString& key);
    void showFirstRow();
    // Moves the current row without choosing it.
    void makeCurrent(const QModelIndex& index);
    bool writeBack(int row, const QString& oldText, const QString& newText);
    QString messageId(int number) const;
    // Shows the window's message once the event at hand is done.
    void showLater(int number, const QStringList& args);
    // Widens 位置 to the widest address shown or added (never narrows it).
    void fitAddressColumn(const QList<ResultRow>& rows);
    void fitAddressColumnToTable();

    ResultKind m_kind;
    Korvex_C01& m_db;
    std::unique_ptr<ResultModel> m_model;
    std::unique_ptr<GridLinkage> m_linkage;
    bool m_appending =
        false; // rows being added by a run move the current row, not the host's cursor
    MergeDelegate* m_delegate = nullptr;
    korvex::PrintSettings m_printSettings;
    QColor m_textColor;
    int m_addressWidth = 0; // widest address painted or added so far, in pixels
};

} // namespace korvex::findreplace
