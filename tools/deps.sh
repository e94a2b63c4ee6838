#!/usr/bin/env bash
# Installs the Debian packages that provide what the build, the tests and `make run` call
# and this machine lacks. Each need is the command or file itself, so whatever is already
# there counts, however it came.
set -eu

# A command on PATH, or an absolute path, and the package that provides it.
needs='
cmake                               cmake
g++                                 g++
/usr/src/googletest/CMakeLists.txt  googletest
x86_64-w64-mingw32-gcc-posix        gcc-mingw-w64-x86-64-posix
x86_64-w64-mingw32-g++-posix        g++-mingw-w64-x86-64-posix
i686-w64-mingw32-gcc-posix          gcc-mingw-w64-i686-posix
i686-w64-mingw32-g++-posix          g++-mingw-w64-i686-posix
x86_64-w64-mingw32-windres          binutils-mingw-w64-x86-64
x86_64-w64-mingw32-objdump          binutils-mingw-w64-x86-64
i686-w64-mingw32-windres            binutils-mingw-w64-i686
wine                                wine
wineboot                            wine
wineserver                          wine
/usr/lib/wine/wine64                wine64
/usr/lib/wine/wine                  wine32:i386
/usr/share/wine/fonts/tahoma.ttf    fonts-wine
Xvfb                                xvfb
convert                             imagemagick
import                              imagemagick
ip                                  iproute2
unshare                             util-linux
zip                                 zip
git                                 git
findmnt                             util-linux
flock                               util-linux
clang++                             clang
clang-tidy                          clang-tidy
clang-format                        clang-format
cppcheck                            cppcheck
'

have() { case $1 in /*) [ -e "$1" ] ;; *) command -v "$1" >/dev/null ;; esac; }

updated=
install() {
    echo "installing: $*"
    case " $* " in *:i386*) dpkg --add-architecture i386; updated= ;; esac
    [ -n "$updated" ] || { apt-get update -qq; updated=1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

missing=$(echo "$needs" | while read -r need package; do
    [ -n "$need" ] && ! have "$need" && echo "$package"
done | sort -u)
[ -z "$missing" ] || install $missing

# libFuzzer comes with the clang runtime of clang's own major version.
fuzzer_links() {
    echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' |
        clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null
}
fuzzer_links || install "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
fuzzer_links || { echo "deps: clang cannot link a fuzzer" >&2; exit 1; }
