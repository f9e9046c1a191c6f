#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Copyright Huecast contributors
#
# Packages the build with CPack, unpacks the .deb into a temporary root (no dpkg -i), runs the
# tool from there on a fresh HOME, and has lintian (when installed) find no errors.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
debs=("$work"/package/huecast_*_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "FAIL: no huecast_<version>_<arch>.deb" >&2; exit 1; }
dpkg-deb -x "$deb" "$work/root"

huecast=$work/root/usr/bin/huecast
export HOME=$work/home
unset HUECAST_BUNDLE
mkdir "$HOME"
[ "$("$huecast" --version | head -n 1)" = "huecast $(dpkg-deb -f "$deb" Version)" ]
"$huecast" library --add "$work"/root/usr/share/huecast/luts/*.cube >/dev/null
"$huecast" render --lut Warm "$source/samples/clip/clip.0001.png" -o "$work/warm.png"
[ -s "$work/warm.png" ]
for file in usr/share/man/man1/huecast.1.gz usr/share/bash-completion/completions/huecast \
    usr/share/doc/huecast/copyright usr/share/doc/huecast/README.md usr/lib/frei0r-1/huecast.so \
    usr/share/kdenlive/effects/frei0r_huecast.xml; do
    [ -f "$work/root/$file" ] || { echo "FAIL: the package lacks $file" >&2; exit 1; }
done
[[ $(dpkg-deb -f "$deb" Description) == *"frei0r filter module"* ]] ||
    { echo "FAIL: the description doesn't mention the frei0r module" >&2; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q libopenimageio ||
    { echo "FAIL: dependencies not worked out from the binaries" >&2; exit 1; }

if command -v lintian >/dev/null; then
    lintian --fail-on error --tag-display-limit 0 "$deb"
else
    echo "note: lintian is not installed; the package was not linted" >&2
fi
