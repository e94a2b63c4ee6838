#!/usr/bin/env bash
# Whether this machine runs 32-bit Windows programs under Wine: its kernel must run 32-bit x86
# programs (some virtual machines, and kernels booted with their 32-bit emulation off, answer
# every i386 executable with "Exec format error"), and 32-bit Wine must be installed. The
# kernel is asked itself, with a 96-byte i386 executable that exits with 42.
# HARKWIN_NO_I386=1 makes it answer no.
#   runs_i386.sh                     exit 0 if it does, 1 (and why, on stderr) if not
#   runs_i386.sh --kernel            the same, of the kernel alone (is 32-bit Wine worth installing)
#   runs_i386.sh command...          runs the command if it does, else says why and exits 77 (a skip)
set -u
kernel_only=
if [ "${1:-}" = --kernel ]; then kernel_only=1; shift; fi
root=$(cd "$(dirname "$0")/.." && pwd)
# The probe runs from a folder where programs may run: the build folder, the user's cache,
# then the temporary ones. A folder mounted noexec answers "Permission denied" and the next
# is tried; only "Exec format error" is the kernel's no.
kernel() {
    local dir probe said rc refused=
    for dir in "$root/build" "${XDG_CACHE_HOME:-${HOME:-/nonexistent}/.cache}" /var/tmp /tmp; do
        [ -d "$dir" ] && [ -w "$dir" ] || continue
        probe=$(mktemp "$dir/.harkwin-i386.XXXXXX" 2>/dev/null) || continue
        # ELF header, one loadable segment, then: mov eax, 1; mov ebx, 42; int 0x80 (exit).
        printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0'\
'\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0\5\0\0\0\0\20\0\0'\
'\270\1\0\0\0\273\52\0\0\0\315\200' >"$probe" && chmod 700 "$probe"
        # Run by bash itself: execvp would hand a file the kernel refuses to /bin/sh as a script.
        said=$(export LC_ALL=C; "$probe" 2>&1)
        rc=$?
        rm -f "$probe"
        said=${said//"$probe"/the probe}
        [ $rc = 42 ] && return 0
        case $said in
        *"Permission denied"*) refused="$refused $dir"; continue ;;
        *"Exec format error"* | *"cannot execute binary file"*) echo "the kernel does not run 32-bit x86 programs (Exec format error)"; return 1 ;;
        esac
        echo "the kernel does not run 32-bit x86 programs (a test one exited with $rc${said:+: $said})"
        return 1
    done
    echo "cannot tell whether the kernel runs 32-bit x86 programs: no folder lets programs run here (refused in:${refused:- none writable})"
    return 1
}
why=
if [ -n "${HARKWIN_NO_I386:-}" ]; then
    why="HARKWIN_NO_I386 is set"
else
    why=$(kernel)
    if [ -z "$kernel_only" ] && [ ! -x /usr/lib/wine/wine ]; then
        why="${why:+$why; and }32-bit Wine is not installed (no /usr/lib/wine/wine: tools/deps.sh test installs it where it can)"
    fi
fi
if [ $# = 0 ]; then
    [ -z "$why" ] && exit 0
    echo "runs_i386: $why" >&2
    exit 1
fi
[ -z "$why" ] && exec "$@"
echo "skipped: $why"
exit 77
