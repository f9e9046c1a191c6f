// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSAttributedString.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include <pango/pangocairo.h>

#include "platform/kit/NSGraphicsContext.h"

namespace huecast::kit
{
namespace
{

// Text that names no font is drawn in the platform's default for attributed strings.
constexpr double kDefaultFontSize = 12.0;

struct LayoutDeleter
{
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};

guint16 colourChannel(double value)
{
    return static_cast<guint16>(std::lround(std::clamp(value, 0.0, 1.0) * 65535.0));
}

int pangoUnits(double points)
{
    return static_cast<int>(std::clamp(points * PANGO_SCALE, 0.0, double{INT_MAX}));
}

guint pangoIndex(std::size_t index)
{
    return static_cast<guint>(std::min<std::size_t>(index, G_MAXUINT));
}

PangoFontDescription* fontDescription(const NSFont& font)
{
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, font.familyName().c_str());
    pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight()));
    pango_font_description_set_style(description,
                                     font.isItalic() ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    // Absolute: one point is one unit of the context's user space, whatever pango's resolution.
    pango_font_description_set_absolute_size(description, pangoUnits(font.pointSize()));
    return description;
}

void applyParagraphStyle(PangoLayout* layout, const NSParagraphStyle& style, double width)
{
    PangoContext* context = pango_layout_get_context(layout);
    const NSWritingDirection direction = style.baseWritingDirection;
    // With a natural direction pango follows the text's own and mirrors the alignment for
    // right-to-left text, which is what natural alignment means; a set direction is physical.
    pango_layout_set_auto_dir(layout, direction == NSWritingDirection::Natural);
    pango_context_set_base_dir(context, direction == NSWritingDirection::RightToLeft
                                            ? PANGO_DIRECTION_RTL
                                            : PANGO_DIRECTION_LTR);
    pango_layout_context_changed(layout);

    PangoAlignment alignment = PANGO_ALIGN_LEFT;
    switch (style.alignment)
    {
    case NSTextAlignment::Right:
        alignment = PANGO_ALIGN_RIGHT;
        break;
    case NSTextAlignment::Center:
        alignment = PANGO_ALIGN_CENTER;
        break;
    case NSTextAlignment::Natural:
        alignment =
            direction == NSWritingDirection::RightToLeft ? PANGO_ALIGN_RIGHT : PANGO_ALIGN_LEFT;
        break;
    case NSTextAlignment::Justified:
        pango_layout_set_justify(layout, TRUE);
        break;
    case NSTextAlignment::Left:
        break;
    }
    pango_layout_set_alignment(layout, alignment);

    pango_layout_set_width(layout, pangoUnits(width));
    switch (style.lineBreakMode)
    {
    case NSLineBreakMode::ByWordWrapping:
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
        break;
    case NSLineBreakMode::ByCharWrapping:
        pango_layout_set_wrap(layout, PANGO_WRAP_CHAR);
        break;
    case NSLineBreakMode::ByClipping:
        // One unbroken line per paragraph; the clip cuts what sticks out.
        pango_layout_set_width(layout, -1);
        break;
    case NSLineBreakMode::ByTruncatingHead:
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_START);
        break;
    case NSLineBreakMode::ByTruncatingTail:
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        break;
    case NSLineBreakMode::ByTruncatingMiddle:
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE);
        break;
    }
}

} // namespace

NSAttributedString::NSAttributedString(std::string string, const NSAttributes& attributes)
    : m_string(std::move(string))
{
    if (!m_string.empty())
    {
        m_runs.push_back({m_string.size(), attributes});
    }
}

NSAttributes NSAttributedString::attributesAtIndex(std::size_t index, NSRange* effectiveRange) const
{
    std::size_t start = 0;
    for (const Run& run : m_runs)
    {
        if (index < start + run.length)
        {
            if (effectiveRange != nullptr)
            {
                *effectiveRange = {start, run.length};
            }
            return run.attributes;
        }
        start += run.length;
    }
    if (effectiveRange != nullptr)
    {
        *effectiveRange = {index, 0};
    }
    return {};
}

void NSMutableAttributedString::splitAt(std::size_t index)
{
    std::size_t start = 0;
    for (auto run = m_runs.begin(); run != m_runs.end(); ++run)
    {
        if (index > start && index < start + run->length)
        {
            Run tail{start + run->length - index, run->attributes};
            run->length = index - start;
            m_runs.insert(run + 1, std::move(tail));
            return;
        }
        start += run->length;
    }
}

void NSMutableAttributedString::addAttribute(std::string_view name, const NSAttributeValue& value,
                                             NSRange range)
{
    const std::size_t begin = std::min(range.location, m_string.size());
    const std::size_t end = begin + std::min(range.length, m_string.size() - begin);
    if (begin == end)
    {
        return;
    }
    splitAt(begin);
    splitAt(end);
    std::size_t start = 0;
    for (Run& run : m_runs)
    {
        if (start >= begin && start < end)
        {
            run.attributes.insert_or_assign(std::string(name), value);
        }
        start += run.length;
    }
    // Neighbours that became equal are one stretch again.
    for (std::size_t i = 1; i < m_runs.size();)
    {
        if (m_runs[i].attributes == m_runs[i - 1].attributes)
        {
            m_runs[i - 1].length += m_runs[i].length;
            m_runs.erase(m_runs.begin() + static_cast<std::ptrdiff_t>(i));
        }
        else
        {
            ++i;
        }
    }
}

