#!/usr/bin/env bash
# e2e/verdict.sh on canned outputs, without Wine: a layer passes on its program's own last word,
# never on a bare exit code 0, and the program's output still reaches the log.
set -u
verdict=$(cd "$(dirname "$0")/../.." && pwd)/e2e/verdict.sh
# Stands in for a program under Wine: its list of tests, or its output with Wine's CRLF, then its code.
# shellcheck disable=SC2016 # expanded by the stand-in's own shell
fake='if [ "${1:-}" = --gtest_list_tests ]; then printf "%b" "$LIST"; exit 0; fi; printf "%b" "$OUT" | sed "s/\$/\r/"; exit $RC'
LIST='A.\n  B\n  C\nP/D.  # TypeParam = int\n  E/0  # GetParam() = 1\n  DISABLED_F\n'
ab='[ RUN      ] A.B\n[       OK ] A.B (1 ms)\n[ RUN      ] A.C\n'
rest='[  FAILED  ] A.C (2 ms)\n[ RUN      ] P/D.E/0\n[       OK ] P/D.E/0 (0 ms)\n'
summary='[==========] 3 tests from 2 test suites ran. (3 ms total)\n'
passed=0 failed=0
log_file=$(mktemp) && trap 'rm -f "$log_file"' EXIT
row() {  # KIND EXIT-CODE OUTPUT SAID: SAID is what the check must say, or "" for a pass
    local log rc ok=ok
    LIST=$LIST OUT=$3 RC=$2 timeout 30 "$verdict" "$1" bash -c "$fake" fake >"$log_file" 2>&1
    rc=$?
    log=$(tr -d '\r' <"$log_file")
    # The program's output first and whole, in a log file as in a pipe.
    [[ $log == "$(printf '%b' "$3")"* ]] || ok=FAIL
    if [ -z "$4" ]; then [ $rc = 0 ] || ok=FAIL; else [ $rc != 0 ] && [[ $log == *"verdict: "*"$4"* ]] || ok=FAIL; fi
    if [ $ok = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    echo "$ok - $1, exit $2, ${4:-passes}: exit $rc, its last line: ${log##*$'\n'}"
}
row gtest 0 "$ab$rest$summary" ""
row gtest 1 "$ab$rest$summary" "exit code 1"
row gtest 0 "$ab" "stopped in test A.C"
row gtest 0 "$ab$summary" "2 of the listed tests never ended"
row e2e 0 'ok - the dialog\nend to end: 1 passed, 0 failed\n' ""
row e2e 0 'ok - the dialog\n# smoke\n' "its last line: # smoke"
row e2e 1 'FAIL - the icon\nend to end: 4 passed, 1 failed\n' "exit code 1; its own: end to end: 4 passed, 1 failed"
row e2e 0 'storm: seed 7\n   3 a close request\n' "its last line:    3 a close request"
row e2e 0 'storm: seed 7\nend to end: 9 passed, 0 failed\n' ""
row e2e 0 'end to end: 0 passed, 0 failed\n' "its own: end to end: 0 passed"
echo "$passed passed, $failed failed"
[ $failed = 0 ]
