// The grid print-settings file with any bytes in it. Loading never fails: a
// usable record hands its block to the grid, anything else leaves the grid's
// settings and writes the file afresh. Whatever the grid took reads back the
// same from the file it left, and a block's settings survive being written.

#include "app_state.h"
#include "fuzz_support.h"
#include "print_settings.h"
#include "print_settings_file.h"

#include <optional>

namespace {

// A grid that keeps settings the way the result grid does.
class Grid : public Korvex_M01::PrintSettingsHolder {
public:
    QByteArray printerSettings() const override { return settings.toBlock(); }
    void setPrinterSettings(const QByteArray& block) override {
        ++handedIn;
        settings = korvex::PrintSettings::fromBlock(block).value_or(korvex::PrintSettings{});
    }
    korvex::PrintSettings settings;
    int handedIn = 0;
};

void checkRoundTrip(const QByteArray& block) {
    const std::optional<korvex::PrintSettings> s = korvex::PrintSettings::fromBlock(block);
    if (!s)
        return;
    const std::optional<korvex::PrintSettings> back =
        korvex::PrintSettings::fromBlock(s->toBlock());
    KORVEX_FUZZ_CHECK(back && *back == *s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = korvex::fuzz::scratchFile("grid.prn");
    Korvex_M01::PrnFile = path;
    korvex::fuzz::writeScratch(path, data, size);
    checkRoundTrip(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));

    Grid grid;
    Korvex_M01::PrintSetting(true, grid);
    checkRoundTrip(grid.printerSettings());

    // The file now holds what the grid has: a second load hands it back.
    Grid again;
    Korvex_M01::PrintSetting(true, again);
    KORVEX_FUZZ_CHECK(again.handedIn == 1);
    KORVEX_FUZZ_CHECK(again.settings == grid.settings);
    return 0;
}
