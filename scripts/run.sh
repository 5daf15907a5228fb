#!/usr/bin/env bash
# Sets up, builds and starts Korvex. Without KORVEX_HOST it works with
# LibreOffice Calc (started on demand); KORVEX_HOST=sim:<fixture> starts it on
# the simulated host instead, e.g. KORVEX_HOST=sim:resources/demo.kvx.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh "$root/build"
exec "$root/build/bin/korvex"
