// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace huecast
{

/// The filter's parameters, by the ids the host stores them under. Hosts and tools that drive
/// the filter name its parameters through this enumeration.
enum class HuecastParameter : std::uint32_t
{
    LUT = 1,           ///< "3D LUT": popup index into the LUT list
    CubeData = 2,      ///< "CubeData": the chosen cube (hidden)
    LoadLUT = 3,       ///< "Load LUT": the external file's path, shown through the custom view
    Interpolation = 4, ///< "Interpolation": popup, how the lattice is interpolated
    Amount = 5,        ///< "Amount": slider 0..1, how much of the graded colour replaces the input
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

/// The "Interpolation" popup's entries, by index: the texture unit's trilinear lookup (the
/// default), or four lattice entries weighted in the fragment stage.
inline constexpr std::string_view kTrilinearName = "Trilinear";
inline constexpr std::string_view kTetrahedralName = "Tetrahedral";
inline constexpr std::int32_t kTrilinearIndex = 0;
inline constexpr std::int32_t kTetrahedralIndex = 1;

/// The "Interpolation" index that a host's text names: an entry's name in any case
/// ("tetrahedral", "Tetrahedral"), or nothing.
[[nodiscard]] constexpr std::optional<std::int32_t> interpolationIndexOf(std::string_view name)
{
    const auto sameIgnoringCase = [name](std::string_view entry)
    {
        const auto lower = [](char c)
        { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return name.size() == entry.size() &&
               std::equal(name.begin(), name.end(), entry.begin(),
                          [&lower](char a, char b) { return lower(a) == lower(b); });
    };
    if (sameIgnoringCase(kTrilinearName))
    {
        return kTrilinearIndex;
    }
    if (sameIgnoringCase(kTetrahedralName))
    {
        return kTetrahedralIndex;
    }
    return std::nullopt;
}

/// The "Amount" slider: output = input + amount × (graded − input).
inline constexpr double kAmountMin = 0.0;
inline constexpr double kAmountMax = 1.0;
inline constexpr double kAmountDefault = 1.0;

} // namespace huecast
