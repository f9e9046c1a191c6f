// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include "platform/kit/NSCell.h"

namespace huecast
{

/// A push-button cell drawn from the bundle's skin images: "ButtonStartCap", "ButtonCenterFill"
/// and "ButtonEndCap" normally, the "ButtonSelected…" set while pressed, with the attributed
/// title over the skin. The bezel around the interior is the platform cell's.
class ZRButtonCell final : public kit::NSButtonCell
{
public:
    /// Loads the skin for the highlight state from the bundle on every draw and keeps nothing;
    /// a missing image leaves its piece undrawn.
    void drawInteriorWithFrame(kit::NSRect cellFrame, kit::NSView& controlView) override;
};

} // namespace huecast
