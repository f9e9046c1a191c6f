#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# The GNU parallel farm recipe on one machine: four ranges of a 24-frame sequence on two local
# job slots give the same bytes as one render of the whole sequence, and rerunning a range
# whose frames went missing restores them.
set -euo pipefail
tool=$1 source=$2
command -v parallel >/dev/null || { echo "FAIL: GNU parallel is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME" "$work/plate"
cd "$work"

# 24 different frames: the sample clip, then the clip through another LUT.
"$tool" render --lut-file "$source/samples/luts/Cool.cube" "$source/samples/clip/clip.####.png" \
    -o "$work/cool/"
for n in $(seq 1 12); do
    cp "$source/samples/clip/clip.$(printf %04d "$n").png" "plate/shot.$(printf %04d "$n").png"
    mv "cool/clip.$(printf %04d "$n").png" "plate/shot.$(printf %04d $((n + 12))).png"
done

"$tool" render --lut-file "$source/samples/luts/Warm.cube" --save-project shot.json \
    plate/shot.0001.png -o probe.png
"$tool" render --project shot.json 'plate/shot.####.png' -o whole/

farm() {
    parallel --will-cite --sshlogin 2/: --joblog "$work/grade.log" \
        "$tool" render --project "$work/shot.json" --frames {} \
        "'$work/plate/shot.####.png'" -o "$work/farm/" ::: "$@"
}
farm 1-6 7-12 13-18 19-24
[ "$(find farm -type f | wc -l)" -eq 24 ]
diff -r whole farm

rm farm/shot.0008.png farm/shot.0011.png
farm 7-12
diff -r whole farm
# Each task grades its own range only, or the farm would do the whole shot on every node.
"$tool" render --project shot.json --frames 13-18 'plate/shot.####.png' -o part/
[ "$(cd part && echo *)" = "$(cd plate && echo shot.00{13..18}.png)" ]
echo "four ranges on two slots match one render, byte for byte"
