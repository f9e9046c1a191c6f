// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "ui/ZRTextFieldCell.h"

#include "ui/SkinImages.h"

namespace huecast
{

void ZRTextFieldCell::drawWithFrame(kit::NSRect cellFrame, kit::NSView& /*controlView*/)
{
    const SkinImages skin = SkinImages::load("TextField");
    skin.draw(cellFrame);
    kit::drawStringInRect(stringValue(), cellFrame, textAttributes());
}

kit::NSAttributes ZRTextFieldCell::textAttributes() const
{
    kit::NSAttributes attributes;
    attributes.emplace(kit::NSForegroundColorAttributeName, textColor());
    if (font())
    {
        attributes.emplace(kit::NSFontAttributeName, *font());
    }
    kit::NSParagraphStyle style = kit::NSParagraphStyle::defaultParagraphStyle();
    style.alignment = alignment();
    style.lineBreakMode = lineBreakMode();
    style.baseWritingDirection = baseWritingDirection();
    attributes.emplace(kit::NSParagraphStyleAttributeName, style);
    return attributes;
}

} // namespace huecast
