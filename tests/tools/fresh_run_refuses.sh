#!/usr/bin/env bash
# fresh_run.sh kills all it can see on its way out, so it must refuse to start anywhere but as
# process 1 of namespaces of its own, before it mounts or kills anything. Tried in a PID
# namespace of this test's own, where it is not process 1, beside a process that must survive.
set -u
if [ -z "${HARKWIN_REFUSAL_NS:-}" ]; then
    exec env HARKWIN_REFUSAL_NS=1 unshare --pid --fork --mount --mount-proc -- "$0" "$@"
fi
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/harkwin-refusal.XXXXXX) || exit 1
mkdir -p "$work/cache/bookworm/root" "$work/run/root"
sleep 300 &
sibling=$!
"$repo/tools/fresh_run.sh" "$repo" "$work/cache/bookworm" "$work/run" 2>"$work/said"
rc=$?
passed=0 failed=0
check() {
    if eval "$1"; then echo "ok - $2"; passed=$((passed + 1)); else echo "FAIL - $2"; failed=$((failed + 1)); fi
}
check '[ $rc = 2 ]' "it refuses (exit $rc)"
check 'grep -q "refusing to run" "$work/said"' "and says why: $(cat "$work/said")"
check 'kill -0 $sibling 2>/dev/null' "the process beside it lives"
check '! findmnt -rn -o TARGET | grep -q "^$work"' "nothing is mounted under its folders"
kill $sibling
wait $sibling 2>/dev/null
rm -rf "$work"
echo "$passed passed, $failed failed"
[ $failed = 0 ]
