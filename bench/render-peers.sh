#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# One 1920x1080 8-bit RGBA frame through a 33-point LUT, side by side in one run:
#   huecast: the whole host path (upload, the filter's frame calls and draw, read-back), timed
#            per frame by bench/RenderBench.cpp, with a glFinish after each step
#   ffmpeg:  lut3d with interp=trilinear, the same LUT file, on raw RGBA frames; its time per
#            frame is (T(1 + N frames) - T(1 frame)) / N, so start-up and LUT loading drop out
# Both get the same thread count: llvmpipe's LP_NUM_THREADS and ffmpeg's -threads and
# -filter_threads. Rounds alternate the two; prints the medians and ffmpeg's time as a
# multiple of huecast's, and how huecast's frame splits.
# Usage: bench/render-peers.sh [BENCH] [ROUNDS] [THREADS]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/release/bench/huecast_render_bench}
rounds=${2:-5}
threads=${3:-$(nproc)}
frames=30
case=BM_HostPath/w:1920/h:1080/bytes:1/edge:33/real_time

for tool in "$bench" ffmpeg; do
    command -v "$tool" >/dev/null || { echo "render-peers: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HUECAST_BENCH_DIR=$work LP_NUM_THREADS=$threads
head -c $((1920 * 1080 * 4)) /dev/urandom >"$work/frame.rgba"

# One bench run: the frame's median time and its split, in ms, as "total upload render readback".
run_huecast() {
    "$bench" --benchmark_filter="^${case}\$" --benchmark_min_time=2 \
        --benchmark_format=csv 2>/dev/null |
        awk -F, -v name="\"$case\"" '
            $1 == "name" { for (i = 1; i <= NF; i++) column[$i] = i }
            $1 == name { printf "%s %s %s %s\n", $column["real_time"], $column["\"upload_ms\""],
                                $column["\"render_ms\""], $column["\"readback_ms\""] }'
}

run_ffmpeg() {
    ffmpeg -v error -nostdin -threads "$threads" -filter_threads "$threads" \
        -f rawvideo -pix_fmt rgba -s 1920x1080 -stream_loop "$1" -i "$work/frame.rgba" \
        -vf "lut3d=file=$work/huecast-render-bench-33.cube:interp=trilinear" -f null -
}

ms_of() {
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    echo "$(((end - start) / 1000))" | awk '{ printf "%.3f\n", $1 / 1000 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_huecast >/dev/null # writes the LUT ffmpeg reads, warms the caches
run_ffmpeg 0
for ((i = 0; i < rounds; i++)); do
    run_huecast >>"$work/huecast"
    one=$(ms_of run_ffmpeg 0)
    many=$(ms_of run_ffmpeg "$frames")
    echo "$one $many" | awk -v n="$frames" '{ printf "%.3f\n", ($2 - $1) / n }' >>"$work/ffmpeg"
done

h=$(cut -d' ' -f1 <"$work/huecast" | median)
f=$(median <"$work/ffmpeg")
up=$(cut -d' ' -f2 <"$work/huecast" | median)
draw=$(cut -d' ' -f3 <"$work/huecast" | median)
back=$(cut -d' ' -f4 <"$work/huecast" | median)

echo "render-peers: 1920x1080 8-bit RGBA, 33-point LUT, $threads threads, median of $rounds rounds"
printf '  %-34s %8.2f ms/frame\n' "huecast host path" "$h"
printf '  %-34s %8.2f ms/frame   %.2fx huecast\n' "ffmpeg lut3d trilinear" "$f" "$(echo "$f / $h" | bc -l)"
printf '  huecast split: upload %.2f ms, frame calls and draw %.2f ms, read-back %.2f ms\n' \
    "$up" "$draw" "$back"
