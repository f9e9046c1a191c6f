// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>

#include <cairo.h>

#include "platform/kit/Geometry.h"

namespace huecast::kit
{

/// How drawn pixels combine with what lies beneath.
enum class NSCompositingOperation : long
{
    Clear = 0,
    Copy = 1,
    SourceOver = 2,
};

/// A bitmap image; one pixel is one point.
class __attribute__((visibility("default"))) NSImage
{
public:
    /// The image in a PNG file, or null when the file can't be read as one.
    [[nodiscard]] static std::shared_ptr<NSImage> initWithContentsOfFile(const std::string& path);

    NSImage(const NSImage&) = delete;
    NSImage& operator=(const NSImage&) = delete;
    ~NSImage();

    [[nodiscard]] NSSize size() const;
    [[nodiscard]] cairo_surface_t* surface() const { return m_surface; }

    /// Draws the image stretched over the rectangle of the current graphics context. With
    /// `flipped` the image's top row goes at the rectangle's smaller y (the context's y grows
    /// downwards), else at its larger y.
    void drawInRect(NSRect rect, NSCompositingOperation operation, double fraction,
                    bool flipped) const;

private:
    explicit NSImage(cairo_surface_t* surface) : m_surface(surface) {}

    cairo_surface_t* m_surface;
};

/// Draws a three-part image into the frame: across (vertical false) the start cap at the left
/// edge and the end cap at the right edge at their own widths, the centre fill stretched over
/// the width between them, every piece the frame's height; down (vertical true) the same with
/// heights, the start cap at the top. A null piece draws nothing. The pieces meet on whole
/// device pixels, so no seam shows between them at any frame position. Needs a current context.
[[gnu::visibility("default")]] void NSDrawThreePartImage(NSRect frame, const NSImage* startCap,
                                                         const NSImage* centerFill,
                                                         const NSImage* endCap, bool vertical,
                                                         NSCompositingOperation operation,
                                                         double alphaFraction, bool flipped);

} // namespace huecast::kit
