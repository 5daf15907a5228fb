#include "paged_preview.h"

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace korvex {

namespace {

// Width of a page's slice of layout work between two rounds of events.
constexpr int SliceMs = 30;

// The page in view, drawn from the document at the zoom asked for.
class PageCanvas : public QWidget {
public:
    PageCanvas(PagedDocument& doc, QPrinter& printer, QWidget* parent)
        : QWidget(parent), m_doc(doc), m_printer(printer) {
        const int dpi = printer.resolution();
        m_full = printer.pageLayout().fullRectPixels(dpi);
        m_paint = printer.pageLayout().paintRectPixels(dpi);
    }

    int page() const { return m_page; }
    void setPage(int page) {
        m_page = page;
        refresh();
    }
    double zoom() const { return m_zoom; }
    void setZoom(double zoom) {
        m_zoom = std::clamp(zoom, 0.02, 2.0);
        refresh();
    }
    // The zoom at which a page fills `room` across, or whole.
    double widthZoom(QSize room) const {
        return double(room.width() - 2 * Margin) / std::max(1, m_full.width());
    }
    double pageZoom(QSize room) const {
        return std::min(widthZoom(room),
                        double(room.height() - 2 * Margin) / std::max(1, m_full.height()));
    }
    // Draws the page again (its footer learns the page count once known).
    void refresh() {
        m_image = QImage();
        const QSize page(int(std::ceil(m_full.width() * m_zoom)),
                         int(std::ceil(m_full.height() * m_zoom)));
        setFixedSize(page + QSize(2 * Margin, 2 * Margin));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Dark));
        if (m_image.isNull())
            m_image = render();
        p.drawImage(Margin, Margin, m_image);
    }

private:
    static constexpr int Margin = 12;

    QImage render() const {
        const QSize size(int(std::ceil(m_full.width() * m_zoom)),
                         int(std::ceil(m_full.height() * m_zoom)));
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        // Fonts resolve at the printer's resolution, as when the page prints.
        const int dotsPerMeter = int(std::lround(m_printer.resolution() / 0.0254));
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        if (m_page < m_doc.pagesKnown()) {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::TextAntialiasing);
            p.scale(m_zoom, m_zoom);
            p.translate(m_paint.topLeft() - m_full.topLeft());
            m_doc.paintPage(p, m_page);
        }
        return image;
    }

    PagedDocument& m_doc;
    QPrinter& m_printer;
    QRect m_full;
    QRect m_paint;
    int m_page = 0;
    double m_zoom = 0.1;
    mutable QImage m_image;
};

} // namespace

