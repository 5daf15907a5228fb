#pragma once
// The result grids' printer settings as they are kept in PrnFile: a small,
// versioned text block independent of any printer driver, so that a settings
// file survives a change of printer or of machine.

#include <QByteArray>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

#include <optional>

namespace korvex {

struct PrintSettings {
    QString printerName; // empty: the system's default printer
    QPageSize pageSize{QPageSize::A4};
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF marginsMm{10, 10, 10, 10};

    QPageLayout pageLayout() const;

    // "korvex-print/1" followed by one "name=value" line per field.
    QByteArray toBlock() const;
    // Nothing when the block is empty or not one of ours; unknown lines are
    // skipped and unusable values fall back to the defaults above.
    static std::optional<PrintSettings> fromBlock(const QByteArray& block);

    bool operator==(const PrintSettings& o) const;
    bool operator!=(const PrintSettings& o) const { return !(*this == o); }
};

} // namespace korvex
