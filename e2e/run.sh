#!/usr/bin/env bash
# Starts Harkwin.exe under Wine on the current display. Without a display it starts a
# virtual one, waits until the dialog is on screen, saves a screenshot of it and keeps the
# program running until Ctrl+C; if the program does not come up, it says why and fails.
#   run.sh path/to/Harkwin.exe build-dir
set -u
exe=$1 build=$2
driver=$build/win-x86_64/driver.exe
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-harkwin} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
fail() { echo "make run: $*" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ]; then
    "$(dirname "$0")/prepare_prefix.sh" || fail "the Wine prefix $WINEPREFIX could not be prepared"
    exec wine "$exe"
fi

work=$(mktemp -d /tmp/harkwin-run.XXXXXX)
xvfb= program=
cleanup() {
    wineserver -k 2>/dev/null
    [ -n "$program" ] && wait "$program" 2>/dev/null
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "the virtual display did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -n 1 "$work/display")
echo "no display: started a virtual one at $DISPLAY"
"$(dirname "$0")/prepare_prefix.sh" || fail "the Wine prefix $WINEPREFIX could not be prepared"

wine "$exe" &
program=$!
# Asked of Win32 itself: visible, not minimised, on top at its centre, fully painted.
wine "$driver" "$exe" - onscreen >"$work/onscreen" 2>&1 &
watcher=$!
while kill -0 "$watcher" 2>/dev/null; do
    if ! kill -0 "$program" 2>/dev/null; then
        wait "$program"
        fail "Harkwin.exe ended with exit code $? before its dialog was on screen"
    fi
    sleep 0.2
done
wait "$watcher" || fail "the dialog did not come on screen: $(tail -n 2 "$work/onscreen")"
shot=$build/harkwin-run.png
import -window root "$shot" || fail "the dialog is on screen, but no screenshot could be taken"
echo "screenshot saved: $shot"
echo "Harkwin is running on $DISPLAY (process $program); press Ctrl+C to stop it."
wait "$program"
