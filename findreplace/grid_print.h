#pragma once
// The print-out of a result list: the list's title in italics at the top of each
// page, the column headings repeated on every page, the rows (merged names shown
// once per run and page, as on screen) and the page number centred at the foot.

#include "result_table.h"

#include <QFont>
#include <QList>
#include <QString>

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
    int width; // on screen, px; scaled to the page
    bool merged;
};

class GridPrintJob {
public:
    // rows: the model rows to print in order; empty prints every row.
    GridPrintJob(const ResultModel& model, QList<PrintColumn> columns, QList<int> rows,
                 QFont headingFont, QFont bodyFont, PrintTexts texts);

    // Paints every page on the device (a preview's printer, a real one, a PDF
    // file) and returns the number of pages.
    int render(QPagedPaintDevice* device) const;
    // Rows that fit on one page of the device.
    int rowsPerPage(QPagedPaintDevice* device) const;

private:
    struct Metrics;
    Metrics metrics(QPagedPaintDevice* device) const;
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
