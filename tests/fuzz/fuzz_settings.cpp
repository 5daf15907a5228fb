// The settings file with any bytes in it, as a user or a damaged disk may
// leave it. Reads never fail, and a write changes exactly the value written:
// it reads back, and what other keys read is what they read before.

#include "fuzz_support.h"
#include "settings.h"

using korvex::IniFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = korvex::fuzz::scratchFile("settings.ini");
    korvex::fuzz::writeScratch(path, data, size);
    const IniFile ini(path);

    const QString top = ini.readString(QStringLiteral("Korvex_F01"), QStringLiteral("Top"),
                                       QStringLiteral("<none>"), 4096);
    const QString text = ini.readString(QStringLiteral("F02_Info"), QStringLiteral("S_Text"),
                                        QStringLiteral("<none>"), 4096);
    const int width = ini.readInt(QStringLiteral("korvex_f01"), QStringLiteral("WIDTH"), -7);
    KORVEX_FUZZ_CHECK(!text.contains(QChar(0)));

    KORVEX_FUZZ_CHECK(
        ini.write(QStringLiteral("Korvex_F01"), QStringLiteral("Left"), QStringLiteral("-1234")));
    KORVEX_FUZZ_CHECK(ini.readInt(QStringLiteral("Korvex_F01"), QStringLiteral("Left"), 0) ==
                      -1234);
    KORVEX_FUZZ_CHECK(ini.readString(QStringLiteral("Korvex_F01"), QStringLiteral("Top"),
                                     QStringLiteral("<none>"), 4096) == top);
    KORVEX_FUZZ_CHECK(ini.readString(QStringLiteral("F02_Info"), QStringLiteral("S_Text"),
                                     QStringLiteral("<none>"), 4096) == text);
    KORVEX_FUZZ_CHECK(ini.readInt(QStringLiteral("korvex_f01"), QStringLiteral("WIDTH"), -7) ==
                      width);

    // A value with Japanese text, blanks and a line break comes back as one line.
    KORVEX_FUZZ_CHECK(ini.write(QStringLiteral("F03_Info"), QStringLiteral("R_Text"),
                                QStringLiteral("置換\nｱｲｳ")));
    KORVEX_FUZZ_CHECK(ini.readString(QStringLiteral("F03_Info"), QStringLiteral("R_Text"), {},
                                     256) == QStringLiteral("置換 ｱｲｳ"));
    KORVEX_FUZZ_CHECK(ini.readInt(QStringLiteral("Korvex_F01"), QStringLiteral("Left"), 0) ==
                      -1234);
    return 0;
}
