// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/ViewRendering.h"

#include <cmath>

namespace huecast::kit
{
namespace
{

constexpr double kMaxScale = 16.0;
constexpr double kMaxPixels = 16384.0;

void drawTree(NSView& view, NSGraphicsContext& context)
{
    cairo_t* cairo = context.cairo();
    context.setFlipped(view.isFlipped());
    view.drawRect(view.bounds());
    for (const auto& subview : view.subviews())
    {
        const NSRect frame = subview->frame();
        cairo_save(cairo);
        // A frame is in the superview's coordinates; a subview of the other orientation
        // starts at the frame's far edge and runs the other way.
        if (subview->isFlipped() == view.isFlipped())
        {
            cairo_translate(cairo, frame.x, frame.y);
        }
        else
        {
            cairo_translate(cairo, frame.x, frame.maxY());
            cairo_scale(cairo, 1, -1);
        }
        cairo_rectangle(cairo, 0, 0, frame.width, frame.height);
        cairo_clip(cairo);
        drawTree(*subview, context);
        cairo_restore(cairo);
        context.setFlipped(view.isFlipped());
    }
}

} // namespace

void drawViewHierarchy(NSView& view, NSGraphicsContext& context)
{
    const NSGraphicsContext::Scope current(context);
    drawTree(view, context);
}

bool writeViewToPNG(NSView& view, const std::string& path, const ViewImageOptions& options,
                    std::string* failure)
{
    const auto fail = [&](const std::string& reason)
    {
        if (failure != nullptr)
        {
            *failure = reason;
        }
        return false;
    };
    const NSRect bounds = view.bounds();
    if (!(options.scale > 0 && options.scale <= kMaxScale))
    {
        return fail("can't draw " + path + ": the scale must be above 0 and at most 16");
    }
    const double width = std::ceil(bounds.width * options.scale);
    const double height = std::ceil(bounds.height * options.scale);
    if (!(width >= 1 && height >= 1 && width <= kMaxPixels && height <= kMaxPixels))
    {
        return fail("can't draw " + path + ": the view's size gives an image of " +
                    std::to_string(width) + " x " + std::to_string(height) + " pixels");
    }
    cairo_surface_t* surface = cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height));
    cairo_t* cairo = cairo_create(surface);
    cairo_scale(cairo, options.scale, options.scale);
    if (options.background)
    {
        const NSColor& colour = *options.background;
        cairo_set_source_rgba(cairo, colour.red, colour.green, colour.blue, colour.alpha);
        cairo_paint(cairo);
    }
    // Image rows run downwards: a plain view's coordinates start at the bottom.
    if (!view.isFlipped())
    {
        cairo_translate(cairo, 0, bounds.height);
        cairo_scale(cairo, 1, -1);
    }
    NSGraphicsContext context(cairo);
    drawViewHierarchy(view, context);
    cairo_destroy(cairo);
    const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
    {
        return fail("couldn't write " + path + ": " + cairo_status_to_string(status));
    }
    return true;
}

} // namespace huecast::kit
