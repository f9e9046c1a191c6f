#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# Huecast beside its peers, side by side in one run, in sections (SECTIONS picks which, in any
# order; default all: "check render frei0r commands movie memory").
#
# check: loading one .cube file, FILE and a generated 65-point file with six-decimal values:
#   huecast check FILE
#   ociochecklut FILE 0.5 0.5 0.5             (OpenColorIO)
#   ffmpeg -vf lut3d=file=FILE on one 16x16 frame
# Runs are interleaved (one of each per round) so machine noise hits all three alike; prints
# the median wall time of each and the peers' medians as multiples of huecast's.
#
# render: grading one 1920x1080 8-bit RGBA frame through a 33-point LUT:
#   huecast: the whole host path (upload, the filter's frame calls and draw, read-back), timed
#            per frame by bench/RenderBench.cpp with a glFinish after each step
#   ffmpeg:  lut3d with interp=trilinear, the same LUT file, on raw RGBA frames; its time per
#            frame is (T(1 + N frames) - T(1 frame)) / N, so start-up and LUT loading drop out
# Both get the same thread count (llvmpipe's LP_NUM_THREADS, ffmpeg's -threads and
# -filter_threads: THREADS, default all cores); rounds alternate the two.
#
# frei0r: grading the same frames inside ffmpeg, the frei0r module against lut3d:
#   ffmpeg -vf frei0r=huecast:LUT   (the module from FREI0R_DIR, default the release build)
#   ffmpeg -vf lut3d=LUT:interp=trilinear
# on the same raw 1920x1080 RGBA frames, the same 33-point LUT and the same thread settings,
# timed per frame as above, rounds alternating the two.
#
# commands: whole commands as a user times them, start-up, reading and writing included:
#   huecast render -q --lut-file LUT [--compression none] IN -o OUT
#   ffmpeg [-start_number 1] -i IN -vf lut3d=file=LUT:interp=trilinear [writer options] OUT
# with LUT samples/luts/Cool.cube (33-point), on four jobs:
#   FRAMES (default 30) 1920x1080 frames, 8-bit RGB uncompressed TIFF -> the same
#   the same frames as 16-bit RGB uncompressed TIFF -> the same
#   the same frames as half-float RGB uncompressed OpenEXR -> the same (ffmpeg's exr encoder,
#       -format half -compression none)
#   one 64x36 8-bit RGB PNG -> PNG, both writers' default compression
#   that PNG, a 1920x1080 16-bit TIFF and a 1920x1080 half-float OpenEXR as oiiotool writes them
#       (text chunks; zip compression) -> the same kind, ffmpeg told the same compression
# The frames are a moving gradient plus noise, made once per run by ffmpeg's lavfi sources; both
# tools write files of the input's channel type, and the outputs are removed before every run.
# Thread counts as above, and OpenImageIO's pool (OPENIMAGEIO_THREADS) is THREADS too. Rounds
# alternate the two tools; prints each median, ffmpeg's as a multiple of huecast's (above 1:
# huecast faster) and the rounds. The sequences run (ROUNDS + 1) / 2 rounds, the PNG ROUNDS.
#
# movie: a 10-second 1920x1080 25 fps H.264 clip (yuv420p, with AAC sound) graded back into an
# H.264 movie, as a user times it:
#   huecast render -q --lut-file LUT CLIP -o OUT.mp4   (libx264 CRF 16 yuv420p, sound copied)
#   ffmpeg -i CLIP -vf lut3d=file=LUT:interp=trilinear -c:v libx264 -crf 16 -pix_fmt yuv420p
#          -c:a copy OUT.mp4
# (ROUNDS + 2) / 3 interleaved rounds; ffmpeg's median as a multiple of huecast's.
#
# memory: peak RSS (/usr/bin/time %M) of huecast render over a 10-frame and a MEMORY_FRAMES
# (default 300) 1920x1080 8-bit uncompressed TIFF sequence, and the difference; when the disk
# can't hold the 300 frames twice (about 3.8 GB), PNG frames instead, said in the printout.
#
# Usage: bench/peers.sh [HUECAST] [FILE] [ROUNDS]
#        (SECTIONS=..., THREADS=..., RENDER_BENCH=..., FREI0R_DIR=..., FRAMES=..., MEMORY_FRAMES=...)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
huecast=${1:-$root/build/release/tools/huecast/huecast}
file=${2:-$root/samples/luts/HighContrast.cube}
rounds=${3:-15}
render_bench=${RENDER_BENCH:-$root/build/release/bench/huecast_render_bench}
threads=${THREADS:-$(nproc)}
sections=${SECTIONS:-check render frei0r commands movie memory}
frames=${FRAMES:-30}
memory_frames=${MEMORY_FRAMES:-300}

