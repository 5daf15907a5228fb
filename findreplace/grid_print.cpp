#include "grid_print.h"

#include "result_model.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korvex::findreplace {

PrintTexts printTexts(ResultKind kind) {
    const bool search = kind == ResultKind::Search;
    return {search ? QStringLiteral("Korvex 検索 印刷ﾌﾟﾚﾋﾞｭｰ")
                   : QStringLiteral("Korvex 置換 印刷ﾌﾟﾚﾋﾞｭｰ"),
            QStringLiteral("ﾍﾟｰｼﾞ %1 / %2"),
            search ? QStringLiteral("《検索結果リスト》") : QStringLiteral("《置換結果リスト》"),
            QStringLiteral("- %1 / %2 -")};
}

GridPrintJob::GridPrintJob(const ResultModel& model, QList<PrintColumn> columns, QList<int> rows,
                           QFont headingFont, QFont bodyFont, PrintTexts texts)
    : m_model(model), m_columns(std::move(columns)), m_rows(std::move(rows)),
      m_headingFont(std::move(headingFont)), m_bodyFont(std::move(bodyFont)),
      m_texts(std::move(texts)) {}

int GridPrintJob::rowCount() const {
    return m_rows.isEmpty() ? m_model.rowCount() : int(m_rows.size());
}

int GridPrintJob::modelRow(int i) const {
    return m_rows.isEmpty() ? i : m_rows.at(i);
}

struct GridPrintJob::Metrics {
    int dpi;
    QRect area;
    QFont headerFont;
    QFont headingFont;
    int pad;
    int headerH;
    int headingH;
    int rowH;
    int footerH;
    int rowsPerPage;
};

GridPrintJob::Metrics GridPrintJob::metrics(QPagedPaintDevice* device) const {
    Metrics m;
    m.dpi = device->logicalDpiY();
    const QRect page = device->pageLayout().paintRectPixels(m.dpi);
    m.area = QRect(0, 0, page.width(), page.height());
    m.headerFont = m_bodyFont;
    m.headerFont.setItalic(true);
    m.headingFont = m_headingFont;
    m.headingFont.setBold(true);
    const QFontMetrics fmBody(m_bodyFont, device);
    m.pad = std::max(2, fmBody.height() / 5);
    m.headerH = QFontMetrics(m.headerFont, device).height() + m.pad * 2;
    m.headingH = QFontMetrics(m.headingFont, device).height() + m.pad * 2;
    m.rowH = fmBody.height() + m.pad * 2;
    m.footerH = fmBody.height() + m.pad * 2;
    m.rowsPerPage = std::max(1, (m.area.height() - m.headerH - m.headingH - m.footerH) / m.rowH);
    return m;
}

int GridPrintJob::rowsPerPage(QPagedPaintDevice* device) const {
    return metrics(device).rowsPerPage;
}

int GridPrintJob::render(QPagedPaintDevice* printer) const {
    const Metrics m = metrics(printer);
    QPainter p;
    if (!p.begin(printer))
        return 0;
    const QRect& area = m.area;
    const QFont& headerFont = m.headerFont;
    const QFont& headingFont = m.headingFont;
    const QFontMetrics fmHeading(headingFont, printer);
    const QFontMetrics fmBody(m_bodyFont, printer);
    const int pad = m.pad;
    const int headerH = m.headerH;
    const int headingH = m.headingH;
    const int rowH = m.rowH;
    const int footerH = m.footerH;

    // Columns keep the proportions they have on screen, sized so that what
    // fits a column on screen fits it on paper, and shrunk as a whole when the
    // list is wider than the page.
    double screenTotal = 0;
    for (const PrintColumn& c : m_columns)
        screenTotal += std::max(1, c.width);
    const QString sample = QStringLiteral("2000/01/31 09:05:07");
    const double onScreen = QFontMetrics(m_bodyFont).horizontalAdvance(sample);
    double scale = onScreen > 0 ? fmBody.horizontalAdvance(sample) / onScreen : m.dpi / 96.0;
    if (screenTotal * scale > area.width())
        scale = area.width() / std::max(1.0, screenTotal);
    QList<int> x{0};
    for (const PrintColumn& c : m_columns)
        x << x.back() + int(std::lround(std::max(1, c.width) * scale));

    const int bodyTop = headerH + headingH;
    const int rowsPerPage = m.rowsPerPage;
    const int rows = rowCount();
    const int pages = std::max(1, (rows + rowsPerPage - 1) / rowsPerPage);
    const QColor line(Qt::gray);

    for (int pg = 0; pg < pages; ++pg) {
        if (pg > 0)
            printer->newPage();
        p.setPen(Qt::black);
        p.setFont(headerFont);
        p.drawText(QRect(0, 0, area.width(), headerH), Qt::AlignLeft | Qt::AlignVCenter,
                   m_texts.header);

        p.setFont(headingFont);
        for (int c = 0; c < m_columns.size(); ++c) {
            const QRect cell(x[c], headerH, x[c + 1] - x[c], headingH);
            p.fillRect(cell, QColor(235, 235, 235));
            p.setPen(line);
            p.drawRect(cell);
            p.setPen(Qt::black);
            const QString caption =
                m_model.headerData(m_columns[c].modelColumn, Qt::Horizontal).toString();
            p.drawText(cell.adjusted(pad, 0, -pad, 0), Qt::AlignCenter,
                       fmHeading.elidedText(caption, Qt::ElideRight, cell.width() - 2 * pad));
        }

        p.setFont(m_bodyFont);
        const int first = pg * rowsPerPage;
        const int last = std::min(rows, first + rowsPerPage);
        for (int i = first; i < last; ++i) {
            const int row = modelRow(i);
            const int y = bodyTop + (i - first) * rowH;
            for (int c = 0; c < m_columns.size(); ++c) {
                const PrintColumn& col = m_columns[c];
                const QString text = m_model.text(row, col.modelColumn);
                // A merged name shows once per run, and again at the top of a page.
                const bool sameAbove = col.merged && i > first &&
                                       m_model.text(modelRow(i - 1), col.modelColumn) == text;
                const bool sameBelow = col.merged && i + 1 < last &&
                                       m_model.text(modelRow(i + 1), col.modelColumn) == text;
                const QRect cell(x[c], y, x[c + 1] - x[c], rowH);
                p.setPen(line);
                p.drawLine(cell.topLeft(), cell.bottomLeft());
                p.drawLine(cell.topRight(), cell.bottomRight());
                if (!sameBelow)
                    p.drawLine(cell.bottomLeft(), cell.bottomRight());
                if (!sameAbove) {
                    p.setPen(Qt::black);
                    p.drawText(cell.adjusted(pad, 0, -pad, 0), Qt::AlignLeft | Qt::AlignVCenter,
                               fmBody.elidedText(text, Qt::ElideRight, cell.width() - 2 * pad));
                }
            }
        }

        p.setPen(Qt::black);
        p.drawText(QRect(0, area.height() - footerH, area.width(), footerH), Qt::AlignCenter,
                   m_texts.footer.arg(pg + 1).arg(pages));
    }
    p.end();
    return pages;
}

} // namespace korvex::findreplace
