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
# wait_for WHAT SECONDS COMMAND...: polls COMMAND until it succeeds or the deadline passes.
wait_for() {
    local what=$1 seconds=$2; shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        if [ $SECONDS -ge $deadline ]; then say "gave up waiting ${seconds}s for $what"; return 1; fi
        sleep 0.1
    done
}

ip link set lo up || { say "cannot bring up loopback"; exit 1; }
work=$(mktemp -d /tmp/harkwin-sandbox.XXXXXX)
# This mount namespace's own hosts file: one name whose entry is larger than a lookup buffer.
{ cat /etc/hosts; printf '127.0.0.1 many-aliases.test'; for i in $(seq 120); do printf ' alias-%03d.many-aliases.test' "$i"; done; echo; } >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts || { say "cannot give the namespace its hosts file"; exit 1; }
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for "the X display" 20 test -s "$work/display" || exit 1
export DISPLAY=:$(head -n 1 "$work/display")

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
