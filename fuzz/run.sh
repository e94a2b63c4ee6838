#!/usr/bin/env bash
# Runs one fuzzer for a bounded time from its seeds, new inputs kept in a scratch copy.
#   run.sh fuzzer seed-dir seconds
set -u
fuzzer=$1 seeds=$2 seconds=$3
work=$(mktemp -d /tmp/harkwin-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -r "$seeds"/. "$work/corpus/" 2>/dev/null || { mkdir -p "$work/corpus"; cp -r "$seeds"/. "$work/corpus/"; }
cd "$work" && "$fuzzer" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 corpus 2>&1 | tail -n 12
exit "${PIPESTATUS[0]}"
