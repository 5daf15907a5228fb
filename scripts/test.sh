#!/usr/bin/env bash
# Sets up, builds and runs every Korvex test, warnings treated as errors: the
# normal build (including the LibreOffice Calc host suite), then every test
# again under AddressSanitizer and UndefinedBehaviorSanitizer (Calc host
# included), then the Calc host's tests under ThreadSanitizer, then a short
# fuzzing run of the file loaders.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
jobs=$(nproc)
started=$SECONDS

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
bash scripts/build.sh "$root/build" -DKORVEX_WERROR=ON
echo "== tests"
run_ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

echo "== Debian package (build, validate, install, start, remove)"
bash scripts/package-check.sh "$root/build"

echo "== sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer)"
KORVEX_BUILD_TYPE=Debug bash scripts/build.sh "$root/build-asan" \
    -DKORVEX_SANITIZE=ON -DKORVEX_WERROR=ON -DKORVEX_BUILD_BENCH=OFF
echo "== sanitizer tests"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"

# ThreadSanitizer: the Calc host is where Korvex's threads meet (the UNO
# worker, the deadline watch, the office's listener callbacks).
echo "== thread sanitizer build (Calc host tests)"
KORVEX_BUILD_TYPE=Debug KORVEX_BUILD_TARGET=calc_host_test bash scripts/build.sh \
    "$root/build-tsan" -DKORVEX_TSAN=ON -DKORVEX_WERROR=ON -DKORVEX_BUILD_BENCH=OFF
echo "== thread sanitizer tests"
# The tests start the office and an X server from a process that already
# runs threads; the child only executes the new program, which the sanitizer
# cannot know, so it is told not to end such a child.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0" \
    run_ctest --test-dir "$root/build-tsan" --output-on-failure -R '^calc_host_test$'

# The loaders of files Korvex does not control, fuzzed briefly from their seed
# inputs; a longer run by hand: scripts/fuzz.sh 600
echo "== fuzzing (${KORVEX_FUZZ_SECONDS:-20} s per target)"
bash scripts/fuzz.sh "${KORVEX_FUZZ_SECONDS:-20}"

echo "== all tests passed in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
