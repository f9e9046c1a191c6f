// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <string>

namespace huecast
{

/// The bundle's folder (the one holding huecast.so), found from the address of the bundle's
/// own code; empty when the system can't tell.
[[nodiscard]] std::string bundlePath();

/// The bundle's resources folder: bundlePath() + "/resources".
[[nodiscard]] std::string bundleResourcesPath();

} // namespace huecast
