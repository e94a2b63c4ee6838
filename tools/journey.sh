#!/usr/bin/env bash
# make journey: one journey of the driver again and again, each run alone, inside
# e2e/sandbox.sh. A run that fails or reaches its limit may leave the Harkwin.exe it started:
# everything in the sandbox's prefix, which is the sandbox's own, is ended before the next run.
# A failed run's log stays in BUILD/journey-N.log, and its end is shown.
#   journey.sh WIN64-DIR BUILD-DIR JOURNEY RUNS
set -u
win64=$1 build=$2 journey=$3 runs=$4
say() { echo "journey: $*" >&2; }
case ${HARKWIN_SANDBOXED:-}:${WINEPREFIX:-} in
1:*/harkwin-sandbox.*/prefix) ;;
*) say "runs only inside e2e/sandbox.sh, whose prefix it may empty"; exit 2 ;;
esac
. "$(dirname "$0")/steps.sh"
end_all() { timeout 20 wineserver -k 2>/dev/null; timeout 20 wineserver -w 2>/dev/null; }
on_interrupt() { end_all; }
failed=0
for i in $(seq "$runs"); do
    log=$build/journey-$i.log
    if step 300 "run $i of $runs of the $journey journey" \
        wine "$win64/driver.exe" "$win64/Harkwin.exe" - "$journey" >"$log" 2>&1; then
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
