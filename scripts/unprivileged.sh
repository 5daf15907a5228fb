#!/usr/bin/env bash
# Runs a test executable as an unprivileged user when the tests run as root,
# so that file permissions bind it as they bind a user. The executable is
# copied to a private folder that user can reach (the checkout may lie below
# a home folder closed to others); it runs there with the same arguments. The
# resources it reads are copied beside it for the same reason.
set -euo pipefail
exe=$1
shift
if [ "$(id -u)" != 0 ]; then
    exec "$exe" "$@"
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/"
if [ -n "${KORVEX_RESOURCE_DIR:-}" ] && [ -d "$KORVEX_RESOURCE_DIR" ]; then
    cp -R "$KORVEX_RESOURCE_DIR" "$dir/resources"
    export KORVEX_RESOURCE_DIR="$dir/resources"
fi
chmod -R a+rX "$dir"
chmod 755 "$dir/$(basename "$exe")"
cd "$dir"
HOME="$dir" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    "$dir/$(basename "$exe")" "$@"