frei0r_dir=${FREI0R_DIR:-$root/build/release/lib/frei0r-1}

need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "peers: $tool not found (run scripts/deps)" >&2; exit 1; }
    done
}
need ffmpeg
for section in $sections; do
    case $section in
        check) need "$huecast" ociochecklut /usr/bin/time ;;
        render) need "$render_bench" ;;
        frei0r) need "$render_bench" "$frei0r_dir/huecast.so" ;;
        commands) need "$huecast" oiiotool ;;
        movie | memory) need "$huecast" /usr/bin/time ;;
        *) echo "peers: no section '$section' (check render frei0r commands movie memory)" >&2; exit 2 ;;
    esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HUECAST_BENCH_DIR=$work LP_NUM_THREADS=$threads OPENIMAGEIO_THREADS=$threads

# Wall time of one run in microseconds, from bash's own clock: timing through date(1) adds the
# start of two processes, some 8 ms, to every run.
time_us() {
    local start end
    start=${EPOCHREALTIME/[.,]/}
    "$@"
    end=${EPOCHREALTIME/[.,]/}
    echo $((end - start))
}

# Printed in plain decimals: bc reads no exponents.
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.3f\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Loading one .cube file, in each tool.
check_file() {
    local cube=$1
    # ffmpeg's filter option parser treats ':' and '\' specially; give it a plain copy.
    cp "$cube" "$work/lut.cube"
    run_huecast() { "$huecast" check "$cube" >/dev/null; }
    run_ocio() { ociochecklut "$cube" 0.5 0.5 0.5 >/dev/null; }
    run_ffmpeg() {
        ffmpeg -v error -nostdin -f lavfi -i color=c=gray:s=16x16 -frames:v 1 \
            -vf "lut3d=file=$work/lut.cube:interp=trilinear" -f null - >/dev/null
    }

    : >"$work/huecast" && : >"$work/ocio" && : >"$work/ffmpeg"
    run_huecast && run_ocio && run_ffmpeg # warm the page cache and the dynamic loader
    for ((i = 0; i < rounds; i++)); do
        time_us run_huecast >>"$work/huecast"
        time_us run_ocio >>"$work/ocio"
        time_us run_ffmpeg >>"$work/ffmpeg"
    done

    local h o f peak bytes edge
    h=$(median <"$work/huecast")
    o=$(median <"$work/ocio")
    f=$(median <"$work/ffmpeg")
    peak=$( { /usr/bin/time -f '%M' "$huecast" check "$cube" >/dev/null; } 2>&1 | tail -1)
    bytes=$(stat -c %s "$cube")
    edge=$(awk '$1 == "LUT_3D_SIZE" { print $2; exit }' "$cube")

    echo "peers: $(basename "$cube"), ${edge:-no}-point, $bytes bytes, median of $rounds interleaved rounds"
    printf '  %-28s %10.1f ms   peak RSS %d KiB\n' "huecast check" "$(echo "$h / 1000" | bc -l)" "$peak"
    printf '  %-28s %10.1f ms   %.2fx huecast\n' "ociochecklut" "$(echo "$o / 1000" | bc -l)" "$(echo "$o / $h" | bc -l)"
    printf '  %-28s %10.1f ms   %.2fx huecast\n' "ffmpeg lut3d (1 frame)" "$(echo "$f / 1000" | bc -l)" "$(echo "$f / $h" | bc -l)"
}

section_check() {
    check_file "$file"
    # As grading tools write them: six decimals, values a little outside [0, 1]; the same
    # generator every run, so the file is the same every run.
    awk -v edge=65 'BEGIN {
        printf "TITLE \"bench %d\"\nLUT_3D_SIZE %d\n", edge, edge
        x = edge
        for (i = 0; i < 3 * edge * edge * edge; i++) {
            x = (x * 16807) % 2147483647
            printf "%.6f%s", -0.05 + 1.1 * x / 2147483647, (i % 3 == 2) ? "\n" : " "
        }
    }' >"$work/generated-65.cube"
    check_file "$work/generated-65.cube"
}

