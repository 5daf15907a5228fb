#pragma once
// The result grids' print settings kept in PrnFile: one fixed-size record
// holding an opaque settings block.

#include <QByteArray>

namespace Korvex_M01 {

// Anything that can hand over and take back an opaque printer-settings block.
class PrintSettingsHolder {
public:
    virtual ~PrintSettingsHolder() = default;
    virtual QByteArray printerSettings() const = 0;
    virtual void setPrinterSettings(const QByteArray& block) = 0;
};
void PrintSetting(bool load, PrintSettingsHolder& grid);
void ClearPrintSetting(PrintSettingsHolder& grid);

} // namespace Korvex_M01
