#!/usr/bin/env bash
# Opt-in, run by hand only (Korvex itself never runs it): makes the user's
# LibreOffice listen on Korvex's private UNO pipe at every
# start, so that an office the user started is found by Korvex too.
#
# It sets org.openoffice.Setup/Office/ooSetupConnectionURL in the profile's
# registrymodifications.xcu to "pipe,name=<pipe>;urp;StarOffice.ComponentContext"
# (a pipe, never a TCP port: whoever reaches an acceptor controls the office).
# The pipe is "korvex" unless KORVEX_UNO_PIPE names another; the profile is
# LIBREOFFICE_PROFILE, else ~/.config/libreoffice/4/user.
#
# An office that is running keeps its settings in memory and writes them back
# when it ends, so the change is made again after it has ended. Meanwhile the
# running office is told to accept on the pipe right away: a second soffice
# call hands its --accept to the office already running.
set -euo pipefail

pipe=${KORVEX_UNO_PIPE:-korvex}
case "$pipe" in
    *[!A-Za-z0-9._-]*|'') echo "calc-accept-pipe: unusable pipe name '$pipe'" >&2; exit 1 ;;
esac
profile=${LIBREOFFICE_PROFILE:-${XDG_CONFIG_HOME:-$HOME/.config}/libreoffice/4/user}
xcu="$profile/registrymodifications.xcu"
url="pipe,name=$pipe;urp;StarOffice.ComponentContext"
item="<item oor:path=\"/org.openoffice.Setup/Office\"><prop oor:name=\"ooSetupConnectionURL\" oor:op=\"fuse\"><value>$url</value></prop></item>"

write_setting() {
    mkdir -p "$profile"
    if [ ! -s "$xcu" ]; then
        cat >"$xcu" <<XCU
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
$item
</oor:items>
XCU
        return
    fi
    if ! grep -q '</oor:items>' "$xcu"; then
        echo "calc-accept-pipe: $xcu is not a LibreOffice settings file; left alone" >&2
        return 1
    fi
    if grep -qF "$item" "$xcu"; then
        return 0
    fi
    local tmp
    tmp=$(mktemp "$xcu.XXXXXX")
    # One item per line: drop an earlier connection URL, add ours at the end.
    grep -v 'oor:name="ooSetupConnectionURL"' "$xcu" | sed "s#</oor:items>#$item\n</oor:items>#" >"$tmp"
    cp "$xcu" "$xcu.korvex-backup"
    mv "$tmp" "$xcu"
}

# An office of this user running on the default profile (offices started with
# a profile of their own, such as test offices, are not the user's).
office_running() {
    [ -z "${LIBREOFFICE_PROFILE:-}" ] || return 1
    local pid
    for pid in $(pgrep -u "$(id -u)" -x soffice.bin 2>/dev/null); do
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'UserInstallation' || return 0
    done
    return 1
}

write_setting
echo "LibreOffice (profile $profile) accepts on pipe '$pipe' from its next start."

if office_running; then
    if command -v soffice >/dev/null 2>&1; then
        soffice --accept="$url" --norestore >/dev/null 2>&1 || true
        echo "The running LibreOffice now accepts on pipe '$pipe' as well."
    fi
    # Once it ends it writes its own settings back; put ours in again then.
    (
        while office_running; do sleep 5; done
        write_setting
    ) >/dev/null 2>&1 &
    disown || true
fi
