#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright Huecast contributors
#
# The frei0r module inside real hosts (ffmpeg, melt, GStreamer), one case per run:
#   hosts.sh CASE HUECAST MODULE_DIR
# HUECAST is the built tool, graded frames are compared with `huecast render` of the same
# frames. Frames are small and few: the suite runs twice (dev and AddressSanitizer). With
# HUECAST_PRELOAD set (sanitized builds), the hosts run with those runtimes preloaded.
set -euo pipefail

case_name=$1
huecast=$2
export FREI0R_PATH=$3
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# ffmpeg's filter arguments treat ':' and '\' specially: LUTs get plain names in the work folder.
cp "$source_dir/samples/luts/Warm.cube" warm.cube
cp "$source_dir/samples/luts/Cool.cube" cool.cube

fail() {
    echo "FAIL ($case_name): $*" >&2
    exit 1
}

# Runs a host with the sanitizer runtimes preloaded when the module is sanitized. Memory errors
# are caught; leak checking is left to the module's own test: LeakSanitizer's tracer crashes
# (SIGSEGV) scanning thread-local storage in these hosts once Mesa's driver is loaded.
host() {
    if [ -n "${HUECAST_PRELOAD:-}" ]; then
        ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" LD_PRELOAD="$HUECAST_PRELOAD" "$@"
    else
        "$@"
    fi
}

# Runs melt (its arguments after the first frame it must write), keeping what it says in
# melt.log, shown on failure. Under load melt now and then ends with status 0 before writing a
# single frame when the filter's first frame is slow (one run in five of the filtered ones
# beside eight busy loops), and once in thirty runs it hung: such a run is tried again, three
# runs at most, each given two minutes.
melt_frames() {
    local first=$1
    shift
    for attempt in 1 2 3; do
        local status=0
        host timeout 120 melt "$@" >melt.log 2>&1 || status=$?
        if [ "$status" -ne 0 ] && [ "$status" -ne 124 ]; then
            tail -20 melt.log >&2
            fail "melt failed with status $status"
        fi
        [ -e "$first" ] && return 0
        echo "melt ended without writing $first (run $attempt, status $status)" >&2
    done
    tail -20 melt.log >&2
    fail "melt wrote no frames in three runs"
}

# The decoded pixels of an image or video, as raw rgb24 bytes in a file.
decode() { ffmpeg -v error -nostdin -i "$1" -f rawvideo -pix_fmt rgb24 -y "$2"; }

# The largest difference between two raw files of one size, in code values.
max_difference() {
    python3 -c '
import sys
a, b = (open(name, "rb").read() for name in sys.argv[1:3])
print(max(abs(x - y) for x, y in zip(a, b)) if len(a) == len(b) and a else 999)' "$1" "$2"
}

# Three 64x48 8-bit RGB frames, each with other colours.
make_frames() {
    ffmpeg -v error -nostdin -f lavfi -i "testsrc2=s=64x48:r=24,hue=h=t*2000" -frames:v 3 \
        -pix_fmt rgb24 in.%02d.png
}

# in.NN.png graded by huecast render through the LUT (and the render options after it),
# decoded into the raw file.
reference() {
    "$huecast" render --lut-file "$1" "${@:3}" 'in.##.png' -o ref >/dev/null
    cat ref/in.0{1,2,3}.png | ffmpeg -v error -nostdin -f png_pipe -i - -f rawvideo \
        -pix_fmt rgb24 -y "$2"
}

case $case_name in
ffmpeg-sequence)
    make_frames
    reference warm.cube expected.rgb
    host ffmpeg -v error -nostdin -i in.%02d.png -vf frei0r=huecast:warm.cube out.%02d.png
    cat out.0{1,2,3}.png | ffmpeg -v error -nostdin -f png_pipe -i - -f rawvideo -pix_fmt rgb24 \
        -y graded.rgb
    cmp graded.rgb expected.rgb || fail "ffmpeg's frames differ from huecast render's"
    ffmpeg -v error -nostdin -i in.%02d.png -vf lut3d=file=warm.cube:interp=trilinear \
        -f rawvideo -pix_fmt rgb24 lut3d.rgb
    difference=$(max_difference graded.rgb lut3d.rgb)
    [ "$difference" -le 1 ] || fail "ffmpeg's lut3d differs by $difference code values"
    ;;
