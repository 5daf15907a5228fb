#!/usr/bin/env bash
# Configures and builds Korvex into build/ (or the folder given as $1).
# Extra arguments go to CMake's configure step; KORVEX_BUILD_TARGET builds one
# target (and what it needs) instead of everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=${KORVEX_BUILD_TYPE:-RelWithDebInfo} \
    "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" ${KORVEX_BUILD_TARGET:+--target "$KORVEX_BUILD_TARGET"}
