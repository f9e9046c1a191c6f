// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>

#include "platform/fx/FxCustomValue.h"
#include "platform/fx/FxFilter.h"
#include "platform/fx/FxHostAPI.h"

namespace huecast::fx
{

/// Changes whenever FxBundleInterface or a type it passes changes incompatibly.
inline constexpr std::uint32_t kBundleInterfaceVersion = 3;

/// The name of the bundle's one exported symbol: `const FxBundleInterface* NAME(void)`.
inline constexpr const char* kBundleEntryPointName = "HuecastFxBundleEntry";

/// What a plug-in bundle offers its host. Host and bundle are built with the same compiler and
/// standard library; the entry point itself is C so the host can find it by name.
struct FxBundleInterface
{
    std::uint32_t interfaceVersion;
    /// Creates a filter for one effect instance, with the host's GL context current; null when
    /// creation fails. The manager outlives the filter. Destroy it with destroyFilter.
    FxFilter* (*createFilter)(PROAPIAccessing* manager);
    /// Destroys a filter made by createFilter, with the host's GL context current.
    void (*destroyFilter)(FxFilter* filter);
    /// Decodes a custom value archived by the bundle's own class `className`; null when the
    /// bundle knows no such class.
    FxCustomValuePtr (*decodeCustomValue)(const char* className,
                                          const foundation::KeyedUnarchiver* coder);
};

using FxBundleEntryPoint = const FxBundleInterface* (*)();

} // namespace huecast::fx