ffmpeg-clip)
    ffmpeg -v error -nostdin -f lavfi -i testsrc2=s=64x48:r=24 -f lavfi -i sine=d=1 \
        -frames:v 24 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest clip.mp4
    host ffmpeg -v error -nostdin -i clip.mp4 -vf frei0r=huecast:warm.cube -c:a copy graded.mp4
    frames=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=nb_read_frames -of csv=p=0 graded.mp4)
    [ "$frames" = 24 ] || fail "graded.mp4 has $frames frames, not 24"
    audio=$(ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 graded.mp4)
    [ "$audio" = aac ] || fail "graded.mp4 has no audio track (\"$audio\")"
    decode clip.mp4 before.rgb && decode graded.mp4 after.rgb
    [ "$(max_difference before.rgb after.rgb)" -gt 8 ] || fail "the clip came out ungraded"
    ;;
ffmpeg-project)
    make_frames
    reference warm.cube expected.rgb
    "$huecast" render --lut-file warm.cube --save-project look.json in.01.png -o ignored.png >/dev/null
    rm warm.cube
    # The project is the second parameter; the empty first one leaves lut unset.
    host ffmpeg -v error -nostdin -i in.%02d.png -vf "frei0r=huecast:|look.json" \
        -f rawvideo -pix_fmt rgb24 graded.rgb
    cmp graded.rgb expected.rgb || fail "the project grades otherwise than its .cube"
    ;;
ffmpeg-broken)
    make_frames
    printf 'LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0\n' >look.cube
    host ffmpeg -v error -nostdin -i in.%02d.png -vf frei0r=huecast:look.cube \
        -f rawvideo -pix_fmt rgb24 graded.rgb 2>messages || fail "ffmpeg exited $?"
    ffmpeg -v error -nostdin -i in.%02d.png -f rawvideo -pix_fmt rgb24 input.rgb
    cmp graded.rgb input.rgb || fail "frames changed through a broken LUT"
    [ "$(cat messages)" = "huecast: look.cube: Huecast Error: Malformed data Line:7" ] ||
        fail "expected the reader's message once, got: $(cat messages)"
    ;;
ffmpeg-strict)
    # With HUECAST_FREI0R_STRICT=1 every failure ends ffmpeg with status 1 after its one message.
    make_frames
    printf 'LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0\n' >broken.cube
    strict() {
        local expected=$1 status=0
        shift
        HUECAST_FREI0R_STRICT=1 host "$@" ffmpeg -v error -nostdin -i in.%02d.png \
            -vf "$filter" -f rawvideo -pix_fmt rgb24 -y graded.rgb 2>messages || status=$?
        [ "$status" = 1 ] || fail "$filter: ffmpeg exited $status, not 1"
        [ "$(cat messages)" = "$expected" ] || fail "$filter: expected '$expected', got: $(cat messages)"
    }
    filter=frei0r=huecast:broken.cube
    strict "huecast: broken.cube: Huecast Error: Malformed data Line:7"
    filter=frei0r=huecast:Loook
    strict 'huecast: "Loook" is neither a .cube file nor in the LUT library (`huecast list` shows what is)'
    filter="frei0r=huecast:|missing.json"
    strict 'huecast: The project "missing.json" couldn'"'"'t be read: The file "missing.json" couldn'"'"'t be read: No such file or directory'
    filter="frei0r=huecast:warm.cube||cubic"
    strict 'huecast: interpolation "cubic" is neither trilinear nor tetrahedral'
    filter=frei0r=huecast:warm.cube
    # No EGL driver: no GL.
    strict "huecast: No EGL display: surfaceless: EGL_MESA_platform_surfaceless is missing; device: EGL_EXT_platform_device is missing" \
        env __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json
    # A good LUT grades as without it.
    reference warm.cube expected.rgb
    HUECAST_FREI0R_STRICT=1 host ffmpeg -v error -nostdin -i in.%02d.png -vf "$filter" \
        -f rawvideo -pix_fmt rgb24 -y graded.rgb || fail "a good LUT failed in strict mode"
    cmp graded.rgb expected.rgb || fail "strict mode grades otherwise"
    ;;
