// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <string_view>

namespace huecast
{

// Dictionary, coding and cache keys: each text equals its constant's name.
inline constexpr std::string_view kCubeEdgeSizeKey = "kCubeEdgeSizeKey";
inline constexpr std::string_view kCubeFileNameKey = "kCubeFileNameKey";
inline constexpr std::string_view kCubeFormatKey = "kCubeFormatKey";
inline constexpr std::string_view kCubeDataKey = "kCubeDataKey";
inline constexpr std::string_view kDomainMinKey = "kDomainMinKey";
inline constexpr std::string_view kDomainMaxKey = "kDomainMaxKey";
inline constexpr std::string_view kColourCubeKey = "kColourCubeKey";
inline constexpr std::string_view kIridasCubeFormat = "kIridasCubeFormat";
inline constexpr std::string_view kIdentityCube = "kIdentityCube";

/// The LUT library folder, in its "~" form; expanded where it is used.
inline constexpr std::string_view kDefaultCubesLocation =
    "~/Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay/";

} // namespace huecast
