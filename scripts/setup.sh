#!/usr/bin/env bash
# Installs what Korvex needs to build, run and test on Debian 12.
# Safe to run again: packages already present are not fetched twice.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev libsqlite3-dev libxcb1-dev
    # the LibreOffice Calc host: the office itself and its UNO SDK
    libreoffice-calc libreoffice-dev fonts-liberation2
    # Japanese text, and a display server for tests and screenshots
    fonts-noto-cjk qt6-translations-l10n xvfb xauth
    # a window manager and its property reader for the window-stacking tests
    openbox x11-utils
    # reading back the result list's print-out in tests
    poppler-utils
    # checking the work database after Korvex is killed mid-run
    sqlite3
    # checking the Debian package
    desktop-file-utils appstream lintian dpkg-dev
    # fuzzing the file loaders (libFuzzer)
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