ffmpeg-controls)
    make_frames
    reference warm.cube expected.rgb --interpolation tetrahedral --amount 0.6
    # Interpolation and amount follow lut and project, so older filter strings keep working.
    host ffmpeg -v error -nostdin -i in.%02d.png -vf "frei0r=huecast:warm.cube||tetrahedral|0.6" \
        -f rawvideo -pix_fmt rgb24 graded.rgb
    cmp graded.rgb expected.rgb || fail "the controls grade otherwise than huecast render's"
    # A project keeps its saved controls where the module's are unset or at their defaults, as
    # GStreamer sets every parameter.
    "$huecast" render --lut-file warm.cube --interpolation tetrahedral --amount 0.6 \
        --save-project look.json in.01.png -o ignored.png >/dev/null
    host ffmpeg -v error -nostdin -i in.%02d.png -vf "frei0r=huecast:|look.json||1" \
        -f rawvideo -pix_fmt rgb24 restored.rgb
    cmp restored.rgb expected.rgb || fail "the project's saved controls were not kept"
    host ffmpeg -v error -nostdin -i in.%02d.png -vf "frei0r=huecast:warm.cube||cubic" \
        -f rawvideo -pix_fmt rgb24 unknown.rgb 2>messages || fail "ffmpeg exited $?"
    ffmpeg -v error -nostdin -i in.%02d.png -f rawvideo -pix_fmt rgb24 input.rgb
    cmp unknown.rgb input.rgb || fail "frames changed through an unknown interpolation"
    [ "$(cat messages)" = 'huecast: interpolation "cubic" is neither trilinear nor tetrahedral' ] ||
        fail "expected one message for the interpolation, got: $(cat messages)"
    ;;
ffmpeg-link)
    # link/../warm.cube is real/warm.cube for the kernel, whatever ./warm.cube holds.
    make_frames
    mkdir -p real/sub && cp warm.cube real/warm.cube && cp cool.cube warm.cube
    ln -s real/sub link
    reference real/warm.cube expected.rgb
    host ffmpeg -v error -nostdin -i in.%02d.png -vf frei0r=huecast:link/../warm.cube \
        -f rawvideo -pix_fmt rgb24 graded.rgb
    cmp graded.rgb expected.rgb || fail "the module graded another file than the path names"
    ;;
ffmpeg-narrow)
    # ffmpeg pads rows to 64 bytes where frei0r's are packed: a width of 8 is scrambled, and the
    # module says so once.
    ffmpeg -v error -nostdin -f lavfi -i testsrc2=s=8x6 -frames:v 3 -pix_fmt rgb24 in.%02d.png
    host ffmpeg -v error -nostdin -i in.%02d.png -vf frei0r=huecast:warm.cube \
        -f rawvideo -pix_fmt rgb24 graded.rgb 2>messages || fail "ffmpeg exited $?"
    [ "$(grep -c 'not a multiple of 16 pixels (this one is 8)' messages)" = 1 ] ||
        fail "expected one warning of the width, got: $(cat messages)"
    ;;
ffmpeg-two-chains)
    make_frames
    reference warm.cube warm.rgb
    reference cool.cube cool.rgb
    host ffmpeg -v error -nostdin -i in.%02d.png -filter_complex \
        "split[a][b];[a]frei0r=huecast:warm.cube[l];[b]frei0r=huecast:cool.cube[r];[l][r]hstack" \
        stacked.%02d.png
    for side in 0 64; do
        ffmpeg -v error -nostdin -i stacked.%02d.png -vf "crop=64:48:$side:0" \
            -f rawvideo -pix_fmt rgb24 "side$side.rgb"
    done
    cmp side0.rgb warm.rgb || fail "the left chain isn't graded with warm.cube"
    cmp side64.rgb cool.rgb || fail "the right chain isn't graded with cool.cube"
    ;;
