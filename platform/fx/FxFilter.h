// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <memory>

#include "platform/foundation/Value.h"
#include "platform/fx/FxImage.h"

namespace huecast::kit
{
class NSView;
} // namespace huecast::kit

namespace huecast::fx
{

/// A filter that supplies its own controls for parameters declared with the custom-UI flag.
class FxCustomParameterViewHost
{
public:
    virtual ~FxCustomParameterViewHost() = default;
    /// A new control for the parameter, owned by the caller; null for a parameter without one.
    [[nodiscard]] virtual std::shared_ptr<kit::NSView> createViewForParm(std::uint32_t parmId) = 0;
};

/// A video filter, as the host sees it. Every call comes on the host's calling thread, with the
/// host's GL context current for creation, rendering and destruction.
class FxFilter
{
public:
    virtual ~FxFilter() = default;

    /// What the filter supports, as a new dictionary.
    [[nodiscard]] virtual foundation::Dictionary properties() const = 0;
    [[nodiscard]] virtual bool variesOverTime() const = 0;
    /// Declares the filter's parameters; false when they could not be declared.
    virtual bool addParameters() = 0;
    /// Reacts to a change of a parameter's value.
    virtual bool parameterChanged(std::uint32_t parmId) = 0;
    /// The output size for an input; false when a place is missing.
    virtual bool getOutputWidth(std::uint64_t* width, std::uint64_t* height,
                                const FxImageInfo& input, const FxRenderInfo& info) = 0;
    /// Which paths (GPU, CPU) the filter renders this frame on.
    virtual bool frameSetup(const FxRenderInfo& info, const FxImageInfo& inputInfo, bool* hardware,
                            bool* software) = 0;
    /// Draws the output from the input into the host's current render target.
    virtual bool renderOutput(FxImage& output, FxImage& input, const FxRenderInfo& info) = 0;
    virtual bool frameCleanup() = 0;

    /// The filter's custom-view host side, or null when it has none.
    [[nodiscard]] virtual FxCustomParameterViewHost* customParameterViewHost() { return nullptr; }
};

} // namespace huecast::fx
