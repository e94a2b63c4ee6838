#!/usr/bin/env bash
# Starts Harkwin.exe under Wine on the current display, or on a virtual one when there is
# none, in which case a screenshot of the dialog is saved and its path printed.
#   run.sh path/to/Harkwin.exe build-dir
set -u
exe=$1 build=$2
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-harkwin} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX" ]; then
    echo "preparing the Wine prefix $WINEPREFIX ..."
    wineboot -i >/dev/null 2>&1
fi
# Programs share Wine's "shell" desktop, which has a notification area.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 800x600 /f >/dev/null 2>&1

if [ -n "${DISPLAY:-}" ]; then
    exec wine "$exe"
fi

work=$(mktemp -d /tmp/harkwin-run.XXXXXX)
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null; kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n 1 "$work/display")
echo "no display: started a virtual one at $DISPLAY"
wine "$exe" &
program=$!
shot=$build/harkwin-run.png
# The dialog is on screen once the desktop shows more than one colour.
for _ in $(seq 150); do
    sleep 0.2
    if import -window root "$shot" 2>/dev/null && [ "$(convert "$shot" -format %k info:)" -gt 8 ]; then break; fi
done
echo "screenshot saved: $shot"
echo "Harkwin is running on $DISPLAY (process $program); press Ctrl+C to stop it."
wait $program