melt)
    ffmpeg -v error -nostdin -f lavfi -i testsrc2=s=64x48:r=24 -frames:v 6 -c:v libx264 \
        -pix_fmt yuv444p -qp 0 clip.mp4
    # The decoded frames without the filter, graded by huecast, against melt's own grading.
    melt_frames in.01.png -silent -quiet clip.mp4 out=2 -consumer avformat:in.%02d.png \
        vcodec=png pix_fmt=rgb24
    reference "$work/warm.cube" expected.rgb
    melt_frames out.01.png -silent -quiet clip.mp4 out=2 -filter frei0r.huecast \
        lut="$work/warm.cube" -consumer avformat:out.%02d.png vcodec=png pix_fmt=rgb24
    cat out.0{1,2,3}.png | ffmpeg -v error -nostdin -f png_pipe -i - -f rawvideo -pix_fmt rgb24 \
        -y graded.rgb
    difference=$(max_difference graded.rgb expected.rgb)
    [ "$difference" -le 1 ] || fail "melt's frames differ from huecast render's by $difference"
    ;;
ffmpeg-home-copy)
    # The module copied into frei0r's per-user folder finds the private folder where the Debian
    # package installs it. The build is installed there inside a mount namespace of its own,
    # through an overlay that leaves the real folder untouched.
    build=$(cd "$FREI0R_PATH/../.." && pwd)
    private=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
    unshare --mount true 2>/dev/null || { echo "note: no mount namespace; not run" >&2; exit 0; }
    make_frames
    reference warm.cube expected.rgb
    cmake --install "$build" --prefix "$work/prefix" >/dev/null
    mkdir -p "$work/home/.frei0r-1/lib" overlay
    cp "$work"/prefix/lib/frei0r-1/huecast.so "$work/home/.frei0r-1/lib/"
    installed=$(dirname "$(find "$work/prefix" -name Huecast.bundle)")
    export private work installed
    export -f host
    unshare --mount bash -euo pipefail -c '
        mount -t tmpfs none overlay && mkdir overlay/upper overlay/work
        mount -t overlay overlay -o "lowerdir=$private,upperdir=overlay/upper,workdir=overlay/work" \
            "$private"
        cp -r "$installed" "$private/huecast"
        HOME=$work/home host env -u FREI0R_PATH ffmpeg -v error -nostdin -i in.%02d.png \
            -vf frei0r=huecast:warm.cube -f rawvideo -pix_fmt rgb24 graded.rgb'
    cmp graded.rgb expected.rgb || fail "the copied module grades otherwise"
    ;;
kdenlive)
    # Kdenlive's effect description names only parameters the module declares, all of them.
    description=$source_dir/adapters/frei0r/frei0r_huecast.xml
    host melt -query filter=frei0r.huecast >query.yml 2>/dev/null
    python3 - "$description" query.yml <<'CHECK' || fail "the effect description and the module differ"
import re, sys, xml.etree.ElementTree as tree
effect = tree.parse(sys.argv[1]).getroot()
described = [parameter.get("name") for parameter in effect.iter("parameter")]
declared = re.findall(r"^    title: (.*)$", open(sys.argv[2]).read(), re.M)
print(f"described {described}, declared {declared}", file=sys.stderr)
sys.exit(effect.get("tag") != "frei0r.huecast" or sorted(described) != sorted(declared) or not declared)
CHECK
    # A project as Kdenlive saves it: the clip on a track, the effect with every property. It
    # grades byte for byte as the module in ffmpeg does, from a lossless clip.
    ffmpeg -v error -nostdin -f lavfi -i "testsrc2=s=64x48:r=24,hue=h=t*2000" -frames:v 3 \
        -c:v ffv1 -pix_fmt bgr0 clip.mkv
    cat >project.kdenlive <<PROJECT