render_case=BM_HostPath/w:1920/h:1080/bytes:1/edge:33/tetrahedral:0/real_time
render_frames=30
render_rounds=$(((rounds + 1) / 2))
lut3d_filter="lut3d=file=$work/huecast-render-bench-33.cube:interp=trilinear"
frei0r_filter="frei0r=huecast:$work/huecast-render-bench-33.cube"

# One bench run: the frame's time and its split in ms, as "total upload render readback".
run_render_bench() {
    "$render_bench" --benchmark_filter="^${render_case}\$" --benchmark_min_time=2 \
        --benchmark_format=csv 2>/dev/null |
        awk -F, -v name="\"$render_case\"" '
            $1 == "name" { for (i = 1; i <= NF; i++) column[$i] = i }
            $1 == name { printf "%s %s %s %s\n", $column["real_time"], $column["\"upload_ms\""],
                                $column["\"render_ms\""], $column["\"readback_ms\""] }'
}
# ffmpeg through 1 + N copies of the frame, with the filter given (default lut3d).
run_ffmpeg_frames() {
    FREI0R_PATH=$frei0r_dir ffmpeg -v error -nostdin -threads "$threads" \
        -filter_threads "$threads" -f rawvideo -pix_fmt rgba -s 1920x1080 -stream_loop "$1" \
        -i "$work/frame.rgba" -vf "${2:-$lut3d_filter}" -f null -
}
# The raw frame, and the LUT that the render bench writes, once for both sections using them.
render_inputs() {
    [[ -f $work/frame.rgba ]] && return
    head -c $((1920 * 1080 * 4)) /dev/urandom >"$work/frame.rgba"
    run_render_bench >/dev/null # writes the LUT ffmpeg reads, warms the caches
}

# Grading a frame.
section_render() {
    render_inputs
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
}

# Per-frame time of ffmpeg with the filter, appended to the file.
time_ffmpeg_filter() {
    local one many
    one=$(time_us run_ffmpeg_frames 0 "$1")
    many=$(time_us run_ffmpeg_frames "$render_frames" "$1")
    echo "$(((many - one) / render_frames))" >>"$2"
}

# The same frames inside ffmpeg: the frei0r module against lut3d.
section_frei0r() {
    render_inputs
    run_ffmpeg_frames 0 "$frei0r_filter" # warms the module's first load
    : >"$work/frei0r" && : >"$work/lut3d-host"
    for ((i = 0; i < render_rounds; i++)); do
        time_ffmpeg_filter "$frei0r_filter" "$work/frei0r"
        time_ffmpeg_filter "$lut3d_filter" "$work/lut3d-host"
    done

    m=$(echo "$(median <"$work/frei0r") / 1000" | bc -l)
    l=$(echo "$(median <"$work/lut3d-host") / 1000" | bc -l)
    echo "peers: ffmpeg on 1920x1080 RGBA frames through a 33-point LUT, $threads threads, median of $render_rounds rounds"
    printf '  %-28s %10.2f ms/frame\n' "ffmpeg frei0r=huecast" "$m"
    printf '  %-28s %10.2f ms/frame   %.2fx frei0r=huecast\n' "ffmpeg lut3d trilinear" "$l" "$(echo "$l / $m" | bc -l)"
}

# A moving gradient with noise on it, so that compressing writers see something like footage.
make_frames() {
    local size=$1 count=$2
    shift 2
    ffmpeg -v error -nostdin -f lavfi \
        -i "gradients=s=$size:n=5:speed=0.03:r=25,format=rgb24,noise=alls=10:allf=t" \
        -frames:v "$count" "$@"
}

huecast_render() { "$huecast" render -q --lut-file "$work/cool.cube" "$@"; }
# ffmpeg INPUT OUTPUT-OPTIONS... OUTPUT, with lut3d and the thread settings.
ffmpeg_render() {
    local input=$1 sequence=()
    shift
    [[ $input == *%* ]] && sequence=(-start_number 1)
    ffmpeg -v error -nostdin -threads "$threads" -filter_threads "$threads" "${sequence[@]}" \
        -i "$input" -vf "lut3d=file=$work/cool.cube:interp=trilinear" -threads "$threads" "$@"
}

