#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each one for a while,
# starting from its seed inputs in tests/fuzz/corpus/<target>/. New inputs the
# fuzzer finds go to build-fuzz/corpus/<target>/, never into the tree; an input
# that makes a target fail is kept as build-fuzz/crashes/<target>-crash-* and
# the script fails. Prints executions and findings per target.
#
# Usage: scripts/fuzz.sh [seconds per target, default 20] [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_settings fuzz_print_settings fuzz_grid_layout fuzz_fixture)
dir=$root/build-fuzz

cxx=$(command -v clang++-14 || command -v clang++ || true)
cc=$(command -v clang-14 || command -v clang || true)
if [ -z "$cxx" ] || [ -z "$cc" ]; then
    echo "fuzz.sh: clang is not installed (scripts/setup.sh installs it)" >&2
    exit 1
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=$cc CXX=$cxx cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVEX_FUZZ=ON -DKORVEX_WITH_CALC=OFF -DKORVEX_BUILD_TESTS=OFF -DKORVEX_BUILD_BENCH=OFF \
    "${launcher[@]}" >/dev/null
cmake --build "$dir" --target "${targets[@]}"

mkdir -p "$dir/crashes"
# The targets hand each input to the loaders through a file: a folder in memory
# where there is one, removed at the end.
scratch=$(mktemp -d -p "$( [ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")" korvex-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export KORVEX_FUZZ_SCRATCH=$scratch
failed=0
summary=()
for t in "${targets[@]}"; do
    work=$dir/corpus/$t
    mkdir -p "$work"
    log=$dir/$t.log
    echo "== $t: ${seconds} s"
    set +e
    QT_QPA_PLATFORM=offscreen \
        ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$dir/fuzz/$t" "$work" "$root/tests/fuzz/corpus/$t" \
        -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$dir/crashes/$t-" -print_final_stats=1 >"$log" 2>&1
    code=$?
    set -e
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    units=$(find "$work" -type f | wc -l)
    if [ $code -ne 0 ]; then
        failed=1
        summary+=("$t: FAILED after ${runs:-?} executions (see $log and $dir/crashes/)")
        grep -E "ERROR|check failed|SUMMARY|runtime error" "$log" | head -5 >&2 || true
    else
        summary+=("$t: ${runs:-?} executions, ${speed:-?}/s, 0 failures, $units new inputs")
    fi
done
printf '%s\n' "${summary[@]}"
exit $failed
