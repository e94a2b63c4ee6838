#!/usr/bin/env bash
# tools/runs_i386.sh gives the kernel's true verdict however /tmp is mounted, tells a machine
# where no folder lets programs run apart from a kernel that runs no 32-bit programs, and
# skips for want of 32-bit Wine saying so. Each case in a mount namespace of its own, so the
# noexec and hiding mounts never reach this machine.
set -u
unset HARKWIN_NO_I386  # the probe itself, even where make test is told to skip the 32-bit layers
tool=$(cd "$(dirname "$0")/../.." && pwd)/tools/runs_i386.sh
build=$(dirname "$(dirname "$tool")")/build
passed=0 failed=0
check() {
    if eval "$1"; then echo "ok - $2"; passed=$((passed + 1)); else echo "FAIL - $2"; failed=$((failed + 1)); fi
}
# Each folder bound onto itself noexec, not covered: the checkout may live in one of them.
noexec() {  # noexec "FOLDERS" ARGS...: the probe with each folder there is made noexec
    unshare --mount --propagation private -- bash -c 'while IFS= read -r d; do [ ! -d "$d" ] ||
        { mount --bind "$d" "$d" && mount -o remount,bind,noexec "$d"; } || exit 9; done <<<"$1"
        shift; bash "$@" 2>&1; echo "exit $?"' - "$1" "$tool" "${@:2}"
}
baseline=$(bash "$tool" --kernel 2>&1; echo "exit $?")
said=$(noexec /tmp --kernel)
check '[ "$said" = "$baseline" ]' "/tmp noexec: the kernel's verdict as without it: $(echo $said)"
said=$(noexec "$build
${XDG_CACHE_HOME:-${HOME:-/nonexistent}/.cache}
/var/tmp
/tmp" --kernel)
check '[ "${said##*exit }" = 1 ] && [[ $said == *"cannot tell"* ]] && [[ $said != *"does not run"* ]]' \
    "no folder lets programs run: said so, not the kernel's no: $(echo $said)"
said=$(noexec /usr/lib/wine true)
check '[ "${said##*exit }" = 77 ] && [[ $said == *"32-bit Wine is not installed"* ]]' \
    "no 32-bit Wine: a skip that says so: $(echo $said)"
echo "$passed passed, $failed failed"
[ $failed = 0 ]
