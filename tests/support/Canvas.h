// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <cstring>

#include <cairo.h>

#include "platform/kit/NSGraphicsContext.h"
#include "platform/kit/NSImage.h"
#include "platform/kit/NSView.h"
#include "platform/kit/ViewRendering.h"

namespace huecast::test
{

/// A transparent ARGB surface to draw into, one pixel a point, y downwards, with a graphics
/// context whose user space is the surface's own; pixels are read back as premultiplied ARGB.
class Canvas
{
public:
    Canvas(int width, int height)
        : m_surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
          m_cairo(cairo_create(m_surface)), m_context(m_cairo)
    {
        m_context.setFlipped(true);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas()
    {
        cairo_destroy(m_cairo);
        cairo_surface_destroy(m_surface);
    }

    [[nodiscard]] int width() const { return cairo_image_surface_get_width(m_surface); }
    [[nodiscard]] int height() const { return cairo_image_surface_get_height(m_surface); }
    [[nodiscard]] kit::NSGraphicsContext& context() { return m_context; }

    /// Draws a flipped view (a control) with its bounds at the surface's origin.
    void draw(kit::NSView& view) { kit::drawViewHierarchy(view, m_context); }

    [[nodiscard]] std::uint32_t pixel(int x, int y) const { return pixelOf(m_surface, x, y); }

    static std::uint32_t pixelOf(cairo_surface_t* surface, int x, int y)
    {
        cairo_surface_flush(surface);
        const unsigned char* row =
            cairo_image_surface_get_data(surface) +
            static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface);
        std::uint32_t value = 0;
        std::memcpy(&value, row + static_cast<std::ptrdiff_t>(x) * 4, sizeof value);
        return value;
    }

    /// Whether column x of this canvas equals column imageX of the image, all rows.
    [[nodiscard]] bool columnMatches(int x, const kit::NSImage& image, int imageX) const
    {
        for (int y = 0; y < height(); ++y)
        {
            if (pixel(x, y) != pixelOf(image.surface(), imageX, y))
            {
                return false;
            }
        }
        return true;
    }
    /// Whether the two canvases differ anywhere in columns [from, to).
    [[nodiscard]] bool columnsDiffer(const Canvas& other, int from, int to) const
    {
        for (int x = from; x < to; ++x)
        {
            for (int y = 0; y < height(); ++y)
            {
                if (pixel(x, y) != other.pixel(x, y))
                {
                    return true;
                }
            }
        }
        return false;
    }

private:
    cairo_surface_t* m_surface;
    cairo_t* m_cairo;
    kit::NSGraphicsContext m_context;
};

} // namespace huecast::test
