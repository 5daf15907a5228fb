// Fixture text with anything in it. Parsing never fails without saying why
// and where, and a fixture that parses loads into the simulated host.

#include "fixture.h"
#include "fuzz_support.h"
#include "sim_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto fixture = korvex::sim::parseFixture(text, &error, QStringLiteral("fuzz.kvx"));
    if (!fixture) {
        KORVEX_FUZZ_CHECK(error.startsWith(QStringLiteral("fuzz.kvx")));
        return 0;
    }
    KORVEX_FUZZ_CHECK(error.isEmpty());
    const int active = fixture->activeBookIndex();
    KORVEX_FUZZ_CHECK(active >= -1 && active < fixture->books.size());
    QString loadError;
    const auto connector = korvex::sim::SimConnector::fromFixtureText(text, &loadError);
    KORVEX_FUZZ_CHECK(connector != nullptr);
    return 0;
}
