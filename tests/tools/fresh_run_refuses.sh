#!/usr/bin/env bash
# fresh_run.sh kills all it can see on its way out, so it must refuse to start anywhere but as
# process 1 of PID and mount namespaces of its own, before it mounts or kills anything. Tried
# where it is not process 1, and where it is process 1 but shares its caller's mounts, each
# beside a process that must survive.
# Were the refusal broken, what fresh_run.sh mounted would stay in a mount namespace of the
# test's own, gone when the test ends, and the folders are removed from outside it, where
# nothing was mounted.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${REFUSAL_WORK:-}" ]; then
    work=$(mktemp -d /tmp/harkwin-refusal.XXXXXX) || exit 1
    trap 'rm -rf --one-file-system "$work"' EXIT
    REFUSAL_WORK=$work unshare --mount -- "$0"
    exit
fi
work=$REFUSAL_WORK
mkdir -p "$work/cache/bookworm/root" "$work/run/root"
passed=0 failed=0
check() {
    if eval "$1"; then echo "ok - $2"; passed=$((passed + 1)); else echo "FAIL - $2"; failed=$((failed + 1)); fi
}
attempt() {  # attempt WHERE LAUNCHER...
    local where=$1 sibling rc; shift
    sleep 300 &
    sibling=$!
    "$@" "$repo/tools/fresh_run.sh" "$repo" "$work/cache/bookworm" "$work/run" 2>"$work/said"
    rc=$?
    check '[ $rc = 2 ]' "$where: it refuses (exit $rc)"
    check 'grep -q "refusing to run" "$work/said"' "$where: and says why: $(cat "$work/said")"
    check 'kill -0 $sibling 2>/dev/null' "$where: the process beside it lives"
    check '! findmnt -rn -o TARGET | grep -q "^$work"' "$where: nothing is mounted under its folders"
    kill $sibling
    wait $sibling 2>/dev/null
}
# As a child of process 1 in namespaces of its own (bash starts it so: not exec'd).
# As test_fresh.sh names the namespaces it leaves.
export HARKWIN_FRESH_OUTSIDE="$(readlink /proc/self/ns/pid) $(readlink /proc/self/ns/mnt)"
attempt "not process 1" unshare --pid --fork --mount --mount-proc -- bash -c '"$@"; exit $?' -
attempt "process 1 on its caller's mounts" unshare --pid --fork --
attempt "process 1, its caller unknown" env -u HARKWIN_FRESH_OUTSIDE unshare --pid --fork --mount --
echo "$passed passed, $failed failed"
[ $failed = 0 ]
