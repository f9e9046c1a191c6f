// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <string_view>

namespace huecast
{

/// The filter's parameters, by the ids the host stores them under. Hosts and tools that drive
/// the filter name its parameters through this enumeration.
enum class HuecastParameter : std::uint32_t
{
    LUT = 1,      ///< "3D LUT": popup index into the LUT list
    CubeData = 2, ///< "CubeData": the chosen cube (hidden)
    LoadLUT = 3,  ///< "Load LUT": the external file's path, shown through the custom view
};

/// The id a host call takes for the parameter.
[[nodiscard]] constexpr std::uint32_t parmIdOf(HuecastParameter parameter)
{
    return static_cast<std::uint32_t>(parameter);
}

/// The "3D LUT" popup's fixed entries; library entries follow from kFirstLibraryIndex.
inline constexpr std::string_view kNoLUTName = "No LUT";
inline constexpr std::string_view kExternalFileName = "External File";
inline constexpr std::int32_t kNoLUTIndex = 0;
inline constexpr std::int32_t kExternalFileIndex = 1;
inline constexpr std::int32_t kFirstLibraryIndex = 2;

} // namespace huecast
