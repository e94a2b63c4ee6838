#!/usr/bin/env bash
# Runs one command under Wine, as the tests need it: inside a private network namespace
# (loopback only), on a private X display, in a fresh prefix whose programs share Wine's
# "shell" desktop with its notification area. Stops all it started by process id and
# with `wineserver -k` on its own prefix. Exits with the command's exit code.
#   sandbox.sh [--pictures DIR] command...   (BMP files the command leaves in DIR become PNG)
# SANDBOX_LIMIT (default 21600 s) bounds the command. Ctrl+C at any step ends it and all the
# sandbox started, and says what was interrupted.
set -u
if [ -z "${HARKWIN_SANDBOXED:-}" ]; then
    exec env HARKWIN_SANDBOXED=1 unshare --net --mount -- "$0" "$@"
fi
# The network namespace is this sandbox's own, and all in it is ours, when its caller's is another.
outer_net=$(readlink "/proc/$PPID/ns/net" 2>/dev/null)
pictures=
if [ "${1:-}" = "--pictures" ]; then pictures=$2; shift 2; fi

here=$(cd "$(dirname "$0")" && pwd)
PATH=$here/bin:$PATH  # our wine, which takes the 64-bit loader
say() { echo "sandbox: $*" >&2; }
. "$here/display.sh"
. "$here/../tools/steps.sh"
# A closed terminal too: the command runs in a process group of its own, out of the hangup's reach.
trap 'interrupted HUP' HUP
work=
# Whatever is left in the sandbox's own network namespace (a program that was still starting
# when wineserver -k ran), killed by id.
sweep() {
    local net link pid left=
    net=$(readlink /proc/$$/ns/net)
    [ -n "$outer_net" ] && [ -n "$net" ] && [ "$net" != "$outer_net" ] || return 0
    for link in /proc/[0-9]*/ns/net; do
        pid=${link#/proc/} && pid=${pid%%/*}
        [ "$pid" != $$ ] && [ "$(readlink "$link" 2>/dev/null)" = "$net" ] && left="$left $pid"
    done
    [ -z "$left" ] || kill -KILL $left 2>/dev/null
}
cleanup() {
    trap '' INT TERM HUP
    exec 2>/dev/null  # not bash's word on each program it ends
    [ -n "$work" ] && [ -d "$work/prefix" ] && WINEPREFIX=$work/prefix timeout 20 wineserver -k
    stop_display
    sweep
    [ -z "$work" ] || rm -rf "$work"
}
trap cleanup EXIT
on_interrupt() { say "ending all it started: the programs in its Wine prefix, its display"; }

ip link set lo up || { say "cannot bring up loopback"; exit 1; }
work=$(mktemp -d /tmp/harkwin-sandbox.XXXXXX) || { say "no temporary folder"; exit 1; }
# This mount namespace's own hosts file: one name whose entry is larger than a lookup buffer.
{ cat /etc/hosts; printf '127.0.0.1 many-aliases.test'; for i in $(seq 120); do printf ' alias-%03d.many-aliases.test' "$i"; done; echo; } >"$work/hosts"
mount --bind "$work/hosts" /etc/hosts || { say "cannot give the namespace its hosts file"; exit 1; }
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

step_what="the virtual display to start"
start_display "$work" || exit 1
step 600 "the Wine prefix to be prepared" "$here/prepare_prefix.sh" || exit 1

step "${SANDBOX_LIMIT:-21600}" "$*" "$@"
rc=$?
say "command exited with $rc"
if [ -n "$pictures" ] && [ -d "$pictures" ]; then
    for bmp in "$pictures"/*.bmp; do
        [ -e "$bmp" ] || continue
        convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    done
fi
exit $rc
