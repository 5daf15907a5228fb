#include "grid_print.h"

#include "app_state.h"
#include "messages.h"
#include "result_grid.h"
#include "result_model.h"
#include "ui_seam.h"

#include <QHeaderView>

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace korvex::findreplace {

PrintTexts printTexts(ResultKind kind) {
    const bool search = listsSearches(kind);
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

namespace {

// Rows read to size the columns: enough to see what a list holds, few enough
// for the first page of a long one to show at once. Whatever is longer wraps.
constexpr int SampleRows = 2000;

// The field a column of the model shows; empty for none.
QLatin1String fieldOf(ResultKind kind, int modelColumn) {
    const auto& columns = resultColumns(kind);
    if (modelColumn < 0 || modelColumn >= columns.size())
        return QLatin1String();
    return QLatin1String(columns.at(modelColumn).field);
}

// A time stamp or an address reads wrong when broken: such a column keeps the
// width of its widest text.
bool keepsWholeWidth(ResultKind kind, int modelColumn) {
    const QLatin1String field = fieldOf(kind, modelColumn);
    return field == QLatin1String("execute") || field == QLatin1String("range");
}

QString printable(QString text) {
    text.remove(u'\r');
    text.replace(u'\n', QChar::LineSeparator);
    return text;
}

} // namespace

// The pages of one job on one device. Rows are measured in order as the pages
// are asked for; only where each page starts is kept.
class GridPages : public korvex::PagedDocument {
public:
    GridPages(const GridPrintJob& job, QPagedPaintDevice* device);

    bool layOutMore(int budgetMs) override;
    bool complete() const override { return m_next >= m_rows; }
    int pagesKnown() const override {
        return complete() ? int(m_starts.size()) : int(m_starts.size()) - 1;
    }
    double progress() const override { return m_rows == 0 ? 1.0 : double(m_next) / m_rows; }
    void paintPage(QPainter& p, int index) override;

    int rowsPerPage() const { return std::max(1, m_bodyH / (m_pitch + 2 * m_pad)); }

private:
    void sizeColumns();
    // Lines of `text` within the column, drawn from `at` when a painter is given.
    int lines(const QString& text, int column, QPainter* painter = nullptr, QPointF at = {}) const;
    // Whether row i shows column c's text (a merged name shows once per run).
    bool shows(int i, int c, bool firstOnPage) const;
    int rowHeight(int i, bool firstOnPage) const;
    // The text's width as the sum of its characters' advances.
    int roughWidth(const QString& text) const;
    QString text(int i, int c) const {
        return m_job.m_model.text(m_job.modelRow(i), m_job.m_columns[c].modelColumn);
    }

    const GridPrintJob& m_job;
    QPagedPaintDevice* m_device;
    QRect m_area;
    QFont m_headerFont;
    QFont m_headingFont;
    QFontMetrics m_fmBody;
    int m_pad = 0;
    int m_pitch = 0;
    int m_headerH = 0;
    int m_headingH = 0;
    int m_footerH = 0;
    int m_bodyH = 0;
    QList<int> m_x;                                                     // column edges
    mutable std::vector<int> m_advance = std::vector<int>(0x10000, -1); // per character
    int m_rows = 0;
    std::vector<int> m_starts{0}; // first row of each page
    int m_next = 0;               // first row not yet measured
    int m_used = 0;               // height taken on the last page so far
};

GridPages::GridPages(const GridPrintJob& job, QPagedPaintDevice* device)
    : m_job(job), m_device(device), m_fmBody(job.m_bodyFont, device), m_rows(job.rowCount()) {
    const int dpi = device->logicalDpiY();
    const QRect page = device->pageLayout().paintRectPixels(dpi);
    m_area = QRect(0, 0, page.width(), page.height());
    m_headerFont = job.m_bodyFont;
    m_headerFont.setItalic(true);
    m_headingFont = job.m_headingFont;
    m_headingFont.setBold(true);
    m_pad = std::max(2, m_fmBody.height() / 5);
    m_pitch = m_fmBody.lineSpacing();
    m_headerH = QFontMetrics(m_headerFont, device).height() + m_pad * 2;
    m_headingH = QFontMetrics(m_headingFont, device).height() + m_pad * 2;
    m_footerH = m_fmBody.height() + m_pad * 2;
    m_bodyH = std::max(m_pitch + 2 * m_pad, m_area.height() - m_headerH - m_headingH - m_footerH);
    sizeColumns();
}

void GridPages::sizeColumns() {
    const auto& columns = m_job.m_columns;
    const int n = int(columns.size());
    const QFontMetrics fmHeading(m_headingFont, m_device);
    const ResultKind kind = m_job.m_model.kind();
    std::vector<int> natural(n), least(n);
    std::vector<bool> whole(size_t(n), false);
    const int sample = std::min(m_rows, SampleRows);
    for (int c = 0; c < n; ++c) {
        const int column = columns[c].modelColumn;
        whole[c] = keepsWholeWidth(kind, column);
        const QString caption = m_job.m_model.headerData(column, Qt::Horizontal).toString();
        int widest = fmHeading.horizontalAdvance(caption);
        // The widest a time stamp or an address can be, whatever the rows
        // looked at hold.
        const QLatin1String field = fieldOf(kind, column);
        if (field == QLatin1String("execute"))
            widest =
                std::max(widest, m_fmBody.horizontalAdvance(QStringLiteral("8888/88/88 88:88:88")));
        else if (field == QLatin1String("range"))
            widest = std::max(widest, m_fmBody.horizontalAdvance(QStringLiteral("XFD8888888")));
        for (int i = 0; i < sample; ++i)
            for (const QString& line : text(i, c).split(u'\n'))
                widest = std::max(widest, m_fmBody.horizontalAdvance(line));
        natural[c] = widest + 2 * m_pad + 2;
        least[c] = std::min(natural[c], std::max(fmHeading.horizontalAdvance(caption),
                                                 m_fmBody.averageCharWidth() * 4) +
                                            2 * m_pad + 2);
    }
    const int pageWidth = m_area.width();
    const long total = std::accumulate(natural.begin(), natural.end(), 0L);
    std::vector<int> width = natural;
    std::vector<int> flexible;
    for (int c = 0; c < n; ++c)
        if (!whole[c])
            flexible.push_back(c);
    if (total <= pageWidth) {
        // Room to spare: the wrapping columns take it, by what they hold.
        std::vector<int> share = flexible;
        if (share.empty()) {
            share.resize(size_t(n));
            std::iota(share.begin(), share.end(), 0);
        }
        long weight = 0;
        for (int c : share)
            weight += natural[c];
        const long extra = pageWidth - total;
        for (int c : share)
            width[c] += int(weight > 0 ? extra * natural[c] / weight : extra / long(share.size()));
    } else {
        // Too wide: whole-width columns keep theirs, the narrowest of the
        // others keep theirs while the rest share what is left and wrap.
        long left = pageWidth;
        for (int c = 0; c < n; ++c)
            if (whole[c])
                left -= natural[c];
        std::sort(flexible.begin(), flexible.end(),
                  [&](int a, int b) { return natural[a] < natural[b]; });
        long k = long(flexible.size());
        for (int c : flexible) {
            const long share = std::max(0L, left) / std::max(1L, k);
            width[c] = int(std::max<long>(least[c], std::min<long>(natural[c], share)));
            left -= width[c];
            --k;
        }
        const long sum = std::accumulate(width.begin(), width.end(), 0L);
        if (sum > pageWidth) // even the least does not fit: everything shrinks alike
            for (int& w : width)
                w = int(long(w) * pageWidth / sum);
    }
    m_x = {0};
    for (int c = 0; c < n; ++c)
        m_x << m_x.back() + width[c];
    if (n > 0)
        m_x.back() = std::min(m_x.back(), pageWidth);
}

int GridPages::roughWidth(const QString& text) const {
    int width = 0;
    for (const QChar ch : text) {
        if (ch.isSurrogate()) {
            width += m_fmBody.maxWidth();
            continue;
        }
        int& advance = m_advance[ch.unicode()];
        if (advance < 0)
            advance = m_fmBody.horizontalAdvance(ch);
        width += advance;
    }
    return width;
}

int GridPages::lines(const QString& raw, int c, QPainter* painter, QPointF at) const {
    const int width = m_x[c + 1] - m_x[c] - 2 * m_pad;
    if (!painter && !raw.contains(u'\n')) {
        // Measured character by character, with room for what kerning and
        // shaping change: most texts fit without being laid out.
        const int rough = roughWidth(raw);
        if (rough + rough / 32 + 1 <= width)
            return 1;
    }
    QTextLayout layout(printable(raw), m_job.m_bodyFont, m_device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int count = 0;
    const int most = std::max(1, m_bodyH / std::max(1, m_pitch));
    for (; count < most; ++count) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(std::max(1, width));
        line.setPosition(QPointF(0, count * m_pitch));
    }
    layout.endLayout();
    if (painter)
        layout.draw(painter, at);
    return std::max(1, count);
}

bool GridPages::shows(int i, int c, bool firstOnPage) const {
    return !m_job.m_columns[c].merged || firstOnPage || i == 0 || text(i - 1, c) != text(i, c);
}

int GridPages::rowHeight(int i, bool firstOnPage) const {
    int most = 1;
    for (int c = 0; c < m_job.m_columns.size(); ++c)
        if (shows(i, c, firstOnPage))
            most = std::max(most, lines(text(i, c), c));
    return std::min(m_bodyH, most * m_pitch + 2 * m_pad);
}

bool GridPages::layOutMore(int budgetMs) {
    QElapsedTimer clock;
    clock.start();
    while (m_next < m_rows) {
        int h = rowHeight(m_next, m_used == 0);
        if (m_used > 0 && m_used + h > m_bodyH) {
            m_starts.push_back(m_next);
            m_used = 0;
            h = rowHeight(m_next, true);
        }
        m_used += h;
        ++m_next;
        if ((m_next & 63) == 0 && clock.elapsed() >= budgetMs)
            break;
    }
    return complete();
}

void GridPages::paintPage(QPainter& p, int index) {
    if (index < 0 || index >= pagesKnown())
        return;
    const QColor line(Qt::gray);
    const auto& columns = m_job.m_columns;
    p.save();
    p.setPen(Qt::black);
    p.setFont(m_headerFont);
    p.drawText(QRect(0, 0, m_area.width(), m_headerH), Qt::AlignLeft | Qt::AlignVCenter,
               m_job.m_texts.header);

    p.setFont(m_headingFont);
    const QFontMetrics fmHeading(m_headingFont, m_device);
    for (int c = 0; c < columns.size(); ++c) {
        const QRect cell(m_x[c], m_headerH, m_x[c + 1] - m_x[c], m_headingH);
        p.fillRect(cell, QColor(235, 235, 235));
        p.setPen(line);
        p.drawRect(cell);
        p.setPen(Qt::black);
        const QString caption =
            m_job.m_model.headerData(columns[c].modelColumn, Qt::Horizontal).toString();
        p.drawText(cell.adjusted(m_pad, 0, -m_pad, 0), Qt::AlignCenter,
                   fmHeading.elidedText(caption, Qt::ElideRight, cell.width() - 2 * m_pad));
    }

    const int first = m_starts[size_t(index)];
    const int last = size_t(index) + 1 < m_starts.size() ? m_starts[size_t(index) + 1] : m_rows;
    int y = m_headerH + m_headingH;
    for (int i = first; i < last; ++i) {
        const int h = rowHeight(i, i == first);
        for (int c = 0; c < columns.size(); ++c) {
            // A merged name shows once per run, and again at the top of a page.
            const bool sameBelow =
                columns[c].merged && i + 1 < last && text(i + 1, c) == text(i, c);
            const QRect cell(m_x[c], y, m_x[c + 1] - m_x[c], h);
            p.setPen(line);
            p.drawLine(cell.topLeft(), cell.bottomLeft());
            p.drawLine(cell.topRight(), cell.bottomRight());
            if (!sameBelow)
                p.drawLine(cell.bottomLeft(), cell.bottomRight());
            if (shows(i, c, i == first)) {
                p.setPen(Qt::black);
                p.save();
                p.setClipRect(cell);
                lines(text(i, c), c, &p, QPointF(cell.left() + m_pad, cell.top() + m_pad));
                p.restore();
            }
        }
        y += h;
    }

    p.setPen(Qt::black);
    p.setFont(m_job.m_bodyFont);
    const QString count = complete() ? QString::number(m_starts.size()) : QStringLiteral("…");
    p.drawText(QRect(0, m_area.height() - m_footerH, m_area.width(), m_footerH), Qt::AlignCenter,
               m_job.m_texts.footer.arg(index + 1).arg(count));
    p.restore();
}

std::unique_ptr<korvex::PagedDocument> GridPrintJob::pages(QPagedPaintDevice* device) const {
    return std::make_unique<GridPages>(*this, device);
}

int GridPrintJob::rowsPerPage(QPagedPaintDevice* device) const {
    return GridPages(*this, device).rowsPerPage();
}

int GridPrintJob::render(QPagedPaintDevice* device, const std::function<bool(double)>& goOn) const {
    GridPages doc(*this, device);
    while (!doc.layOutMore(100))
        if (goOn && !goOn(doc.progress()))
            return 0;
    QPainter p;
    if (!p.begin(device))
        return 0;
    const int pages = doc.pagesKnown();
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            device->newPage();
        doc.paintPage(p, i);
        if (goOn && !goOn(1.0)) {
            p.end();
            return 0;
        }
    }
    p.end();
    return pages;
}

// --- the grid's print commands ------------------------------------------------------

QByteArray ResultGrid::printerSettings() const {
    return m_printSettings.toBlock();
}

void ResultGrid::setPrinterSettings(const QByteArray& block) {
    // An empty or unusable block means the defaults.
    m_printSettings = korvex::PrintSettings::fromBlock(block).value_or(korvex::PrintSettings{});
}

void ResultGrid::printSetup() {
    QPageLayout layout = m_printSettings.pageLayout();
    if (korvex::dialogs().pageSetup(this, layout, m_printSettings.printerName)) {
        m_printSettings.pageSize = layout.pageSize();
        m_printSettings.orientation = layout.orientation();
        m_printSettings.marginsMm = layout.margins(QPageLayout::Millimeter);
    }
    // Stored whether the dialog was confirmed or cancelled; a file that cannot
    // be written costs the user nothing but the stored settings.
    try {
        Korvex_M01::PrintSetting(false, *this);
    } catch (const std::exception& e) {
        qWarning("Korvex: %s", e.what());
    }
}

QList<PrintColumn> ResultGrid::shownColumns() const {
    QList<PrintColumn> columns;
    const QHeaderView* h = horizontalHeader();
    for (int v = 0; v < h->count(); ++v) {
        const int logical = h->logicalIndex(v);
        if (!isColumnHidden(logical))
            columns.append({logical, columnWidth(logical), columnMerged(logical)});
    }
    return columns;
}

void ResultGrid::print() {
    if (rowCount() == 0) {
        korvex::ui().beep();
        return;
    }
    using namespace Korvex_M01;
    const auto fail = [this] {
        try {
            ClearPrintSetting(*this);
        } catch (const std::exception& e) {
            qWarning("Korvex: %s", e.what());
        }
        ShowMsg(listsSearches(m_kind) ? QStringLiteral("E_F02_003") : QStringLiteral("E_F03_003"));
    };
    try {
        const PrintTexts texts = printTexts(m_kind);
        const GridPrintJob job(*m_model, shownColumns(), chosenRows(), horizontalHeader()->font(),
                               font(), texts);
        korvex::PrintPreviewRequest request;
        request.caption = texts.previewCaption;
        request.pageOf = texts.pageOf;
        request.printerName = m_printSettings.printerName;
        const QPageLayout pageLayout = m_printSettings.pageLayout();
        request.pageLayout = &pageLayout;
        request.paint = [&job](QPagedPaintDevice* device) { job.render(device); };
        request.pages = [&job](QPagedPaintDevice* device) { return job.pages(device); };
        // The band steps out for the preview, so that no window kept in front
        // hides it, and comes back with this grid's window on top.
        if (!korvex::dialogs().printPreview(this, request))
            fail();
    } catch (const std::exception&) {
        fail();
    }
}

} // namespace korvex::findreplace
