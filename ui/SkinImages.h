// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string_view>

#include "platform/kit/Geometry.h"
#include "platform/kit/NSImage.h"

namespace huecast
{

/// One skin: the three pieces of a three-part image. A piece whose file is missing or unreadable
/// is null.
struct SkinImages
{
    std::shared_ptr<kit::NSImage> startCap;
    std::shared_ptr<kit::NSImage> centerFill;
    std::shared_ptr<kit::NSImage> endCap;

    /// Loads "<prefix>StartCap.png", "<prefix>CenterFill.png" and "<prefix>EndCap.png" from the
    /// resources of the bundle that holds this code (the plug-in bundle).
    [[nodiscard]] static SkinImages load(std::string_view prefix);

    /// Draws the skin over the whole frame, left to right, blended over what lies beneath, as
    /// seen from a flipped control.
    void draw(kit::NSRect frame) const;
};

} // namespace huecast
