#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# Huecast beside its peers, side by side in one run, in two parts.
#
# Loading one .cube file:
#   huecast check FILE
#   ociochecklut FILE 0.5 0.5 0.5             (OpenColorIO)
#   ffmpeg -vf lut3d=file=FILE on one 16x16 frame
# Runs are interleaved (one of each per round) so machine noise hits all three alike; prints
# the median wall time of each and the peers' medians as multiples of huecast's.
#
# Grading one 1920x1080 8-bit RGBA frame through a 33-point LUT:
#   huecast: the whole host path (upload, the filter's frame calls and draw, read-back), timed
#            per frame by bench/RenderBench.cpp with a glFinish after each step
#   ffmpeg:  lut3d with interp=trilinear, the same LUT file, on raw RGBA frames; its time per
#            frame is (T(1 + N frames) - T(1 frame)) / N, so start-up and LUT loading drop out
# Both get the same thread count (llvmpipe's LP_NUM_THREADS, ffmpeg's -threads and
# -filter_threads: THREADS, default all cores); rounds alternate the two.
#
# Grading the same frames inside ffmpeg, the frei0r module against lut3d:
#   ffmpeg -vf frei0r=huecast:LUT   (the module from FREI0R_DIR, default the release build)
#   ffmpeg -vf lut3d=LUT:interp=trilinear
# on the same raw 1920x1080 RGBA frames, the same 33-point LUT and the same thread settings,
# timed per frame as above, rounds alternating the two.
#
# Usage: bench/peers.sh [HUECAST] [FILE] [ROUNDS]   (RENDER_BENCH=..., THREADS=..., FREI0R_DIR=...)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
huecast=${1:-$root/build/release/tools/huecast/huecast}
file=${2:-$root/samples/luts/HighContrast.cube}
rounds=${3:-15}
render_bench=${RENDER_BENCH:-$root/build/release/bench/huecast_render_bench}
threads=${THREADS:-$(nproc)}

frei0r_dir=${FREI0R_DIR:-$root/build/release/lib/frei0r-1}

for tool in "$huecast" "$render_bench" "$frei0r_dir/huecast.so" ociochecklut ffmpeg; do
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

# Grading a frame.
render_case=BM_HostPath/w:1920/h:1080/bytes:1/edge:33/real_time
render_frames=30
render_rounds=$(((rounds + 1) / 2))
export HUECAST_BENCH_DIR=$work LP_NUM_THREADS=$threads
head -c $((1920 * 1080 * 4)) /dev/urandom >"$work/frame.rgba"

# One bench run: the frame's time and its split in ms, as "total upload render readback".
run_render_bench() {
    "$render_bench" --benchmark_filter="^${render_case}\$" --benchmark_min_time=2 \
        --benchmark_format=csv 2>/dev/null |
        awk -F, -v name="\"$render_case\"" '
            $1 == "name" { for (i = 1; i <= NF; i++) column[$i] = i }
            $1 == name { printf "%s %s %s %s\n", $column["real_time"], $column["\"upload_ms\""],
                                $column["\"render_ms\""], $column["\"readback_ms\""] }'
}
lut3d_filter="lut3d=file=$work/huecast-render-bench-33.cube:interp=trilinear"
frei0r_filter="frei0r=huecast:$work/huecast-render-bench-33.cube"
# ffmpeg through 1 + N copies of the frame, with the filter given (default lut3d).
run_ffmpeg_frames() {
    FREI0R_PATH=$frei0r_dir ffmpeg -v error -nostdin -threads "$threads" \
        -filter_threads "$threads" -f rawvideo -pix_fmt rgba -s 1920x1080 -stream_loop "$1" \
        -i "$work/frame.rgba" -vf "${2:-$lut3d_filter}" -f null -
}

run_render_bench >/dev/null # writes the LUT ffmpeg reads, warms the caches
run_ffmpeg_frames 0
: >"$work/render" && : >"$work/lut3d"
for ((i = 0; i < render_rounds; i++)); do
    run_render_bench >>"$work/render"
    one=$(time_us run_ffmpeg_frames 0)
    many=$(time_us run_ffmpeg_frames "$render_frames")
    echo "$(((many - one) / render_frames))" >>"$work/lut3d"
done

h=$(cut -d' ' -f1 <"$work/render" | median)
f=$(echo "$(median <"$work/lut3d") / 1000" | bc -l)
echo "peers: 1920x1080 8-bit RGBA through a 33-point LUT, $threads threads, median of $render_rounds rounds"
printf '  %-28s %10.2f ms/frame\n' "huecast host path" "$h"
printf '  %-28s %10.2f ms/frame   %.2fx huecast\n' "ffmpeg lut3d trilinear" "$f" "$(echo "$f / $h" | bc -l)"
printf '  huecast split: upload %.2f ms, frame calls and draw %.2f ms, read-back %.2f ms\n' \
    "$(cut -d' ' -f2 <"$work/render" | median)" "$(cut -d' ' -f3 <"$work/render" | median)" \
    "$(cut -d' ' -f4 <"$work/render" | median)"

# The same frames inside ffmpeg: the frei0r module against lut3d.
run_ffmpeg_frames 0 "$frei0r_filter" # warms the module's first load
: >"$work/frei0r" && : >"$work/lut3d-host"
# Per-frame time of ffmpeg with the filter, appended to the file.
time_ffmpeg_filter() {
    local one many
    one=$(time_us run_ffmpeg_frames 0 "$1")
    many=$(time_us run_ffmpeg_frames "$render_frames" "$1")
    echo "$(((many - one) / render_frames))" >>"$2"
}
for ((i = 0; i < render_rounds; i++)); do
    time_ffmpeg_filter "$frei0r_filter" "$work/frei0r"
    time_ffmpeg_filter "$lut3d_filter" "$work/lut3d-host"
done

m=$(echo "$(median <"$work/frei0r") / 1000" | bc -l)
l=$(echo "$(median <"$work/lut3d-host") / 1000" | bc -l)
echo "peers: ffmpeg on 1920x1080 RGBA frames through a 33-point LUT, $threads threads, median of $render_rounds rounds"
printf '  %-28s %10.2f ms/frame\n' "ffmpeg frei0r=huecast" "$m"
printf '  %-28s %10.2f ms/frame   %.2fx frei0r=huecast\n' "ffmpeg lut3d trilinear" "$l" "$(echo "$l / $m" | bc -l)"
