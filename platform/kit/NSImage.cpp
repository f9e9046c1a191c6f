// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSImage.h"

#include <algorithm>

#include "platform/kit/NSGraphicsContext.h"

namespace huecast::kit
{
namespace
{

cairo_operator_t cairoOperator(NSCompositingOperation operation)
{
    switch (operation)
    {
    case NSCompositingOperation::Clear:
        return CAIRO_OPERATOR_CLEAR;
    case NSCompositingOperation::Copy:
        return CAIRO_OPERATOR_SOURCE;
    case NSCompositingOperation::SourceOver:
        return CAIRO_OPERATOR_OVER;
    }
    return CAIRO_OPERATOR_OVER;
}

} // namespace

std::shared_ptr<NSImage> NSImage::initWithContentsOfFile(const std::string& path)
{
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
    {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::shared_ptr<NSImage>(new NSImage(surface));
}

NSImage::~NSImage()
{
    cairo_surface_destroy(m_surface);
}

NSSize NSImage::size() const
{
    return {static_cast<double>(cairo_image_surface_get_width(m_surface)),
            static_cast<double>(cairo_image_surface_get_height(m_surface))};
}

void NSImage::drawInRect(NSRect rect, NSCompositingOperation operation, double fraction,
                         bool flipped) const
{
    NSGraphicsContext* context = NSGraphicsContext::currentContext();
    const NSSize pixels = size();
    if (context == nullptr || rect.width <= 0 || rect.height <= 0 || pixels.width <= 0 ||
        pixels.height <= 0)
    {
        return;
    }
    cairo_t* cairo = context->cairo();
    cairo_save(cairo);
    // The clip decides which pixels each piece owns; without antialiasing two rectangles that
    // share an edge split the pixels along it exactly, so neighbouring pieces leave no seam.
    cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cairo, rect.x, rect.y, rect.width, rect.height);
    cairo_clip(cairo);
    if (flipped)
    {
        cairo_translate(cairo, rect.x, rect.y);
        cairo_scale(cairo, rect.width / pixels.width, rect.height / pixels.height);
    }
    else
    {
        cairo_translate(cairo, rect.x, rect.maxY());
        cairo_scale(cairo, rect.width / pixels.width, -rect.height / pixels.height);
    }
    cairo_set_source_surface(cairo, m_surface, 0, 0);
    // Padding repeats the edge pixels instead of fading them into transparency when the image
    // is scaled, which would show as a seam at each piece's edge.
    cairo_pattern_set_extend(cairo_get_source(cairo), CAIRO_EXTEND_PAD);
    cairo_set_operator(cairo, cairoOperator(operation));
    cairo_paint_with_alpha(cairo, std::clamp(fraction, 0.0, 1.0));
    cairo_restore(cairo);
}

void NSDrawThreePartImage(NSRect frame, const NSImage* startCap, const NSImage* centerFill,
                          const NSImage* endCap, bool vertical, NSCompositingOperation operation,
                          double alphaFraction, bool flipped)
{
    if (frame.width <= 0 || frame.height <= 0)
    {
        return;
    }
    const auto extent = [vertical](const NSImage* image)
    {
        if (image == nullptr)
        {
            return 0.0;
        }
        return vertical ? image->size().height : image->size().width;
    };
    const auto draw = [&](const NSImage* image, NSRect rect)
    {
        if (image != nullptr)
        {
            image->drawInRect(rect, operation, alphaFraction, flipped);
        }
    };
    const double startExtent = extent(startCap);
    const double endExtent = extent(endCap);
    if (!vertical)
    {
        const double centreWidth = std::max(0.0, frame.width - startExtent - endExtent);
        draw(centerFill, {frame.x + startExtent, frame.y, centreWidth, frame.height});
        draw(startCap, {frame.x, frame.y, startExtent, frame.height});
        draw(endCap, {frame.maxX() - endExtent, frame.y, endExtent, frame.height});
        return;
    }
    // Down the frame: the start cap is at the top, which is the smaller y only when flipped.
    const double centreHeight = std::max(0.0, frame.height - startExtent - endExtent);
    const double topY = flipped ? frame.y : frame.maxY() - startExtent;
    const double bottomY = flipped ? frame.maxY() - endExtent : frame.y;
    draw(centerFill, {frame.x, flipped ? frame.y + startExtent : frame.y + endExtent, frame.width,
                      centreHeight});
    draw(startCap, {frame.x, topY, frame.width, startExtent});
    draw(endCap, {frame.x, bottomY, frame.width, endExtent});
}

} // namespace huecast::kit
