#!/usr/bin/env bash
# Whole-process comparison: tolvane-cli load FILE -o x.bin against
# srec_cat FILE -intel -o x.bin -binary, on a full 64 KiB HEX file
# (4096 data records) or on the file given.
#
# Usage: bench/image/compare-with-srec-cat.sh [HEX-FILE] [TOLVANE-CLI]
# Uses hyperfine when it is installed, else a plain timing loop.
set -euo pipefail
cd "$(dirname "$0")/../.."

cli="${2:-build/bin/tolvane-cli}"
[ -x "$cli" ] || { echo "no $cli: build first (cmake --preset default && cmake --build --preset default)" >&2; exit 2; }
command -v srec_cat >/dev/null || { echo "srec_cat is not installed (apt-get install srecord)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
file="${1:-}"
if [ -z "$file" ]; then
  file="$work/full-64k.hex"
  srec_cat -generate 0 0x10000 -random -o "$file" -intel -obs=16
fi

ours="$cli load $file -o $work/ours.bin"
theirs="srec_cat $file -intel -o $work/theirs.bin -binary"

if command -v hyperfine >/dev/null; then
  hyperfine --warmup 5 --min-runs 50 -N "$ours" "$theirs"
else
  runs=200
  for command in "$ours" "$theirs"; do
    start=$(date +%s%N)
    for _ in $(seq $runs); do $command >/dev/null; done
    end=$(date +%s%N)
    echo "$command: $(( (end - start) / runs / 1000 )) us per run (mean of $runs)"
  done
fi
