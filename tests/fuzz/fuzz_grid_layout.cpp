// The grid layout file with any bytes in it. Reading never fails; a layout
// that was read is written back and reads again as the same columns, merges
// and colour.

#include "fuzz_support.h"
#include "grid_layout.h"

#include <QGuiApplication>

using korvex::findreplace::GridLayout;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Fonts need the application object; nothing is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = korvex::fuzz::scratchFile("layout.grx");
    korvex::fuzz::writeScratch(path, data, size);
    const QString name = QStringLiteral("Korvex_F02");

    const std::optional<GridLayout> layout = korvex::findreplace::readGridLayout(path, name);
    (void)korvex::findreplace::readGridLayout(path, QStringLiteral("Korvex_F03"));
    if (!layout)
        return 0;
    KORVEX_FUZZ_CHECK(korvex::findreplace::writeGridLayout(path, name, *layout));
    const std::optional<GridLayout> back = korvex::findreplace::readGridLayout(path, name);
    KORVEX_FUZZ_CHECK(back.has_value());
    KORVEX_FUZZ_CHECK(back->columns.size() == layout->columns.size());
    for (qsizetype i = 0; i < back->columns.size(); ++i) {
        KORVEX_FUZZ_CHECK(back->columns[i].field == layout->columns[i].field);
        KORVEX_FUZZ_CHECK(back->columns[i].widthTwips == layout->columns[i].widthTwips);
        KORVEX_FUZZ_CHECK(back->columns[i].shown == layout->columns[i].shown);
    }
    KORVEX_FUZZ_CHECK(back->mergedFields == layout->mergedFields);
    KORVEX_FUZZ_CHECK(back->textColor == layout->textColor);
    KORVEX_FUZZ_CHECK(back->headingFont.has_value() == layout->headingFont.has_value());
    KORVEX_FUZZ_CHECK(back->bodyFont.has_value() == layout->bodyFont.has_value());
    return 0;
}
