#!/usr/bin/env bash
# Runs one command under Wine, as the tests need it: inside a private network namespace
# (loopback only), on a private X display, in a fresh prefix whose programs share Wine's
# "shell" desktop with its notification area. Stops all it started by process id and
# with `wineserver -k` on its own prefix. Exits with the command's exit code.
#   sandbox.sh [--pictures DIR] command...   (BMP files the command leaves in DIR become PNG)
set -u
if [ -z "${HARKWIN_SANDBOXED:-}" ]; then
    exec env HARKWIN_SANDBOXED=1 unshare --net --mount -- "$0" "$@"
fi
pictures=
if [ "${1:-}" = "--pictures" ]; then pictures=$2; shift 2; fi

PATH=$(cd "$(dirname "$0")" && pwd)/bin:$PATH  # our wine, which takes the 64-bit loader
say() { echo "sandbox: $*" >&2; }
. "$(dirname "$0")/display.sh"

ip link set lo up || { say "cannot bring up loopback"; exit 1; }
work=$(mktemp -d /tmp/harkwin-sandbox.XXXXXX)
# This mount namespace's own hosts file: one name whose entry is larger than a lookup buffer.
{ cat /etc/hosts; printf '127.0.0.1 many-aliases.test'; for i in $(seq 120); do printf ' alias-%03d.many-aliases.test' "$i"; done; echo; } >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts || { say "cannot give the namespace its hosts file"; exit 1; }
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    [ -d "$WINEPREFIX" ] && timeout 20 wineserver -k 2>/dev/null
    stop_display
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_display "$work" || exit 1

"$(dirname "$0")/prepare_prefix.sh" || exit 1

"$@"
rc=$?
say "command exited with $rc"
if [ -n "$pictures" ] && [ -d "$pictures" ]; then
    for bmp in "$pictures"/*.bmp; do
        [ -e "$bmp" ] || continue
        convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    done
fi
exit $rc
