// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

namespace huecast::kit
{

/// A colour as drawn: red, green, blue and alpha from 0 to 1.
struct NSColor
{
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    /// A grey of the given white level. The calibrated white space is drawn as the device's
    /// own, so the level becomes the same value in each channel.
    [[nodiscard]] static NSColor colorWithCalibratedWhite(double white, double alpha)
    {
        return {white, white, white, alpha};
    }
    /// The text colour of controls in their default style.
    [[nodiscard]] static NSColor controlTextColor() { return {0, 0, 0, 1}; }
    [[nodiscard]] static NSColor clearColor() { return {0, 0, 0, 0}; }

    friend bool operator==(const NSColor&, const NSColor&) = default;
};

} // namespace huecast::kit
