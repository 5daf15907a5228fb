#!/usr/bin/env bash
# Sets up, builds and runs every Korvex test: the normal build (including the
# LibreOffice Calc host suite), then the tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
jobs=$(nproc)

# Tests that need a real display (LibreOffice with windows) get a private X
# server; the rest run on Qt's offscreen platform.
run_ctest() {
    if [ -z "${DISPLAY:-}" ]; then
        xvfb-run -a -s "-screen 0 1280x800x24" ctest "$@"
    else
        ctest "$@"
    fi
}

echo "== build"
bash scripts/build.sh "$root/build"
echo "== tests"
run_ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

echo "== sanitizer build"
KORVEX_BUILD_TYPE=Debug bash scripts/build.sh "$root/build-asan" \
    -DKORVEX_SANITIZE=ON -DKORVEX_WITH_CALC=OFF -DKORVEX_BUILD_BENCH=OFF
echo "== sanitizer tests"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"
