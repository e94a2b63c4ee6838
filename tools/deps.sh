#!/usr/bin/env bash
# Installs the Debian packages that provide what a target calls and this machine lacks. Each
# need is the command or file itself, so whatever is already there counts, however it came.
#   deps.sh run     what building Harkwin.exe and running it under Wine calls (make run)
#   deps.sh test    that, and what the test layers call (make test)
# 32-bit Wine only where the kernel runs 32-bit programs (tools/runs_i386.sh), and on its own:
# where it cannot be installed, the rest still is, and the 32-bit layers are skipped.
# HARKWIN_APT_TRIES (default 3) and HARKWIN_APT_PAUSE (default 20 s) bound the index updates.
set -u
target=${1:-test}
here=$(cd "$(dirname "$0")" && pwd)

# A command on PATH, or an absolute path, and the package that provides it.
run_needs='
cmake                               cmake
x86_64-w64-mingw32-gcc-posix        gcc-mingw-w64-x86-64-posix
x86_64-w64-mingw32-g++-posix        g++-mingw-w64-x86-64-posix
x86_64-w64-mingw32-windres          binutils-mingw-w64-x86-64
wine                                wine
wineserver                          wine
/usr/lib/wine/wine64                wine64
/usr/share/wine/fonts/tahoma.ttf    fonts-wine
Xvfb                                xvfb
import                              imagemagick
flock                               util-linux
timeout                             coreutils
'
test_needs='
g++                                 g++
/usr/src/googletest/CMakeLists.txt  googletest
i686-w64-mingw32-gcc-posix          gcc-mingw-w64-i686-posix
i686-w64-mingw32-g++-posix          g++-mingw-w64-i686-posix
x86_64-w64-mingw32-objdump          binutils-mingw-w64-x86-64
i686-w64-mingw32-windres            binutils-mingw-w64-i686
convert                             imagemagick
ip                                  iproute2
unshare                             util-linux
findmnt                             util-linux
zip                                 zip
git                                 git
clang++                             clang
clang-tidy                          clang-tidy
clang-format                        clang-format
cppcheck                            cppcheck
'
case $target in
run) needs=$run_needs ;;
test) needs=$run_needs$test_needs ;;
*) echo "usage: deps.sh run|test" >&2; exit 2 ;;
esac

say() { echo "deps: $*" >&2; }
have() { case $1 in /*) [ -e "$1" ] ;; *) command -v "$1" >/dev/null ;; esac; }
. "$here/steps.sh"
log=$(mktemp /tmp/harkwin-apt.XXXXXX) || { say "no temporary file"; exit 1; }
trap 'rm -f "$log"' EXIT

# An archive caught mid-sync fails the update of one index while the others arrive: tried
# again a few times, then the lists apt has are used, and the install says if they fell short.
update_failed=
update() {
    local try tries=${HARKWIN_APT_TRIES:-3}
    for try in $(seq "$tries"); do
        if step 600 "apt-get update" apt-get update -qq >"$log" 2>&1; then update_failed=; return 0; fi
        update_failed=$(grep -E '^(E|W):' "$log" | grep -v -E '^W: (Some index files|Target )' | head -n 3)
        [ -n "$update_failed" ] || update_failed=$(tail -n 3 "$log")
        say "apt-get update failed (try $try of $tries): $update_failed"
        [ "$try" -lt "$tries" ] && sleep "${HARKWIN_APT_PAUSE:-20}"
    done
    say "going on with the package lists apt already has"
}

# install PACKAGE...: on failure, $failure says which packages, why, and which index fell short.
updated= failure=
install() {
    say "installing: $*"
    [ -n "$updated" ] || { update; updated=1; }
    # dpkg without a terminal of its own stays in the step's process group, where Ctrl+C ends it.
    DEBIAN_FRONTEND=noninteractive step 1800 "apt-get to install $*" \
        apt-get install -y -qq -o Dpkg::Use-Pty=0 --no-install-recommends "$@" >"$log" 2>&1 && return 0
    local why
    why=$(grep -E '^E:' "$log" | head -n 1)
    failure="could not install $* (${why:-$(tail -n 1 "$log")})${update_failed:+; the package lists were not updated (${update_failed%%$'\n'*}): an archive caught mid-sync is worth another try later}"
    return 1
}

missing=$(echo "$needs" | while read -r need package; do
    [ -n "$need" ] && ! have "$need" && echo "$package"
done | sort -u)
[ -z "$missing" ] || install $missing || { say "$failure"; exit 1; }
[ "$target" = test ] || exit 0

# Its foreign architecture's index is the one an archive caught mid-sync fails most often;
# the architecture is taken away again if it was added for nothing.
if [ ! -x /usr/lib/wine/wine ] && "$here/runs_i386.sh" --kernel 2>/dev/null; then
    added=
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386 && added=1
        updated=
    fi
    if ! install wine32:i386; then
        say "32-bit Wine could not be installed, so smoke_i686 and storm_i686 will be skipped (all else is in place): $failure"
        [ -z "$added" ] || dpkg --remove-architecture i386 || say "dpkg kept the i386 architecture"
    fi
fi

# libFuzzer comes with the clang runtime of clang's own major version.
fuzzer_links() {
    echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' |
        clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null
}
fuzzer_links || install "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev" || { say "$failure"; exit 1; }
fuzzer_links || { say "clang cannot link a fuzzer"; exit 1; }
