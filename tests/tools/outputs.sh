#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# The bytes that render writes, frame for frame, against digests recorded from the tool as it
# was before frames were read, graded and written side by side: the sample clip, the same clip
# as 16-bit TIFF and as half-float OpenEXR sequences, and one frame through every 3D file of
# the corpus. Any change in what a frame holds, which file it lands in, or how it is stored
# shows here.
#
# Usage: outputs.sh HUECAST SOURCE-DIR          compare with tests/data/render-digests.txt
#        outputs.sh HUECAST SOURCE-DIR --record  print the digests instead
set -euo pipefail
huecast=$1 source=$2 mode=${3:-compare}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home # an empty LUT library: --lut-file only
cd "$work"

render() { "$huecast" render -q "$@"; }
lut=$source/samples/luts/Warm.cube

render --lut-file "$lut" "$source/samples/clip/clip.%04d.png" -o clip/
render --lut-file "$lut" --depth uint16 --compression none \
    "$source/samples/clip/clip.%04d.png" -o tiff16/clip.%04d.tif
render --lut-file "$source/samples/luts/Cool.cube" "tiff16/clip.%04d.tif" -o tiff16-graded/
render --lut-file "$lut" --depth half "$source/samples/clip/clip.%04d.png" -o exr/clip.%04d.exr
render --lut-file "$source/samples/luts/HighContrast.cube" "exr/clip.%04d.exr" -o exr-graded/
mkdir corpus
for cube in "$source"/tests/data/corpus/*.cube; do
    name=$(basename "$cube" .cube)
    # 1D-only files are refused by the reader; what matters here is every file that renders.
    render --lut-file "$cube" "$source/samples/clip/clip.0001.png" -o "corpus/$name.png" \
        2>/dev/null || true
done

# TIFF and OpenEXR writers stamp the time of writing (DateTime): the one byte run that may
# differ between two writes of the same frame, set to a fixed time before the digest.
stamp='[0-9]{4}:[0-9]{2}:[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'
for file in $(find . -path ./home -prune -o -type f -print | LC_ALL=C sort); do
    digest=$(LC_ALL=C sed -E "s/$stamp/2000:01:01 00:00:00/g" "$file" | sha256sum)
    echo "${digest%% *}  $file"
done >"$work.digests"
mv "$work.digests" digests
if [ "$mode" = --record ]; then
    cat digests
    exit 0
fi
if ! diff -u "$source/tests/data/render-digests.txt" digests; then
    echo "FAIL: the files above differ from the recorded outputs (- recorded, + now)" >&2
    exit 1
fi
echo "$(wc -l <digests) outputs as recorded"