# One job: LABEL ROUNDS EXPECTED-OUTPUTS, with the two commands in the arrays huecast_job and
# ffmpeg_job, both writing into $work/out.
compare_commands() {
    local label=$1 n=$2 expected=$3 h f
    # The previous run's files are flushed first, so that their write-back isn't timed here.
    fresh_out() { rm -rf "$work/out" && mkdir "$work/out" && sync; }
    # Warm the page cache and the dynamic loader, and see that both write the same files.
    for side in huecast ffmpeg; do
        fresh_out
        if [[ $side == huecast ]]; then huecast_render "${huecast_job[@]}"; else ffmpeg_render "${ffmpeg_job[@]}"; fi
        local written
        written=$(find "$work/out" -type f | wc -l)
        [[ $written == "$expected" ]] || { echo "peers: $side wrote $written files for $label, not $expected" >&2; exit 1; }
    done
    : >"$work/huecast" && : >"$work/ffmpeg"
    for ((i = 0; i < n; i++)); do
        fresh_out
        time_us huecast_render "${huecast_job[@]}" >>"$work/huecast"
        fresh_out
        time_us ffmpeg_render "${ffmpeg_job[@]}" >>"$work/ffmpeg"
    done
    h=$(median <"$work/huecast")
    f=$(median <"$work/ffmpeg")
    echo "  $label, median of $n interleaved rounds"
    printf '    %-26s %10.1f ms\n' "huecast render" "$(echo "$h / 1000" | bc -l)"
    printf '    %-26s %10.1f ms   %.2fx huecast\n' "ffmpeg lut3d trilinear" "$(echo "$f / 1000" | bc -l)" "$(echo "$f / $h" | bc -l)"
}

# Whole commands, start-up and frame files included.
section_commands() {
    local in=$work/frames seq_rounds=$(((rounds + 1) / 2))
    cp "$root/samples/luts/Cool.cube" "$work/cool.cube"
    mkdir -p "$in/8" "$in/16" "$in/exr"
    make_frames 1920x1080 "$frames" -start_number 1 -compression_algo raw -pix_fmt rgb24 "$in/8/f.%04d.tif"
    ffmpeg -v error -nostdin -start_number 1 -i "$in/8/f.%04d.tif" -start_number 1 \
        -compression_algo raw -pix_fmt rgb48le "$in/16/f.%04d.tif"
    ffmpeg -v error -nostdin -start_number 1 -i "$in/8/f.%04d.tif" -start_number 1 \
        -pix_fmt gbrpf32le -format half -compression none "$in/exr/f.%04d.exr"
    make_frames 64x36 1 "$in/small.png"
    sync # the frames' write-back would fall on the first job's rounds

    echo "peers: whole commands through a 33-point LUT (Cool.cube), $threads threads, ffmpeg's time as a multiple of huecast's"
    huecast_job=(--compression none "$in/8/f.%04d.tif" -o "$work/out/f.%04d.tif")
    ffmpeg_job=("$in/8/f.%04d.tif" -compression_algo raw -pix_fmt rgb24 "$work/out/f.%04d.tif")
    compare_commands "$frames frames 1920x1080 8-bit uncompressed TIFF -> TIFF" "$seq_rounds" "$frames"
    huecast_job=(--compression none "$in/16/f.%04d.tif" -o "$work/out/f.%04d.tif")
    ffmpeg_job=("$in/16/f.%04d.tif" -compression_algo raw -pix_fmt rgb48le "$work/out/f.%04d.tif")
    compare_commands "$frames frames 1920x1080 16-bit uncompressed TIFF -> TIFF" "$seq_rounds" "$frames"
    huecast_job=(--compression none "$in/exr/f.%04d.exr" -o "$work/out/f.%04d.exr")
    ffmpeg_job=("$in/exr/f.%04d.exr" -pix_fmt gbrpf32le -format half -compression none "$work/out/f.%04d.exr")
    compare_commands "$frames frames 1920x1080 half-float uncompressed OpenEXR -> OpenEXR" "$seq_rounds" "$frames"
    huecast_job=("$in/small.png" -o "$work/out/small.png")
    ffmpeg_job=("$in/small.png" -frames:v 1 -pix_fmt rgb24 "$work/out/small.png")
    compare_commands "one 64x36 8-bit PNG -> PNG" "$rounds" 1
    # Single frames as oiiotool writes them (its text chunks, its default zip compression), each
    # written back in the same kind by both tools.
    oiiotool "$in/small.png" -o "$in/oiio-small.png"
    oiiotool "$in/8/f.0001.tif" -d uint16 -o "$in/oiio-16.tif"
    oiiotool "$in/8/f.0001.tif" -d half -o "$in/oiio-half.exr"
    huecast_job=("$in/oiio-small.png" -o "$work/out/small.png")
    ffmpeg_job=("$in/oiio-small.png" -frames:v 1 -pix_fmt rgb24 "$work/out/small.png")
    compare_commands "one 64x36 8-bit PNG written by oiiotool -> PNG" "$rounds" 1
    huecast_job=("$in/oiio-16.tif" -o "$work/out/f.tif")
    ffmpeg_job=("$in/oiio-16.tif" -frames:v 1 -compression_algo deflate -pix_fmt rgb48le "$work/out/f.tif")
    compare_commands "one 1920x1080 16-bit TIFF written by oiiotool (zip) -> TIFF" "$rounds" 1
    huecast_job=("$in/oiio-half.exr" -o "$work/out/f.exr")
    ffmpeg_job=("$in/oiio-half.exr" -frames:v 1 -pix_fmt gbrpf32le -format half -compression zip16 "$work/out/f.exr")
    compare_commands "one 1920x1080 half-float OpenEXR written by oiiotool (zip) -> OpenEXR" "$rounds" 1
    rm -rf "$in" "$work/out"
}

