#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# Times loading one .cube file in huecast and in two peers, side by side in one run:
#   huecast check FILE
#   ociochecklut FILE 0.5 0.5 0.5             (OpenColorIO)
#   ffmpeg -vf lut3d=file=FILE on one 16x16 frame
# Runs are interleaved (one of each per round) so machine noise hits all three alike; prints
# the median wall time of each and the peers' medians as multiples of huecast's.
# Usage: bench/peers.sh [HUECAST] [FILE] [ROUNDS]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
huecast=${1:-$root/build/release/tools/huecast/huecast}
file=${2:-$root/samples/luts/HighContrast.cube}
rounds=${3:-15}

for tool in "$huecast" ociochecklut ffmpeg; do
    command -v "$tool" >/dev/null || { echo "peers: $tool not found (run scripts/deps)" >&2; exit 1; }
done

# ffmpeg's filter option parser treats ':' and '\' specially; give it a plain copy.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$file" "$work/lut.cube"

run_huecast() { "$huecast" check "$file" >/dev/null; }
run_ocio() { ociochecklut "$file" 0.5 0.5 0.5 >/dev/null; }
run_ffmpeg() {
    ffmpeg -v error -nostdin -f lavfi -i color=c=gray:s=16x16 -frames:v 1 \
        -vf "lut3d=file=$work/lut.cube:interp=trilinear" -f null - >/dev/null
}

# Wall time of one run in microseconds.
time_us() {
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/huecast" && : >"$work/ocio" && : >"$work/ffmpeg"
run_huecast && run_ocio && run_ffmpeg # warm the page cache and the dynamic loader
for ((i = 0; i < rounds; i++)); do
    time_us run_huecast >>"$work/huecast"
    time_us run_ocio >>"$work/ocio"
    time_us run_ffmpeg >>"$work/ffmpeg"
done

h=$(median <"$work/huecast")
o=$(median <"$work/ocio")
f=$(median <"$work/ffmpeg")
peak=$( { /usr/bin/time -f '%M' "$huecast" check "$file" >/dev/null; } 2>&1 | tail -1)
bytes=$(stat -c %s "$file")

echo "peers: $(basename "$file"), $bytes bytes, median of $rounds interleaved rounds"
printf '  %-28s %10.1f ms   peak RSS %d KiB\n' "huecast check" "$(echo "$h / 1000" | bc -l)" "$peak"
printf '  %-28s %10.1f ms   %.2fx huecast\n' "ociochecklut" "$(echo "$o / 1000" | bc -l)" "$(echo "$o / $h" | bc -l)"
printf '  %-28s %10.1f ms   %.2fx huecast\n' "ffmpeg lut3d (1 frame)" "$(echo "$f / 1000" | bc -l)" "$(echo "$f / $h" | bc -l)"
