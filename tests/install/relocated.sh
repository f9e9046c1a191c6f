#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# Installs the build into a temporary prefix, moves the tree, hides the build and source trees
# from it, and runs the installed tool from there: it must find its bundle and modules relative
# to itself, and the LUT library must fill from the installed samples on a fresh HOME.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" --strip >/dev/null
mv "$work/prefix" "$work/moved"
tree=$work/moved

if grep -rlF -e "$build" -e "$source/build" "$tree"; then
    echo "FAIL: the installed files above name the build tree" >&2
    exit 1
fi

# What the installed tool runs; a fresh HOME, so the library starts empty.
run_installed() {
    set -euo pipefail
    export HOME=$work/home
    unset HUECAST_BUNDLE
    cd "$work"
    huecast=$tree/bin/huecast
    "$huecast" --version | grep -qx "huecast [0-9.]*"
    "$huecast" check "$tree/share/huecast/luts/Warm.cube" >/dev/null
    "$huecast" library --add "$tree"/share/huecast/luts/*.cube >/dev/null
    [ "$("$huecast" list | sort)" = $'Cool\nExternal File\nHighContrast\nNo LUT\nWarm' ]
    "$huecast" render --lut Warm "$work/frame.png" -o "$work/warm.png"
    "$huecast" inspector -o "$work/panel.png" --path "$work/look.cube"
    [ -s "$work/panel.png" ]
    if cmp -s "$work/frame.png" "$work/warm.png"; then return 1; fi
}
cp "$source/samples/clip/clip.0001.png" "$work/frame.png"
# A sanitizer build reads its leak suppressions from the source tree, which is about to go.
if [[ ${LSAN_OPTIONS:-} =~ suppressions=([^:]*) ]]; then
    cp "${BASH_REMATCH[1]}" "$work/lsan.supp"
    export LSAN_OPTIONS=${LSAN_OPTIONS/${BASH_REMATCH[1]}/$work/lsan.supp}
fi
mkdir "$work/home"
export -f run_installed
export work tree

# Hide both trees behind empty folders in a private mount namespace (root, or an unprivileged
# user namespace); where neither is allowed, the grep above is the check.
hide="mount -t tmpfs none '$build' && mount -t tmpfs none '$source'"
if unshare --mount true 2>/dev/null; then
    unshare --mount bash -c "$hide && run_installed"
elif unshare --map-root-user --mount true 2>/dev/null; then
    unshare --map-root-user --mount bash -c "$hide && run_installed"
else
    echo "note: no mount namespace here; the build tree stays visible" >&2
    bash -c run_installed
fi
echo "installed tree ran from $tree"
