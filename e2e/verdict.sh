#!/usr/bin/env bash
# Judges a Wine test layer by its program's own last word, never by a bare exit code 0: Wine
# can end a program half way with code 0 (docs/architecture.md, "Tests").
#   verdict.sh gtest command...   passes when every test that `command --gtest_list_tests`
#                                 lists was reported ended, and gtest's summary came
#   verdict.sh e2e command...     passes when the driver's or the storm's closing line came,
#                                 with checks passed and none failed
# and the command exited with 0. Its output goes to stdout as it comes; a missing verdict says
# where the program stopped. Exits with the command's code, or 1 if that was 0 without a verdict.
set -u
kind=$1
shift
say() { echo "verdict: $*" >&2; }
# A deadline of its own too, in this process group, so that the sandbox's end of its step reaches all.
limit=${VERDICT_LIMIT:-21600}
if [ "$kind" = gtest ]; then
    list=$(timeout --foreground 300 "$@" --gtest_list_tests | tr -d '\r'; exit "${PIPESTATUS[0]}") || {
        say "listing the tests failed (exit $?)"
        exit 1
    }
    listed=$(awk '/^[^ ]/ { suite = $1 } /^  [^ ]/ { print suite $1 }' <<<"$list" | grep -v DISABLED_ | sort -u)
    [ -n "$listed" ] || { say "the program lists no tests"; exit 1; }
fi
# A copy in a file of its own: tee to /dev/fd/1 would open the caller's log anew, at its start.
copy=$(mktemp) || { say "no temporary file"; exit 1; }
trap 'rm -f "$copy"' EXIT
timeout --foreground "$limit" "$@" 2>&1 | tee "$copy"
rc=${PIPESTATUS[0]}
out=$(tr -d '\r' <"$copy")
last=$(grep -v '^[[:space:]]*$' <<<"$out" | tail -n 1)
case $kind in
gtest)
    ended=$(sed -nE 's/^\[ *(OK|FAILED|SKIPPED) *\] ([^ ,]+).*/\2/p' <<<"$out" | sort -u)
    missing=$(comm -23 <(echo "$listed") <(echo "$ended") | wc -l)
    stopped=$(sed -nE 's/^\[ RUN +\] ([^ ]+).*/\1/p' <<<"$out" | grep -vxF -f <(echo "$ended") | tail -n 1)
    if [ "$missing" = 0 ] && grep -qE '^\[=+\] [0-9]+ tests? from .* ran\.' <<<"$out"; then
        verdict=
    elif [ -n "$stopped" ]; then
        verdict="it stopped in test $stopped ($missing of the listed tests never ended; its last line: $last)"
    else
        verdict="$missing of the listed tests never ended, or no summary came (its last line: ${last:-none})"
    fi
    ;;
e2e)
    closing=$(grep -E '^end to end: [0-9]+ passed, [0-9]+ failed$' <<<"$out" | tail -n 1)
    if [[ $closing =~ ^end\ to\ end:\ [1-9][0-9]*\ passed,\ 0\ failed$ ]]; then
        verdict=
    elif [ -n "$closing" ]; then
        verdict="its own: $closing"
    else
        verdict="no closing line came (its last line: ${last:-none})"
    fi
    ;;
*) say "unknown kind: $kind" && exit 2 ;;
esac
if [ -z "$verdict" ] && [ "$rc" = 0 ]; then exit 0; fi
say "FAILED, exit code $rc${verdict:+; $verdict}"
[ "$rc" = 0 ] && exit 1
exit "$rc"