void runPagedPreview(QWidget* parent, const PrintPreviewRequest& request, QPrinter& printer) {
    const std::unique_ptr<PagedDocument> doc = request.pages(&printer);
    if (!doc)
        return;
    QDialog dialog(parent);
    dialog.setWindowTitle(request.caption);
    dialog.setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto* bar = new QToolBar(&dialog);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* printAction = bar->addAction(QStringLiteral("印刷(&P)..."));
    bar->addSeparator();
    QAction* first = bar->addAction(QStringLiteral("|◀"));
    QAction* prev = bar->addAction(QStringLiteral("◀"));
    auto* pageLabel = new QLabel(bar);
    pageLabel->setObjectName(QStringLiteral("Preview_Page"));
    pageLabel->setMinimumWidth(pageLabel->fontMetrics().horizontalAdvance(request.pageOf.arg(
                                   QStringLiteral("000000"), QStringLiteral("000000"))) +
                               16);
    pageLabel->setAlignment(Qt::AlignCenter);
    bar->addWidget(pageLabel);
    QAction* next = bar->addAction(QStringLiteral("▶"));
    QAction* last = bar->addAction(QStringLiteral("▶|"));
    bar->addSeparator();
    QAction* zoomIn = bar->addAction(QStringLiteral("拡大(&+)"));
    QAction* zoomOut = bar->addAction(QStringLiteral("縮小(&-)"));
    QAction* fitWidth = bar->addAction(QStringLiteral("幅に合わせる(&W)"));
    QAction* fitPage = bar->addAction(QStringLiteral("ページ全体(&A)"));
    bar->addSeparator();
    auto* counting = new QProgressBar(bar);
    counting->setObjectName(QStringLiteral("Preview_Counting"));
    counting->setRange(0, 1000);
    counting->setFormat(QStringLiteral("ページ数 %p%"));
    counting->setMaximumWidth(120);
    QAction* countingItem = bar->addWidget(counting);
    QAction* stop = bar->addAction(QStringLiteral("中止(&S)"));
    bar->addSeparator();
    QAction* close = bar->addAction(QStringLiteral("閉じる(&C)"));

    auto* scroll = new QScrollArea(&dialog);
    scroll->setAlignment(Qt::AlignCenter);
    scroll->setBackgroundRole(QPalette::Dark);
    auto* canvas = new PageCanvas(*doc, printer, scroll);
    scroll->setWidget(canvas);

    // The room a page has across, its vertical scroll bar kept clear: a page
    // fitted to the width shows whole, without a horizontal bar.
    const auto room = [scroll] {
        QSize size = scroll->viewport()->size();
        if (!scroll->verticalScrollBar()->isVisible())
            size.rwidth() -= scroll->verticalScrollBar()->sizeHint().width();
        return size;
    };

    QTimer layout;
    layout.setInterval(0);
    bool stopped = false;
    const auto showState = [&] {
        const bool done = doc->complete();
        const int known = doc->pagesKnown();
        pageLabel->setText(request.pageOf.arg(canvas->page() + 1)
                               .arg(done ? QString::number(known) : QStringLiteral("…")));
        counting->setValue(int(doc->progress() * 1000));
        countingItem->setVisible(!done && !stopped);
        stop->setVisible(!done && !stopped);
        first->setEnabled(canvas->page() > 0);
        prev->setEnabled(canvas->page() > 0);
        next->setEnabled(canvas->page() + 1 < known);
        last->setEnabled(canvas->page() + 1 < known);
    };
    const auto go = [&](int page) {
        canvas->setPage(std::clamp(page, 0, std::max(0, doc->pagesKnown() - 1)));
        showState();
    };
    QObject::connect(&layout, &QTimer::timeout, &dialog, [&] {
        const bool before = doc->pagesKnown() > canvas->page();
        if (doc->layOutMore(SliceMs)) {
            layout.stop();
            canvas->refresh(); // the footer now shows the page count
        } else if (!before && doc->pagesKnown() > canvas->page()) {
            canvas->refresh();
        }
        showState();
    });
    QObject::connect(stop, &QAction::triggered, &dialog, [&] {
        stopped = true;
        layout.stop();
        showState();
    });
    QObject::connect(first, &QAction::triggered, &dialog, [&] { go(0); });
    QObject::connect(prev, &QAction::triggered, &dialog, [&] { go(canvas->page() - 1); });
    QObject::connect(next, &QAction::triggered, &dialog, [&] { go(canvas->page() + 1); });
    QObject::connect(last, &QAction::triggered, &dialog, [&] { go(doc->pagesKnown() - 1); });
    QObject::connect(zoomIn, &QAction::triggered, &dialog,
                     [&] { canvas->setZoom(canvas->zoom() * 1.25); });
    QObject::connect(zoomOut, &QAction::triggered, &dialog,
                     [&] { canvas->setZoom(canvas->zoom() / 1.25); });
    QObject::connect(fitWidth, &QAction::triggered, &dialog,
                     [&] { canvas->setZoom(canvas->widthZoom(room())); });
    QObject::connect(fitPage, &QAction::triggered, &dialog,
                     [&] { canvas->setZoom(canvas->pageZoom(scroll->viewport()->size())); });
    QObject::connect(close, &QAction::triggered, &dialog, &QDialog::accept);
    QObject::connect(printAction, &QAction::triggered, &dialog, [&] {
        QPrintDialog ask(&printer, &dialog);
        if (ask.exec() != QDialog::Accepted)
            return;
        // Laid out afresh: the print dialog may have changed the paper.
        const std::unique_ptr<PagedDocument> job = request.pages(&printer);
        QProgressDialog progress(QStringLiteral("印刷中..."), QStringLiteral("中止"), 0, 1000,
                                 &dialog);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(300);
        while (!job->layOutMore(SliceMs)) {
            progress.setValue(int(job->progress() * 500));
            if (progress.wasCanceled())
                return;
        }
        QPainter p;
        if (!p.begin(&printer))
            return;
        const int pages = job->pagesKnown();
        for (int i = 0; i < pages; ++i) {
            if (i > 0)
                printer.newPage();
            job->paintPage(p, i);
            progress.setValue(500 + int(500.0 * (i + 1) / pages));
            if (progress.wasCanceled()) {
                printer.abort();
                break;
            }
        }
        p.end();
        canvas->refresh();
    });

    auto* box = new QVBoxLayout(&dialog);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->addWidget(bar);
    box->addWidget(scroll, 1);
    dialog.resize(900, 700);
    doc->layOutMore(SliceMs); // the first page, at least, before the window shows
    while (doc->pagesKnown() == 0 && !doc->layOutMore(SliceMs)) {
    }
    canvas->setZoom(canvas->widthZoom(QSize(900 - 24, 600)));
    showState();
    QTimer::singleShot(0, &dialog, [&] { canvas->setZoom(canvas->widthZoom(room())); });
    layout.start();
    dialog.exec();
}

} // namespace korvex
