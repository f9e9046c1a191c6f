// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include "platform/kit/NSCell.h"

namespace huecast
{

/// A text-field cell drawn from the bundle's skin images ("TextFieldStartCap",
/// "TextFieldCenterFill", "TextFieldEndCap") with its string over the whole frame. Nothing of
/// the platform cell's own drawing (background, bezel) is drawn.
class ZRTextFieldCell final : public kit::NSTextFieldCell
{
public:
    /// The skin over the whole frame, then the string value with textAttributes(), no inset.
    /// The control view is not consulted.
    void drawWithFrame(kit::NSRect cellFrame, kit::NSView& controlView) override;

    /// The cell's text style: the text colour, the font when the cell has one, and a paragraph
    /// style with the cell's alignment, line-break mode and base writing direction.
    [[nodiscard]] kit::NSAttributes textAttributes() const;
};

} // namespace huecast
