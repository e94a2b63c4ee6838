#!/usr/bin/env bash
# deps.sh against a stand-in apt-get on PATH, as an archive caught mid-sync answers: an index
# update that fails once is tried again and the install goes on; one that always fails is
# tried a bounded number of times, then the install's failure names the packages, the index
# and the likely cause. Nothing real is installed: only the stand-ins and bash's own tools
# are on PATH, so every need looks missing.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/harkwin-deps.XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
for tool in bash cat grep sort seq sleep head tail mktemp rm dirname timeout tr; do
    ln -s "$(command -v $tool)" "$work/bin/$tool" || exit 1
done
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/bash
echo "$*" >>"$APT_LOG"
case $1 in
update)
    n=$(grep -c '^update' "$APT_LOG")
    [ "$APT_UPDATE_FAILS" = always ] || [ "$n" -le "$APT_UPDATE_FAILS" ] || exit 0
    echo "E: Failed to fetch http://archive.test/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1234 != 5678). Mirror sync in progress? [IP: 127.0.0.1 80]" >&2
    exit 100 ;;
install)
    [ "$APT_UPDATE_FAILS" = always ] || exit 0
    echo "E: Unable to locate package wine64" >&2
    exit 100 ;;
esac
STANDIN
chmod +x "$work/bin/apt-get"
passed=0 failed=0
check() {
    if eval "$1"; then echo "ok - $2"; passed=$((passed + 1)); else echo "FAIL - $2"; failed=$((failed + 1)); fi
}
for fails in 1 always; do
    log=$work/apt-$fails.log
    : >"$log"
    APT_LOG=$log APT_UPDATE_FAILS=$fails HARKWIN_APT_PAUSE=0 PATH=$work/bin \
        "$work/bin/bash" "$repo/tools/deps.sh" run >"$work/out" 2>&1
    rc=$?
    updates=$(grep -c '^update' "$log")
    said=$(cat "$work/out")
    if [ $fails = 1 ]; then
        check '[ $rc = 0 ] && [ $updates = 2 ]' "an update that fails once: tried again, deps succeeds (exit $rc, $updates updates)"
        check 'grep -q "^install .*xvfb" "$log"' "and the install asks for what running needs"
        check '! grep -q -E "clang|cppcheck|googletest|i686|wine32" "$log"' "and nothing that only the tests need"
    else
        check '[ $rc != 0 ] && [ $updates = 3 ]' "an update that always fails: tried 3 times, deps fails (exit $rc, $updates updates)"
        check 'echo "$said" | grep "could not install" | grep "xvfb" | grep "binary-i386/Packages" | grep -q "mid-sync"' \
            "and says in one line which packages, which index, and that a later try may do: $(echo "$said" | tail -n 1)"
    fi
done
echo "$passed passed, $failed failed"
[ $failed = 0 ]