# A clip graded back into a movie, encoder and all.
section_movie() {
    local in=$work/movie
    cp "$root/samples/luts/Cool.cube" "$work/cool.cube"
    mkdir -p "$in"
    ffmpeg -v error -nostdin -f lavfi \
        -i "gradients=s=1920x1080:n=5:speed=0.03:r=25,noise=alls=10:allf=t" -f lavfi \
        -i "sine=r=48000" -t 10 -c:v libx264 -pix_fmt yuv420p -c:a aac "$in/clip.mp4"
    echo "peers: a clip graded into a movie through a 33-point LUT (Cool.cube), $threads threads"
    huecast_job=("$in/clip.mp4" -o "$work/out/graded.mp4")
    ffmpeg_job=("$in/clip.mp4" -c:v libx264 -crf 16 -pix_fmt yuv420p -c:a copy "$work/out/graded.mp4")
    compare_commands "10 s 1920x1080 25 fps H.264 -> H.264 (libx264 CRF 16), sound copied" \
        "$(((rounds + 2) / 3))" 1
    rm -rf "$in" "$work/out"
}

# Peak RSS of render over a short and a long sequence of the same frames.
section_memory() {
    local in=$work/memory ext=tif writer=(-compression_algo raw -pix_fmt rgb24) note="8-bit uncompressed TIFF"
    local free_kib need_kib
    cp "$root/samples/luts/Cool.cube" "$work/cool.cube"
    mkdir -p "$in/long" "$in/short" "$in/out"
    # The long sequence is read and written once: twice its size, plus a margin.
    free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
    need_kib=$((memory_frames * 1920 * 1080 * 3 * 2 * 11 / 10240))
    if ((free_kib < need_kib)); then
        ext=png writer=(-pix_fmt rgb24)
        note="8-bit PNG (only $((free_kib / 1024)) MiB free for the $((need_kib / 1024)) MiB of TIFF)"
    fi
    make_frames 1920x1080 "$memory_frames" -start_number 1 "${writer[@]}" "$in/long/f.%04d.$ext"
    for ((i = 1; i <= 10; i++)); do
        ln "$in/long/f.$(printf %04d "$i").$ext" "$in/short/"
    done

    # Peak RSS in KiB of one render of the sequence in the folder given.
    peak_rss() {
        rm -rf "$in/out" && mkdir "$in/out"
        local args=(--lut-file "$work/cool.cube" "$in/$1/f.%04d.$ext" -o "$in/out/f.%04d.$ext")
        [[ $ext == tif ]] && args+=(--compression none)
        /usr/bin/time -f '%M' -o "$in/rss" "$huecast" render -q "${args[@]}"
        cat "$in/rss"
    }
    local short long
    short=$(peak_rss short)
    long=$(peak_rss long)
    echo "peers: peak RSS of huecast render, 1920x1080 $note, $threads threads"
    printf '  %-28s %10d KiB\n' "10 frames" "$short" "$memory_frames frames" "$long"
    printf '  %-28s %10d KiB\n' "difference" "$((long - short))"
    rm -rf "$in"
}

for section in $sections; do
    "section_$section"
done
