#!/usr/bin/env bash
# deps.sh against a stand-in apt-get on PATH, as an archive caught mid-sync answers: an index
# update that fails once is tried again and the install goes on; one that always fails is
# tried a bounded number of times, then the install's failure names the packages, the index
# and the likely cause; where only 32-bit Wine cannot be installed, all else is, and the
# 32-bit layers are said to be skipped. Nothing real is installed: only the stand-ins and
# bash's own tools are on PATH, so every need looks missing.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/harkwin-deps.XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/tools"
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
    case " $* " in *" $APT_REFUSE "*)
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100 ;;
    esac ;;
esac
STANDIN
printf '#!/bin/bash\necho "dpkg $*" >>"$APT_LOG"\n' >"$work/bin/dpkg"
printf '#!/bin/bash\n' >"$work/bin/clang++"  # links every fuzzer
# The kernel runs 32-bit programs, if asked of the kernel alone.
printf '#!/bin/bash\n[ "${1:-}" = --kernel ]\n' >"$work/tools/runs_i386.sh"
cp "$repo/tools/deps.sh" "$repo/tools/steps.sh" "$work/tools/"
chmod +x "$work/bin/"* "$work/tools/"*
# 32-bit Wine, if this machine has it, is hidden in a mount namespace of the run's own.
no_wine32() { unshare --mount -- bash -c '[ ! -d /usr/lib/wine ] || mount -t tmpfs none /usr/lib/wine; exec "$@"' - "$@"; }
passed=0 failed=0
check() {
    if eval "$1"; then echo "ok - $2"; passed=$((passed + 1)); else echo "FAIL - $2"; failed=$((failed + 1)); fi
}
# case    target  index updates fail  the package the install refuses
while read -r name target fails refuse; do
    log=$work/apt-$name.log
    : >"$log"
    no_wine32 env APT_LOG="$log" APT_UPDATE_FAILS=$fails APT_REFUSE=$refuse HARKWIN_APT_PAUSE=0 PATH="$work/bin" \
        "$work/bin/bash" "$work/tools/deps.sh" $target >"$work/out" 2>&1
    rc=$?
    updates=$(grep -c '^update' "$log")
    said=$(cat "$work/out")
    case $name in
    once)
        check '[ $rc = 0 ] && [ $updates = 2 ]' "an update that fails once: tried again, deps succeeds (exit $rc, $updates updates)"
        check 'grep -q "^install .*xvfb" "$log"' "and the install asks for what running needs"
        check '! grep -q -E "clang|cppcheck|googletest|i686|wine32" "$log"' "and nothing that only the tests need" ;;
    always)
        check '[ $rc != 0 ] && [ $updates = 3 ]' "an update that always fails: tried 3 times, deps fails (exit $rc, $updates updates)"
        check 'echo "$said" | grep "could not install" | grep "xvfb" | grep "binary-i386/Packages" | grep -q "mid-sync"' \
            "and says in one line which packages, which index, and that a later try may do: $(echo "$said" | tail -n 1)" ;;
    wine32)
        check '[ $rc = 0 ] && grep -q "^install .*clang.*xvfb" "$log" && grep -qx "install .* wine32:i386" "$log"' \
            "32-bit Wine refused: all else installed apart from it, deps succeeds (exit $rc)"
        check 'echo "$said" | grep "32-bit Wine could not be installed" | grep "smoke_i686" | grep -q "binary-i386/Packages"' \
            "and says so in one line, with the 32-bit layers' skip and the index: $(echo "$said" | tail -n 1)"
        check 'grep -q "^dpkg --add-architecture i386" "$log" && grep -q "^dpkg --remove-architecture i386" "$log"' \
            "and the i386 architecture it added is taken away again" ;;
    esac
done <<'ROWS'
once    run   1       -
always  run   always  wine64
wine32  test  always  wine32:i386
ROWS
echo "$passed passed, $failed failed"
[ $failed = 0 ]
