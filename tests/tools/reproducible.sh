#!/usr/bin/env bash
# A release is rebuilt byte for byte from its sources: two builds, from copies in folders with
# different paths, at different times, in different time zones and under different umasks,
# give the same Harkwin.exe for both architectures and the same release zips.
set -u
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/harkwin-repro.XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT

build_in() {  # build_in DIR: the sources copied to DIR/src, built in DIR/out, packed
    local dir=$1 arch
    mkdir -p "$dir/src" || return 1
    (cd "$repo" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$dir/src") || return 1
    for arch in x86_64 i686; do
        cmake -S "$dir/src" -B "$dir/out/win-$arch" -DCMAKE_BUILD_TYPE=MinSizeRel \
            -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/mingw-$arch.cmake" >"$dir/cmake-$arch.log" 2>&1 &&
            cmake --build "$dir/out/win-$arch" --target Harkwin -j 2 >>"$dir/cmake-$arch.log" 2>&1 ||
            { cat "$dir/cmake-$arch.log"; return 1; }
    done
    "$dir/src/tools/dist.sh" "$dir/out"
}

(umask 022 && TZ=UTC0 build_in "$work/first") || exit 1
(umask 077 && TZ=JST-9 build_in "$work/a/second/one") || exit 1
passed=0 failed=0
for file in win-x86_64/Harkwin.exe win-i686/Harkwin.exe dist/Harkwin-*-win64.zip dist/Harkwin-*-win32.zip; do
    a=$(echo "$work"/first/out/$file) b=$(echo "$work"/a/second/one/out/$file)
    if cmp "$a" "$b"; then echo "ok - $file is the same"; passed=$((passed + 1))
    else echo "FAIL - $file differs"; failed=$((failed + 1)); fi
done
echo "$passed passed, $failed failed"
[ $failed = 0 ]
