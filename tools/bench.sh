#!/usr/bin/env bash
# Measures Harkwin beside its baselines and writes docs/benchmarks.md. Figures only: nothing
# here fails on timing.   bench.sh build-dir
set -u
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
win64=$build/win-x86_64 win32=$build/win-i686
out=$root/docs/benchmarks.md
log=$(mktemp /tmp/harkwin-bench.XXXXXX)
trap 'rm -f "$log"' EXIT

"$root/e2e/sandbox.sh" wine "$win64/driver.exe" "$win64/Harkwin.exe" - bench "$win64/baseline.exe" "$win64/skeleton.exe" >"$log" 2>&1
"$root/e2e/sandbox.sh" wine "$win64/probe_bench.exe" >>"$log" 2>&1
grep -E '^(figure|probe-|plain-)' "$log" || { cat "$log"; exit 1; }

figure() { awk -v k="$1" -v f="$2" '$1 == "figure" && $2 == k {print $(f + 2)} $1 == k {print $(f + 1)}' "$log" | head -n 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
imports() { x86_64-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ {printf "%s ", $3}'; }
size64=$(stat -c %s "$win64/Harkwin.exe") size32=$(stat -c %s "$win32/Harkwin.exe")
start_h=$(figure start-to-dialog-ms 1) start_b=$(figure start-to-dialog-ms 2) start_s=$(figure start-to-dialog-ms 3)
cpu_h=$(figure cpu-60s-ms 1) cpu_b=$(figure cpu-60s-ms 2)
rss_h=$(figure resident-kib 1) rss_b=$(figure resident-kib 2) rss_s=$(figure resident-kib 3)
first=$(figure probe-cycles-1-1000 1) last=$(figure probe-cycles-9001-10000 1) floor=$(figure plain-connect-1000 1)
first_w=$(figure probe-cycles-1-1000 2) last_w=$(figure probe-cycles-9001-10000 2) floor_w=$(figure plain-connect-1000 2)
steady=$(figure probe-cycles-steady-1000 1) steady_w=$(figure probe-cycles-steady-1000 2)
cfloor=$(figure cycle-floor-1000 1) cfloor_w=$(figure cycle-floor-1000 2)

{
    echo "# Benchmarks"
    echo
    echo "Made by \`make bench\` (tools/bench.sh) on $(date -u +%Y-%m-%d), $(nproc) cores, $("$root/e2e/bin/wine" --version 2>/dev/null)."
    echo "Under Wine inside the test sandbox; CPU times of the program's own host process (from /proc, 10 ms"
    echo "ticks), not of wineserver or the shell. Two floors, built in the same run: the skeleton"
    echo "(bench/skeleton.cpp) makes only the platform calls Harkwin must make before its dialog is on"
    echo "screen: common controls, Windows Sockets 1.1, the tray menu and its default item, the image list,"
    echo "the same template with its four pickers and the port list filled, the six registry reads, the"
    echo "tray icon added and its first update. The plain baseline (bench/baseline.cpp) is one"
    echo "small dialog and a 300 ms timer that modifies one tray icon."
    echo
    echo "| Figure | Harkwin | Skeleton | Ratio | Plain baseline | Ratio |"
    echo "|---|---|---|---|---|---|"
    echo "| start to dialog on screen, ms (median of 9) | $start_h | $start_s | $(ratio "$start_h" "$start_s") | $start_b | $(ratio "$start_h" "$start_b") |"
    echo "| CPU over 60 s monitoring (Online, flashing at 300 ms), ms | $cpu_h | | | $cpu_b | $(ratio "$cpu_h" "$cpu_b") |"
    echo "| resident memory after the minute, KiB | $rss_h | $rss_s | $(ratio "$rss_h" "$rss_s") | $rss_b | $(ratio "$rss_h" "$rss_b") |"
    echo
    echo "Harkwin.exe: $size64 bytes (x86-64), $size32 bytes (i686); imports $(imports "$win64/Harkwin.exe")."
    echo
    echo "Probe cycle (tick, connect, result, tray updates) back to back against a loopback listener,"
    echo "beside its floor on the platform, in the same exe (bench/probe_bench.cpp). The floor is one"
    echo "fresh socket's connect with its notification and the two tray updates a result needs. With"
    echo "the default settings Online flashes, so each result also starts the flash timer and its"
    echo "immediate tick, a third tray update; the steady rows take that away and run in alternating"
    echo "rounds of 100 beside the floor, so that the shell's own drift weighs on both."
    echo
    echo "| 1,000 iterations | CPU, ms | wall, ms |"
    echo "|---|---|---|"
    echo "| probe cycles 1 to 1,000 (Online flashing) | $first | $first_w |"
    echo "| probe cycles 9,001 to 10,000 (Online flashing) | $last | $last_w |"
    echo "| probe cycles, steady statuses | $steady | $steady_w |"
    echo "| the cycle's floor: connect, notification, two tray updates | $cfloor | $cfloor_w |"
    echo "| plain non-blocking connect and close, no tray | $floor | $floor_w |"
    echo
    echo "Steady cycle against its floor: CPU $(ratio "$steady" "$cfloor"), wall $(ratio "$steady_w" "$cfloor_w") (target 1.2)."
} >"$out"
cat "$out"
