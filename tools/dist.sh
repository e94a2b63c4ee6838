#!/usr/bin/env bash
# Builds the release packages: the exe, the README as text and the LICENSE, per architecture.
#   dist.sh build-dir
set -eu
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
version=1.0.0.0
mkdir -p "$build/dist"
for arch in win64:x86_64 win32:i686; do
    name=${arch%%:*} dir=${arch##*:}
    stage=$(mktemp -d /tmp/harkwin-dist.XXXXXX)
    cp "$build/win-$dir/Harkwin.exe" "$stage/Harkwin.exe"
    # Text files with Windows line ends, so Notepad shows them as written.
    sed 's/$/\r/' "$root/README.md" >"$stage/README.txt"
    sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
    zip_path=$(cd "$build/dist" && pwd)/Harkwin-$version-$name.zip
    rm -f "$zip_path"
    (cd "$stage" && TZ=UTC touch -d 2026-01-01 * && zip -q -X "$zip_path" Harkwin.exe README.txt LICENSE.txt)
    rm -rf "$stage"
done
cd "$build/dist" && sha256sum Harkwin-$version-win64.zip Harkwin-$version-win32.zip
