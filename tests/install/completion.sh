#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# Drives the completion function the way bash's programmable completion does (COMP_WORDS,
# COMP_CWORD) and checks what it offers.
set -euo pipefail
tool=$1 completion=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
library="$HOME/Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay"
mkdir -p "$library" "$work/luts/sub"
touch "$library/Warm.cube" "$library/Warm Night.cube" "$library/Cold.CUBE" "$library/notes.txt"
touch "$work/luts/look.cube" "$work/luts/notes.txt"
# Names from the XDG data folders too, each once.
export XDG_DATA_HOME=$work/data XDG_DATA_DIRS=$work/system
mkdir -p "$XDG_DATA_HOME/huecast/luts" "$XDG_DATA_DIRS/huecast/luts"
touch "$XDG_DATA_HOME/huecast/luts/Wheat.cube" "$XDG_DATA_DIRS/huecast/luts/Warm.cube" \
    "$XDG_DATA_DIRS/huecast/luts/Wine.cube"
# shellcheck source=/dev/null
source "$completion"

offers() {
    COMP_WORDS=("$tool" "$@")
    COMP_CWORD=$#
    _huecast 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd '|'
}
expect() {
    local want=$1
    shift
    local got
    got=$(offers "$@")
    if [ "$got" != "$want" ]; then
        echo "FAIL: huecast $* offered '$got', expected '$want'" >&2
        exit 1
    fi
}

expect "library|list" li
expect "Wheat" sheet frame.png --lut Wh
expect "--lut|--lut-file" render --lu
expect "--add" library --a
expect "Warm|Warm\\ Night|Wheat|Wine" render --frames 1-2 --lut W
expect "$work/luts/look.cube|$work/luts/sub" render --lut-file "$work/luts/"
expect "$work/luts/look.cube|$work/luts/sub" check "$work/luts/"
expect "--json" check --j
expect "$work/luts/look.cube|$work/luts/sub" library --add "$work/luts/look.cube" "$work/luts/"
echo "completion offers what it should"
