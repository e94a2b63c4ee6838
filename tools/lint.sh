#!/usr/bin/env bash
# The program's sources against the committed .clang-format and .clang-tidy, cppcheck, and
# the floors: an include names its own folder or one on a lower floor, never one above.
#   lint.sh format|tidy|cppcheck|floors
set -u
cd "$(dirname "$0")/.."
program="base store tray probe dialog app"
floors="base:0 store:1 tray:1 probe:2 dialog:3 app:4"
floor() { local f; for f in $floors; do [ "${f%:*}" = "$1" ] && echo "${f#*:}" && return; done; echo 99; }
case "${1:-}" in
format)
    clang-format --dry-run --Werror $(git ls-files '*.cpp' '*.h' 2>/dev/null || find $program tests e2e fuzz -name '*.cpp' -o -name '*.h')
    ;;
tidy)
    clang-tidy --quiet $(ls $(printf '%s/*.cpp ' $program)) -- --target=x86_64-w64-mingw32 -I. \
        -DWIN32_LEAN_AND_MEAN -D_WIN32_WINNT=0x0501 -std=c++17 -fno-exceptions -fno-rtti 2>&1 |
        grep -v 'warnings generated' | tee /dev/stderr | grep -q -E 'warning:|error:' && exit 1
    exit 0
    ;;
cppcheck)
    # Newer releases stop following branches early unless asked, and say so as a finding.
    level=$(cppcheck --help | grep -q -- --check-level && echo --check-level=exhaustive)
    cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr --quiet $level \
        -I. -DWIN32_LEAN_AND_MEAN $program
    ;;
floors)
    bad=0
    while IFS=: read -r file _ include; do
        from=${file%%/*} to=${include#*\"}
        to=${to%%/*}
        if [ "$to" != "$from" ] && [ "$(floor "$to")" -ge "$(floor "$from")" ]; then
            echo "$file includes ${include#*\#include } from a floor not below its own" >&2
            bad=1
        fi
    done < <(grep -n '^#include "' $(printf '%s/*.h ' $program) $(printf '%s/*.cpp ' $program))
    exit $bad
    ;;
*)
    echo "usage: lint.sh format|tidy|cppcheck|floors" >&2
    exit 2
    ;;
esac
