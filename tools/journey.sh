#!/usr/bin/env bash
# make journey: one journey of the driver again and again, each run alone, inside
# e2e/sandbox.sh. A run that fails or reaches its limit may leave the Harkwin.exe it started:
# everything in the sandbox's prefix, which is the sandbox's own, is ended before the next run.
# A failed run's log stays in BUILD/journey-N.log, and its end is shown. JOURNEY_LIMIT (default
# 300 s) bounds each run.
#   journey.sh WIN64-DIR BUILD-DIR JOURNEY RUNS
set -u
win64=$1 build=$2 journey=$3 runs=$4
say() { echo "journey: $*" >&2; }
# The sandbox's network namespace is its own when a process above this one is in another; a
# namespace that cannot be read is not known to be.
net=$(readlink /proc/self/ns/net)
own_net() {
    local pid=$PPID theirs
    while [ "$pid" -gt 1 ]; do
        theirs=$(readlink "/proc/$pid/ns/net") || return 1
        [ "$theirs" = "$net" ] || return 0
        pid=$(sed 's/.*) //' "/proc/$pid/stat" | cut -d' ' -f2)
    done
    return 1
}
case ${HARKWIN_SANDBOXED:-}:${WINEPREFIX:-} in
1:*/harkwin-sandbox.*/prefix) [ -n "$net" ] && own_net ;;
*) false ;;
esac || { say "runs only inside e2e/sandbox.sh, whose prefix and network it may empty"; exit 2; }
. "$(dirname "$0")/steps.sh"
# This sandbox's processes (its own network namespace) that name Harkwin.exe.
left() {
    local link pid
    for link in /proc/[0-9]*/ns/net; do
        [ "$(readlink "$link" 2>/dev/null)" = "$net" ] || continue
        pid=${link#/proc/} && pid=${pid%%/*}
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qi 'harkwin\.exe' && echo "$pid"
    done
}
end_all() {
    local pids
    timeout 20 wineserver -k 2>/dev/null
    timeout 20 wineserver -w 2>/dev/null
    pids=$(left)
    [ -z "$pids" ] || { say "left by wineserver -k, killed by id:" $pids; kill -KILL $pids 2>/dev/null; }
}
on_interrupt() { end_all; }
failed=0
for i in $(seq "$runs"); do
    log=$build/journey-$i.log
    if step "${JOURNEY_LIMIT:-300}" "run $i of $runs of the $journey journey" \
        "$(dirname "$0")/../e2e/verdict.sh" e2e wine "$win64/driver.exe" "$win64/Harkwin.exe" - "$journey" >"$log" 2>&1; then
        rm -f "$log"
    else
        failed=$((failed + 1))
        echo "run $i failed, see $log:"
        grep -v "^ok - " "$log" | tail -n 15
        end_all
    fi
done
echo "$journey: $((runs - failed)) of $runs runs passed"
[ $failed = 0 ]