void NSAttributedString::fillLayout(PangoLayout* layout) const
{
    pango_layout_set_text(layout, m_string.data(),
                          static_cast<int>(std::min<std::size_t>(m_string.size(), INT_MAX)));
    PangoFontDescription* defaultFont = fontDescription(NSFont::systemFontOfSize(kDefaultFontSize));
    pango_layout_set_font_description(layout, defaultFont);
    pango_font_description_free(defaultFont);

    PangoAttrList* list = pango_attr_list_new();
    std::size_t start = 0;
    for (const Run& run : m_runs)
    {
        const auto add = [&](PangoAttribute* attribute)
        {
            attribute->start_index = pangoIndex(start);
            attribute->end_index = pangoIndex(start + run.length);
            pango_attr_list_insert(list, attribute);
        };
        if (const auto* colour =
                attributeOf<NSColor>(run.attributes, NSForegroundColorAttributeName))
        {
            add(pango_attr_foreground_new(colourChannel(colour->red), colourChannel(colour->green),
                                          colourChannel(colour->blue)));
            add(pango_attr_foreground_alpha_new(colourChannel(colour->alpha)));
        }
        if (const auto* font = attributeOf<NSFont>(run.attributes, NSFontAttributeName))
        {
            PangoFontDescription* description = fontDescription(*font);
            add(pango_attr_font_desc_new(description));
            pango_font_description_free(description);
        }
        start += run.length;
    }
    pango_layout_set_attributes(layout, list);
    pango_attr_list_unref(list);
}

NSSize NSAttributedString::size() const
{
    if (m_string.empty())
    {
        return {};
    }
    PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    const std::unique_ptr<PangoLayout, LayoutDeleter> layout(pango_layout_new(context));
    g_object_unref(context);
    fillLayout(layout.get());
    int width = 0;
    int height = 0;
    pango_layout_get_size(layout.get(), &width, &height);
    return {width / double{PANGO_SCALE}, height / double{PANGO_SCALE}};
}

NSRect NSAttributedString::drawInRect(NSRect rect) const
{
    NSGraphicsContext* context = NSGraphicsContext::currentContext();
    if (context == nullptr || m_string.empty() || rect.width <= 0 || rect.height <= 0)
    {
        return {rect.x, rect.y, 0, 0};
    }
    cairo_t* cairo = context->cairo();
    cairo_save(cairo);
    // Text is laid out downwards from the rectangle's top whichever way the view is flipped.
    if (context->isFlipped())
    {
        cairo_translate(cairo, rect.x, rect.y);
    }
    else
    {
        cairo_translate(cairo, rect.x, rect.maxY());
        cairo_scale(cairo, 1, -1);
    }
    cairo_rectangle(cairo, 0, 0, rect.width, rect.height);
    cairo_clip(cairo);

    const std::unique_ptr<PangoLayout, LayoutDeleter> layout(pango_cairo_create_layout(cairo));
    fillLayout(layout.get());

    const auto* style =
        attributeOf<NSParagraphStyle>(m_runs.front().attributes, NSParagraphStyleAttributeName);
    applyParagraphStyle(layout.get(), style != nullptr ? *style : NSParagraphStyle{}, rect.width);

    // A clipped line is laid out without a width, so pango can't align it: place it here.
    double shift = 0;
    if (style != nullptr && style->lineBreakMode == NSLineBreakMode::ByClipping)
    {
        PangoRectangle line{};
        pango_layout_get_extents(layout.get(), nullptr, &line);
        const double spare = rect.width - line.width / double{PANGO_SCALE};
        const bool rightToLeft = style->baseWritingDirection == NSWritingDirection::RightToLeft;
        if (style->alignment == NSTextAlignment::Right ||
            (style->alignment == NSTextAlignment::Natural && rightToLeft))
        {
            shift = spare;
        }
        else if (style->alignment == NSTextAlignment::Center)
        {
            shift = spare / 2;
        }
    }
    cairo_set_source_rgba(cairo, 0, 0, 0, 1);
    cairo_move_to(cairo, shift, 0);
    pango_cairo_show_layout(cairo, layout.get());

    PangoRectangle ink{};
    PangoRectangle logical{};
    pango_layout_get_extents(layout.get(), &ink, &logical);
    cairo_restore(cairo);

    const double x = shift + logical.x / double{PANGO_SCALE};
    const double y = logical.y / double{PANGO_SCALE};
    const double width = std::min(logical.width / double{PANGO_SCALE}, rect.width - x);
    const double height = std::min(logical.height / double{PANGO_SCALE}, rect.height - y);
    return {rect.x + x, context->isFlipped() ? rect.y + y : rect.maxY() - y - height, width,
            height};
}

NSRect drawStringInRect(std::string_view text, NSRect rect, const NSAttributes& attributes)
{
    return NSAttributedString(std::string(text), attributes).drawInRect(rect);
}

} // namespace huecast::kit
