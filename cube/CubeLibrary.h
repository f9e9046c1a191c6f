// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <string>
#include <vector>

namespace huecast
{

/// The folders whose .cube files the "3D LUT" popup lists, in order: the library folder first
/// (kDefaultCubesLocation, expanded), then $XDG_DATA_HOME/huecast/luts (~/.local/share when
/// unset), then huecast/luts under each folder of $XDG_DATA_DIRS (/usr/local/share:/usr/share
/// when unset), so that LUTs a package installs are there at once. Relative folders in the
/// variables are ignored, as the XDG rules ask; each folder comes once, without a trailing "/".
[[nodiscard]] std::vector<std::string> cubeLibraryFolders();

/// One popup entry of the library and the file it loads.
struct CubeLibraryEntry
{
    std::string name;   ///< the file name without ".cube"
    std::string folder; ///< one of the folders, where the name was found first
    [[nodiscard]] std::string path() const { return folder + "/" + name + ".cube"; }
    friend bool operator==(const CubeLibraryEntry&, const CubeLibraryEntry&) = default;
};

/// The entries of the folders, in folder order and sorted by name within each folder; a name
/// found in an earlier folder hides the same name in later ones.
[[nodiscard]] std::vector<CubeLibraryEntry>
cubeLibraryEntries(const std::vector<std::string>& folders);

} // namespace huecast
