#include "print_settings.h"

#include <QList>
#include <QLocale>
#include <QSizeF>

#include <cmath>

namespace korvex {
namespace {

const QByteArray kMagic("korvex-print/1");

// Printer names are short; the cap (at most 1,024 bytes in UTF-8) keeps the
// whole block well inside one PrnFile record whatever a driver reports.
constexpr qsizetype kMaxPrinterNameChars = 256;

// A printer name as the block holds it: on one line, in what UTF-8 can carry,
// within the cap. Reading and writing both go through it, so a name read
// from a file is already the name the file will hold when written back.
QString storableName(QString name) {
    name.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    name = QString::fromUtf8(name.toUtf8()); // a lone surrogate becomes U+FFFD
    if (name.size() > kMaxPrinterNameChars) {
        name.truncate(kMaxPrinterNameChars);
        if (name.back().isHighSurrogate())
            name.chop(1);
    }
    return name.trimmed();
}

// The shortest text that reads back as the very same number: a margin chosen
// in points (10 pt = 3.5277... mm) must come back as it was chosen.
QByteArray mm(double v) {
    return QByteArray::number(v, 'f', QLocale::FloatingPointShortest);
}

std::optional<double> parseMm(const QByteArray& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < 0 || v > 10000)
        return std::nullopt;
    return v;
}

std::optional<QPageSize::PageSizeId> idFromKey(const QByteArray& key) {
    const QString k = QString::fromUtf8(key).trimmed();
    for (int i = 0; i <= int(QPageSize::LastPageSize); ++i) {
        const auto id = static_cast<QPageSize::PageSizeId>(i);
        if (id != QPageSize::Custom && QPageSize::key(id).compare(k, Qt::CaseInsensitive) == 0)
            return id;
    }
    return std::nullopt;
}

} // namespace

QPageLayout PrintSettings::pageLayout() const {
    return QPageLayout(pageSize, orientation, marginsMm, QPageLayout::Millimeter);
}

QByteArray PrintSettings::toBlock() const {
    const QByteArray name = storableName(printerName).toUtf8();
    const QSizeF size = pageSize.size(QPageSize::Millimeter);
    QByteArray out = kMagic + '\n';
    out += "printer=" + name + '\n';
    out += "page=" +
           (pageSize.id() == QPageSize::Custom ? QByteArray("Custom")
                                               : QPageSize::key(pageSize.id()).toUtf8()) +
           '\n';
    out += "size=" + mm(size.width()) + 'x' + mm(size.height()) + '\n';
    out += QByteArray("orientation=") +
           (orientation == QPageLayout::Landscape ? "landscape" : "portrait") + '\n';
    out += "margins=" + mm(marginsMm.left()) + ',' + mm(marginsMm.top()) + ',' +
           mm(marginsMm.right()) + ',' + mm(marginsMm.bottom()) + '\n';
    return out;
}

std::optional<PrintSettings> PrintSettings::fromBlock(const QByteArray& block) {
    const QList<QByteArray> lines = block.split('\n');
    if (lines.isEmpty() || lines.front().trimmed() != kMagic)
        return std::nullopt;
    PrintSettings s;
    std::optional<QPageSize::PageSizeId> id;
    std::optional<QSizeF> customSize;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1);
        if (key == "printer") {
            s.printerName = storableName(QString::fromUtf8(value));
        } else if (key == "page") {
            id = idFromKey(value);
        } else if (key == "size") {
            const QList<QByteArray> wh = value.split('x');
            if (wh.size() == 2) {
                const auto w = parseMm(wh.at(0));
                const auto h = parseMm(wh.at(1));
                if (w && h && *w > 0 && *h > 0)
                    customSize = QSizeF(*w, *h);
            }
        } else if (key == "orientation") {
            s.orientation =
                value.trimmed() == "landscape" ? QPageLayout::Landscape : QPageLayout::Portrait;
        } else if (key == "margins") {
            const QList<QByteArray> m = value.split(',');
            if (m.size() == 4) {
                const auto l = parseMm(m.at(0));
                const auto t = parseMm(m.at(1));
                const auto r = parseMm(m.at(2));
                const auto b = parseMm(m.at(3));
                if (l && t && r && b)
                    s.marginsMm = QMarginsF(*l, *t, *r, *b);
            }
        }
    }
    if (id)
        s.pageSize = QPageSize(*id);
    else if (customSize)
        s.pageSize = QPageSize(*customSize, QPageSize::Millimeter);
    return s;
}

bool PrintSettings::operator==(const PrintSettings& o) const {
    return printerName == o.printerName && pageSize.isEquivalentTo(o.pageSize) &&
           orientation == o.orientation && marginsMm == o.marginsMm;
}

} // namespace korvex
