#!/usr/bin/env bash
# Builds the release packages: the exe, the user's README and the LICENSE, per architecture.
# The same commit gives the same zips, byte for byte.
#   dist.sh build-dir
set -eu
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Harkwin VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
licence=$(head -n 1 "$root/LICENSE")
# The status table of the developers' README, as plain text.
statuses=$(awk -F'|' 'NR > 2 && /^\| (Trying|Offline|Online|Error) \|/ {
    gsub(/^ +| +$/, "", $2); gsub(/^ +| +$/, "", $3); gsub(/^ +| +$/, "", $4)
    printf "  %-8s %-16s %s\n", $2, $3, $4 }' "$root/README.md")
[ "$(echo "$statuses" | wc -l)" = 4 ] || { echo "dist: the README's status table was not found" >&2; exit 1; }
mkdir -p "$build/dist"
for arch in win64:x86_64 win32:i686; do
    name=${arch%%:*} dir=${arch##*:}
    stage=$(mktemp -d /tmp/harkwin-dist.XXXXXX)
    cp "$build/win-$dir/Harkwin.exe" "$stage/Harkwin.exe"
    # Text files with Windows line ends, so Notepad shows them as written.
    awk -v version="$version" -v licence="$licence" -v statuses="$statuses" '
        /^@STATUSES@$/ { print statuses; next }
        { gsub(/@VERSION@/, version); gsub(/@LICENSE@/, licence); print }' "$root/docs/README.release.txt" |
        sed 's/$/\r/' >"$stage/README.txt"
    sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
    zip_path=$(cd "$build/dist" && pwd)/Harkwin-$version-$name.zip
    rm -f "$zip_path"
    # zip stores local time and the files' modes: both fixed, whatever the machine's zone and umask.
    (cd "$stage" && chmod 644 * && export TZ=UTC0 && touch -d 2026-01-01 * &&
        zip -q -X "$zip_path" Harkwin.exe README.txt LICENSE.txt)
    rm -rf "$stage"
done
cd "$build/dist" && sha256sum Harkwin-$version-win64.zip Harkwin-$version-win32.zip