<?xml version='1.0' encoding='utf-8'?>
<mlt LC_NUMERIC="C" version="7.12.0" producer="main_bin" root="$work">
 <profile description="64x48 24 fps" width="64" height="48" progressive="1" sample_aspect_num="1"
  sample_aspect_den="1" display_aspect_num="4" display_aspect_den="3" frame_rate_num="24"
  frame_rate_den="1" colorspace="709"/>
 <producer id="producer0" in="00:00:00.000" out="00:00:00.083">
  <property name="length">3</property>
  <property name="eof">pause</property>
  <property name="resource">clip.mkv</property>
  <property name="mlt_service">avformat</property>
  <property name="kdenlive:id">2</property>
 </producer>
 <playlist id="main_bin">
  <property name="kdenlive:docproperties.version">1.04</property>
  <entry producer="producer0" in="00:00:00.000" out="00:00:00.083"/>
 </playlist>
 <playlist id="playlist0">
  <property name="kdenlive:track_name">V1</property>
  <entry producer="producer0" in="00:00:00.000" out="00:00:00.083">
   <property name="kdenlive:id">2</property>
   <filter id="filter0">
    <property name="mlt_service">frei0r.huecast</property>
    <property name="kdenlive_id">frei0r.huecast</property>
    <property name="lut">$work/warm.cube</property>
    <property name="project"></property>
    <property name="interpolation">tetrahedral</property>
    <property name="amount">0.6</property>
    <property name="kdenlive:collapsed">0</property>
   </filter>
  </entry>
 </playlist>
 <tractor id="tractor0" in="00:00:00.000" out="00:00:00.083">
  <property name="kdenlive:trackheight">67</property>
  <track producer="playlist0"/>
 </tractor>
</mlt>
PROJECT
    melt_frames out.01.png -silent -quiet project.kdenlive -consumer avformat:out.%02d.png \
        vcodec=png pix_fmt=rgb24
    cat out.0{1,2,3}.png | ffmpeg -v error -nostdin -f png_pipe -i - -f rawvideo -pix_fmt rgb24 \
        -y graded.rgb
    host ffmpeg -v error -nostdin -i clip.mkv -vf "frei0r=huecast:warm.cube||tetrahedral|0.6" \
        -f rawvideo -pix_fmt rgb24 expected.rgb
    decode clip.mkv ungraded.rgb
    cmp graded.rgb expected.rgb || fail "melt's frames differ from the module's in ffmpeg"
    [ "$(max_difference graded.rgb ungraded.rgb)" -gt 8 ] || fail "the project came out ungraded"
    ;;
gstreamer-readme)
    # The README's GStreamer command, as it stands there, keeps the sound.
    ffmpeg -v error -nostdin -f lavfi -i testsrc2=s=64x48:r=24 -f lavfi -i sine=d=1 -t 1 \
        -c:v libx264 -pix_fmt yuv420p -c:a aac clip.mov
    cp warm.cube look.cube
    command=$(sed -n '/^gst-launch-1.0 /,/[^\\]$/p' "$source_dir/README.md")
    [ -n "$command" ] || fail "the README has no gst-launch-1.0 command"
    host timeout 120 bash -c "$command" >/dev/null || fail "gst-launch-1.0 failed or hung ($?)"
    frames=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=nb_read_frames -of csv=p=0 graded.mp4)
    [ "$frames" = 24 ] || fail "graded.mp4 has $frames frames, not 24"
    audio=$(ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 graded.mp4)
    [ "$audio" = aac ] || fail "graded.mp4 has no audio track (\"$audio\")"
    decode clip.mov before.rgb && decode graded.mp4 after.rgb
    [ "$(max_difference before.rgb after.rgb)" -gt 8 ] || fail "the clip came out ungraded"
    ;;
gstreamer)
    make_frames
    reference "$work/warm.cube" expected.rgb
    host gst-launch-1.0 -q multifilesrc location=in.%02d.png start-index=1 stop-index=3 \
        caps=image/png,framerate=24/1 ! pngdec ! videoconvert ! \
        frei0r-filter-huecast lut="$work/warm.cube" ! videoconvert ! pngenc ! \
        multifilesink location=out.%02d.png >/dev/null
    cat out.0{0,1,2}.png | ffmpeg -v error -nostdin -f png_pipe -i - -f rawvideo -pix_fmt rgb24 \
        -y graded.rgb
    cmp graded.rgb expected.rgb || fail "GStreamer's frames differ from huecast render's"
    ;;
*)
    fail "no such case"
    ;;
esac
