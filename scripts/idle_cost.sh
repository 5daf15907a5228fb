#!/usr/bin/env bash
# What Korvex costs while nobody uses it: a LibreOffice Calc of its own (a
# private profile and pipe, a new spreadsheet open), Korvex started against
# it from a scratch copy of the build's program folder (so its settings and
# work database are scratch too), given time to settle, then left alone.
# Prints Korvex's CPU ticks over that time (utime + stime of /proc/<pid>/stat)
# and its resident memory.
#
#   scripts/idle_cost.sh [build folder, default build] [seconds, default 30]
#
# DISPLAY must name a running X server (say Xvfb :27); KORVEX_UNO_PIPE names
# the office's pipe (default korvex_idle).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-30}
pipe=${KORVEX_UNO_PIPE:-korvex_idle}
: "${DISPLAY:?DISPLAY must name a running X server}"

work=$(mktemp -d)
office_pid=
korvex_pid=
cleanup() {
    [ -n "$korvex_pid" ] && kill "$korvex_pid" 2>/dev/null || true
    [ -n "$office_pid" ] && kill "$office_pid" 2>/dev/null || true
    sleep 1
    rm -rf "$work"
}
trap cleanup EXIT

ticks() { # utime + stime; the fields after the command name, which may hold spaces
    local rest
    rest=$(sed 's/^.*) //' "/proc/$1/stat")
    awk '{ print $12 + $13 }' <<<"$rest"
}
rss() { awk '/^VmRSS:/ { printf "%.1f MB", $2 / 1024 }' "/proc/$1/status"; }

mkdir -p "$work/bin" "$work/home"
cp -r "$build/bin/korvex" "$build"/bin/korvex.* "$build"/bin/*.ico "$work/bin/"

soffice -env:UserInstallation="file://$work/profile" --norestore --nologo --nofirststartwizard \
    --calc --accept="pipe,name=$pipe;urp;StarOffice.ComponentContext" >/dev/null 2>&1 &
for _ in $(seq 120); do
    office_pid=$(pgrep -f "soffice.bin.*UserInstallation=file://$work/profile" || true)
    [ -n "$office_pid" ] && [ -S "/tmp/OSL_PIPE_$(id -u)_$pipe" ] && break
    sleep 0.5
done
[ -n "$office_pid" ] || { echo "idle_cost: the office did not start" >&2; exit 1; }
# Korvex lists what is open when it starts: wait for the new spreadsheet.
for _ in $(seq 60); do
    DISPLAY=$DISPLAY xdotool search --name 'LibreOffice Calc' >/dev/null 2>&1 && break
    sleep 0.5
done
sleep 1

HOME="$work/home" KORVEX_UNO_PIPE="$pipe" "$work/bin/korvex" >"$work/korvex.log" 2>&1 &
korvex_pid=$!
# Settled: no tick spent over three seconds in a row (at most a minute).
last=-1
still=0
for _ in $(seq 60); do
    sleep 1
    now=$(ticks "$korvex_pid")
    if [ "$now" = "$last" ]; then still=$((still + 1)); else still=0; fi
    last=$now
    [ "$still" -ge 3 ] && break
done
attached=$(ss -xp 2>/dev/null | grep -c "pid=$korvex_pid," || true)
before=$(ticks "$korvex_pid")
rss_before=$(rss "$korvex_pid")
sleep "$seconds"
after=$(ticks "$korvex_pid")
echo "korvex (pid $korvex_pid, $attached unix sockets, office on pipe $pipe): settled at" \
    "$rss_before, left alone $seconds s: $((after - before)) CPU ticks" \
    "($(getconf CLK_TCK) a second), $(rss "$korvex_pid") resident"
