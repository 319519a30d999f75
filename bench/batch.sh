#!/usr/bin/env bash
# 10,000 EAN-13 PNG files through `tolvane barcode --batch` against
# `zint --batch` on the same input, in the same folder: files per second for
# both and the ratio ours / peer (above 1: we are faster).
#
#   bench/batch.sh [TOLVANE] [COUNT]
set -euo pipefail
tolvane=${1:-$(dirname "$0")/../build/cli/tolvane}
count=${2:-10000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Twelve-digit texts; both add the check digit.
awk -v n="$count" 'BEGIN { for (i = 0; i < n; i++) printf "%012d\n", 400638000000 + i * 7919 }' >"$work/input.txt"

# Wall-clock seconds of a command, its own output discarded.
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); echo "$t1 - $t0" | bc; }

# The file system's cost of creating files varies from run to run, so each
# side runs twice, alternating, into fresh names, and its faster run counts.
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
ours= peer=
for round in 1 2; do
  rm -f "$work"/t-*.png "$work"/z-*.png
  peer=$(best "$peer" "$(seconds zint --batch -b EANX --scale=1 --filetype=PNG -o "$work/z-~~~~~.png" -i "$work/input.txt")")
  ours=$(best "$ours" "$(seconds "$tolvane" barcode --type ean13 --scale 2 --batch --input "$work/input.txt" \
                          --output "$work/t-#####.png")")
done
made_ours=$(find "$work" -name 't-*.png' | wc -l)
made_peer=$(find "$work" -name 'z-*.png' | wc -l)
printf 'batch of %d EAN-13 PNG files\n' "$count"
printf '  ours  %6d files in %6.2f s: %8.0f files/s\n' "$made_ours" "$ours" "$(echo "$made_ours / $ours" | bc -l)"
printf '  peer  %6d files in %6.2f s: %8.0f files/s\n' "$made_peer" "$peer" "$(echo "$made_peer / $peer" | bc -l)"
printf '  ratio ours / peer: %.2f\n' "$(echo "($made_ours / $ours) / ($made_peer / $peer)" | bc -l)"
