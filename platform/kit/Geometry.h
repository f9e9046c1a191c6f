// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

namespace huecast::kit
{

/// Points; y grows upwards in a plain view.
struct NSSize
{
    double width = 0;
    double height = 0;
    friend bool operator==(const NSSize&, const NSSize&) = default;
};

struct NSRect
{
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    [[nodiscard]] NSSize size() const { return {width, height}; }
    [[nodiscard]] double maxX() const { return x + width; }
    [[nodiscard]] double maxY() const { return y + height; }
    friend bool operator==(const NSRect&, const NSRect&) = default;
};

} // namespace huecast::kit
