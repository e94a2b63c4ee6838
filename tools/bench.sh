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

"$root/e2e/sandbox.sh" wine "$win64/driver.exe" "$win64/Harkwin.exe" - bench "$win64/baseline.exe" >"$log" 2>&1
"$root/e2e/sandbox.sh" wine "$win64/probe_bench.exe" >>"$log" 2>&1
grep -E '^(figure|probe-|plain-)' "$log" || { cat "$log"; exit 1; }

figure() { awk -v k="$1" -v f="$2" '$1 == "figure" && $2 == k {print $(f + 2)} $1 == k {print $(f + 1)}' "$log" | head -n 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
imports() { x86_64-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ {printf "%s ", $3}'; }
size64=$(stat -c %s "$win64/Harkwin.exe") size32=$(stat -c %s "$win32/Harkwin.exe")
start_h=$(figure start-to-dialog-ms 1) start_b=$(figure start-to-dialog-ms 2)
cpu_h=$(figure cpu-60s-ms 1) cpu_b=$(figure cpu-60s-ms 2)
rss_h=$(figure resident-kib 1) rss_b=$(figure resident-kib 2)
first=$(figure probe-cycles-1-1000 1) last=$(figure probe-cycles-9001-10000 1) floor=$(figure plain-connect-1000 1)
first_w=$(figure probe-cycles-1-1000 2) last_w=$(figure probe-cycles-9001-10000 2) floor_w=$(figure plain-connect-1000 2)

{
    echo "# Benchmarks"
    echo
    echo "Made by \`make bench\` (tools/bench.sh) on $(date -u +%Y-%m-%d), $(nproc) cores, $(wine --version 2>/dev/null)."
    echo "Under Wine inside the test sandbox; CPU times of the program's own host process (from /proc, 10 ms"
    echo "ticks), not of wineserver or the shell. The baseline is bench/baseline.cpp: one dialog and a"
    echo "300 ms timer that modifies one tray icon, built in the same run."
    echo
    echo "| Figure | Harkwin | Baseline | Ratio |"
    echo "|---|---|---|---|"
    echo "| Harkwin.exe x86-64, bytes | $size64 | | target 65536 |"
    echo "| Harkwin.exe i686, bytes | $size32 | | |"
    echo "| imports (both) | $(imports "$win64/Harkwin.exe") | | |"
    echo "| start to dialog on screen, ms (median of 5) | $start_h | $start_b | $(ratio "$start_h" "$start_b") |"
    echo "| CPU over 60 s monitoring (Online, flashing at 300 ms), ms | $cpu_h | $cpu_b | $(ratio "$cpu_h" "$cpu_b") |"
    echo "| resident memory, KiB | $rss_h | $rss_b | $(ratio "$rss_h" "$rss_b") |"
    echo
    echo "Probe cycle (tick, connect, result, tray update) back to back against a loopback listener,"
    echo "beside a plain non-blocking connect loop in the same exe (bench/probe_bench.cpp):"
    echo
    echo "| 1,000 iterations | CPU, ms | wall, ms |"
    echo "|---|---|---|"
    echo "| probe cycles 1 to 1,000 | $first | $first_w |"
    echo "| probe cycles 9,001 to 10,000 | $last | $last_w |"
    echo "| plain connect, close (the floor) | $floor | $floor_w |"
} >"$out"
cat "$out"
