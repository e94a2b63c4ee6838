#!/usr/bin/env bash
# Starts Harkwin.exe under Wine on the current display. Without a display it starts a
# virtual one, waits until the dialog is on screen, saves a screenshot of it and keeps the
# program running until Ctrl+C; if the program does not come up, it says why and fails.
#   run.sh path/to/Harkwin.exe build-dir
# It runs in a Wine prefix of its own, HARKWIN_PREFIX (default ~/.cache/harkwin/wine-prefix),
# never in an inherited WINEPREFIX, and only in a prefix it made itself.
set -u
here=$(cd "$(dirname "$0")" && pwd)
e2e=$(cd "$here/../e2e" && pwd)
PATH=$e2e/bin:$PATH  # our wine, which takes the 64-bit loader
exe=$1 build=$2
driver=$build/win-x86_64/driver.exe
say() { echo "make run: $*" >&2; }
fail() { say "$*"; exit 1; }

prefix=${HARKWIN_PREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/harkwin/wine-prefix}
mark=$prefix/.made-by-harkwin-run
if [ -e "$prefix" ] && [ ! -e "$mark" ]; then
    fail "$prefix was not made by make run; name another with HARKWIN_PREFIX"
fi
mkdir -p "$prefix" && touch "$mark" || fail "cannot make the Wine prefix $prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# One make run per prefix: a second one says where the first is instead of waiting on it.
exec 9>"$prefix/.run.lock" || fail "cannot open the lock file $prefix/.run.lock"
if ! flock -n 9; then
    fail "Harkwin is already running under make run ($(cat "$prefix/.run.pid" 2>/dev/null || echo "process unknown")); stop it first"
fi
echo "process $$ (make run)" >"$prefix/.run.pid"
# Ctrl+C, at any step, ends the step and then everything in the prefix (the clean-up below).
# The lock stays with this script: children close it, so that a wineserver lingering after the
# program does not keep it.
. "$here/steps.sh"
work=$(mktemp -d /tmp/harkwin-run.XXXXXX) || fail "no temporary folder"
. "$e2e/display.sh"
program=
cleanup() {
    exec 2>/dev/null  # not bash's word on each program that wineserver -k kills
    # The prefix is this script's own, so everything its wineserver runs is ours.
    timeout 20 wineserver -k 9>&-
    if [ -n "$program" ]; then  # wineserver -k may have timed out: the program is killed by id
        for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
        kill -KILL "$program" 2>/dev/null
        wait "$program"
    fi
    stop_display
    rm -rf "$work" "$prefix/.run.pid"
}
trap cleanup EXIT
on_interrupt() { say "stopping what runs in $WINEPREFIX${xvfb_pid:+ and the virtual display}"; }
# Holding the lock in a prefix of our own, whatever still runs in it was left by an earlier
# make run that was killed.
step 20 "wineserver -k to end what an earlier make run left" wineserver -k 9>&- 2>/dev/null
prepare() {
    step 600 "the Wine prefix to be prepared" "$e2e/prepare_prefix.sh" 9>&- ||
        fail "the Wine prefix $WINEPREFIX could not be prepared"
}

if [ -n "${DISPLAY:-}" ]; then
    prepare
    step_what="Harkwin.exe to end"
    wine "$exe" 9>&- &
    program=$!
    wait "$program"
    exit
fi

start_display "$work" || fail "no virtual display"
echo "no display: started a virtual one at $DISPLAY"
prepare
wine "$exe" 9>&- &
program=$!
echo "process $program (Harkwin.exe under make run, display $DISPLAY)" >"$prefix/.run.pid"
# Asked of Win32 itself: visible, not minimised, on top at its centre, painted.
step_what="the dialog on screen"
wine "$driver" "$exe" - onscreen >"$work/onscreen" 2>&1 9>&- &
watcher=$!
deadline=$((SECONDS + 90))
while kill -0 "$watcher" 2>/dev/null; do
    if ! kill -0 "$program" 2>/dev/null; then
        wait "$program"
        fail "Harkwin.exe ended with exit code $? before its dialog was on screen"
    fi
    if [ $SECONDS -ge $deadline ]; then
        kill "$watcher" 2>/dev/null
        fail "gave up after 90 s waiting for the dialog on screen"
    fi
    sleep 0.2
done
wait "$watcher" || fail "the dialog did not come on screen: $(tail -n 2 "$work/onscreen")"
shot=$build/harkwin-run.png
import -window root "$shot" 9>&- || fail "the dialog is on screen, but no screenshot could be taken"
echo "screenshot saved: $shot"
echo "Harkwin is running on $DISPLAY (process $program); press Ctrl+C to stop it."
step_what="Harkwin.exe to end"
wait "$program"
