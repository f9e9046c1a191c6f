// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <optional>
#include <string>

#include "platform/kit/NSColor.h"
#include "platform/kit/NSGraphicsContext.h"
#include "platform/kit/NSView.h"

namespace huecast::kit
{

/// Draws the view and then its subviews in order, each in its own coordinates and clipped to
/// its bounds. The context's user space must be the view's own coordinate system; the context is
/// made current while drawing.
[[gnu::visibility("default")]] void drawViewHierarchy(NSView& view, NSGraphicsContext& context);

struct ViewImageOptions
{
    double scale = 1.0;                ///< device pixels per point, above 0 and at most 16
    std::optional<NSColor> background; ///< painted under the view; none: transparent
};

/// Renders the view tree into an RGBA PNG of the view's size times the scale. False, with a
/// reason naming the file when `failure` is given, when the size or scale is unusable or the
/// file can't be written.
[[gnu::visibility("default")]] [[nodiscard]] bool writeViewToPNG(NSView& view,
                                                                 const std::string& path,
                                                                 const ViewImageOptions& options,
                                                                 std::string* failure);

} // namespace huecast::kit
