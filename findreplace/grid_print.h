#pragma once
// The print-out of a result list: the list's title in italics at the top of each
// page, the column headings repeated on every page, the rows (merged names shown
// once per run and page, as on screen) and the page number centred at the foot.
// Columns share the page's width by what they hold: a time stamp or an address
// keeps its whole width, longer texts wrap within their row. Pages are laid out
// a piece at a time, so that a preview of a long list opens at once.

#include "dialog_seam.h"
#include "result_table.h"

#include <QFont>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QPagedPaintDevice;

namespace korvex::findreplace {

class ResultModel;

// The fixed texts of a list's preview and print-out.
struct PrintTexts {
    QString previewCaption; // "Korvex 検索 印刷ﾌﾟﾚﾋﾞｭｰ"
    QString pageOf;         // "ﾍﾟｰｼﾞ %1 / %2": the preview's page indicator
    QString header;         // "《検索結果リスト》", printed in italics
    QString footer;         // "- %1 / %2 -", centred
};
PrintTexts printTexts(ResultKind kind);

struct PrintColumn {
    int modelColumn;
    int width; // on screen, px (the order and choice of columns come from the grid)
    bool merged;
};

class GridPrintJob {
public:
    // rows: the model rows to print in order; empty prints every row.
    GridPrintJob(const ResultModel& model, QList<PrintColumn> columns, QList<int> rows,
                 QFont headingFont, QFont bodyFont, PrintTexts texts);

    // Paints every page on the device (a printer, a PDF file) and returns the
    // number of pages; 0 when nothing could be painted or goOn, told how far
    // the work has come (0 to 1), answered false.
    int render(QPagedPaintDevice* device,
               const std::function<bool(double progress)>& goOn = {}) const;
    // The pages for the device, laid out on demand. The job and the device
    // must outlive them.
    std::unique_ptr<korvex::PagedDocument> pages(QPagedPaintDevice* device) const;
    // Rows of one line each that fit on one page of the device.
    int rowsPerPage(QPagedPaintDevice* device) const;

private:
    friend class GridPages;
    int rowCount() const;
    int modelRow(int i) const;

    const ResultModel& m_model;
    QList<PrintColumn> m_columns;
    QList<int> m_rows;
    QFont m_headingFont;
    QFont m_bodyFont;
    PrintTexts m_texts;
};

} // namespace korvex::findreplace
