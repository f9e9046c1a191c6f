// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "ui/ZRButtonCell.h"

#include "ui/SkinImages.h"

namespace huecast
{

void ZRButtonCell::drawInteriorWithFrame(kit::NSRect cellFrame, kit::NSView& controlView)
{
    const SkinImages skin = SkinImages::load(isHighlighted() ? "ButtonSelected" : "Button");
    skin.draw(cellFrame);
    drawTitle(attributedTitle(), cellFrame, controlView);
}

} // namespace huecast
