// The matcher on texts that make backtracking matchers go exponential
// ("*a*a*a…b" over 32,767 "a"), against a plain pattern over the same text,
// and one compiled pattern over 100,000 cell texts. Prints the times and the
// ratio of the pathological pattern to the plain one: a matcher that stays
// linear keeps it small.

#include "matcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace korvex;

namespace {

volatile int g_sink = 0; // keeps the measured loops from being optimised away

double millisecondsFor(const matcher::Pattern& p, const QString& text, int rounds) {
    QElapsedTimer clock;
    clock.start();
    int hits = 0;
    for (int i = 0; i < rounds; ++i)
        hits += p.matches(text) ? 1 : 0;
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    g_sink = g_sink + hits;
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString longText(32767, u'a');
    constexpr int Rounds = 20;
    double plain = 0, pathological = 0;
    for (const auto at : {host::LookAt::Whole, host::LookAt::Part}) {
        plain += millisecondsFor(matcher::Pattern("a*b", at, false, false), longText, Rounds);
        pathological += millisecondsFor(
            matcher::Pattern("*a*a*a*a*a*a*a*a*a*a*b", at, false, false), longText, Rounds);
    }
    std::printf("plain pattern:         %9.2f ms\n", plain);
    std::printf("pathological pattern:  %9.2f ms\n", pathological);
    std::printf("ratio:                 %9.2f\n", plain > 0 ? pathological / plain : 0.0);

    const matcher::Pattern cellPattern("*ｶﾞ*1", host::LookAt::Part, false, false);
    QElapsedTimer clock;
    clock.start();
    int hits = 0;
    for (int i = 0; i < 100000; ++i)
        hits += cellPattern.matches(QStringLiteral("商品ガ-%1").arg(i)) ? 1 : 0;
    std::printf("100,000 cell texts:    %9.2f ms (%d hits)\n", double(clock.nsecsElapsed()) / 1e6,
                hits);
    return 0;
}
