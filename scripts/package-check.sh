#!/usr/bin/env bash
# Builds the Debian package from a finished build, validates its desktop
# entry, metainfo and the package itself, installs it, starts /usr/bin/korvex
# on the simulated host with a throw-away home, checks that the user's files
# appear in the XDG folders and none under /usr, then removes the package and
# checks that nothing of it is left.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

rm -f "$build"/korvex_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/korvex_*.deb)
desktop-file-validate "$root/resources/desktop/org.korvex.Korvex.desktop"
appstreamcli validate --no-net "$build/install-files/org.korvex.Korvex.metainfo.xml"
lintian --fail-on error "$deb" || { echo "lintian found errors"; exit 1; }

$sudo dpkg -i "$deb"
home=$(mktemp -d)
trap 'rm -rf "$home"; $sudo dpkg -r korvex >/dev/null 2>&1 || true' EXIT
env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" KORVEX_HOST=sim:/usr/share/korvex/demo.kvx \
    xvfb-run -a /usr/bin/korvex &
runner=$!
for _ in $(seq 100); do
    [ -s "$home/.local/share/korvex/korvex.mdb" ] && pgrep -x -P $runner korvex >/dev/null && break
    sleep 0.2
done
sleep 2
pkill -TERM -x -P $runner korvex || true  # Korvex saves and ends on SIGTERM
wait $runner || true
test -s "$home/.config/korvex/korvex.ini" || { echo "no settings in ~/.config/korvex"; exit 1; }
test -s "$home/.local/share/korvex/korvex.mdb" || { echo "no work database in ~/.local/share/korvex"; exit 1; }
if find /usr -name 'korvex.ini' -o -name 'korvex.grx' -o -name 'korvex.prn' | grep -q .; then
    echo "Korvex wrote under /usr"; exit 1
fi

$sudo dpkg -r korvex
left=$(dpkg -c "$deb" | awk '{print substr($6, 2)}' | grep -v '/$' | while read -r f; do [ -e "$f" ] && echo "$f"; done || true)
[ -z "$left" ] || { echo "left after removal: $left"; exit 1; }
[ ! -e /usr/share/korvex ] || { echo "/usr/share/korvex left after removal"; exit 1; }
echo "package: installed, ran from the XDG folders, removed cleanly"
