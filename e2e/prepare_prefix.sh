#!/usr/bin/env bash
# Makes $WINEPREFIX ready for Harkwin: created, with Wine's own fonts, and with every program
# on Wine's "shell" desktop, the one with a notification area. Callers hand it only a prefix
# of their own, and end its programs with `wineserver -k` when they are done with it. Every step
# has a deadline.
set -u
PATH=$(cd "$(dirname "$0")" && pwd)/bin:$PATH  # our wine, which takes the 64-bit loader
say() { echo "prepare_prefix: $*" >&2; }
bounded() {  # bounded SECONDS WHAT COMMAND...
    local seconds=$1 what=$2 rc; shift 2
    # In the caller's process group, where the terminal's Ctrl+C and a caller's end of its step
    # reach it; past the deadline only the command itself is ended, the caller's wineserver -k
    # ends the rest.
    timeout --foreground --kill-after=5 "$seconds" "$@" && return 0
    rc=$?
    case $rc in
    124 | 137) say "gave up after ${seconds}s waiting for $what" ;;
    126 | 127) say "could not run $1 for $what" ;;
    esac
    return $rc
}
# wineboot's log, in the prefix so that an interrupted run leaves no file elsewhere, stays until
# wineboot has succeeded: a prefix whose creation was cut short is made again.
log=$WINEPREFIX/.wineboot.log
if [ -e "$log" ]; then
    say "the prefix's creation did not finish last time: making it again"
    rm -rf "$WINEPREFIX/drive_c" "$WINEPREFIX/dosdevices" "$WINEPREFIX"/*.reg "$WINEPREFIX/.update-timestamp"
fi
if [ ! -e "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX" && : >"$log" || { say "cannot write to $WINEPREFIX"; exit 1; }
    bounded 180 "wineboot to create the prefix" wine wineboot -i >"$log" 2>&1 ||
        { say "wineboot failed: $(tail -n 3 "$log")"; exit 1; }
    rm -f "$log"
fi
# Wine 8 reaches its shipped fonts only by a path it refuses ("..") and would draw the dialog
# with a fallback face; a copy in the prefix is found.
fonts=$WINEPREFIX/drive_c/windows/Fonts
mkdir -p "$fonts"
cp -n /usr/share/wine/fonts/* "$fonts/" 2>/dev/null || { say "no fonts in /usr/share/wine/fonts (package fonts-wine)"; exit 1; }
bounded 60 "the shell desktop setting" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1 &&
    bounded 60 "the shell desktop size" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 800x600 /f >/dev/null 2>&1 ||
    { say "cannot select the shell desktop"; exit 1; }
# The registry reaches the disk when the prefix's last program has ended.
bounded 60 "the prefix's programs to end (wineserver -w)" wineserver -w
