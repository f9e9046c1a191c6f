// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSCell.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/kit/NSGraphicsContext.h"

namespace huecast::kit
{
namespace
{

// The interior of a text cell keeps this far from its sides, as the platform's does.
constexpr double kTextInset = 2.0;
constexpr double kBezelInset = 1.5;
constexpr double kBezelRadius = 4.0;

void roundedRectangle(cairo_t* cairo, NSRect rect, double radius)
{
    const double r = std::min({radius, rect.width / 2, rect.height / 2});
    constexpr double kQuarter = std::numbers::pi / 2;
    cairo_new_sub_path(cairo);
    cairo_arc(cairo, rect.maxX() - r, rect.y + r, r, -kQuarter, 0);
    cairo_arc(cairo, rect.maxX() - r, rect.maxY() - r, r, 0, kQuarter);
    cairo_arc(cairo, rect.x + r, rect.maxY() - r, r, kQuarter, 2 * kQuarter);
    cairo_arc(cairo, rect.x + r, rect.y + r, r, 2 * kQuarter, 3 * kQuarter);
    cairo_close_path(cairo);
}

} // namespace

NSCell::NSCell() : m_font(NSFont::systemFontOfSize(NSFont::systemFontSize())) {}
NSCell::~NSCell() = default;

NSParagraphStyle NSCell::paragraphStyle() const
{
    NSParagraphStyle style = NSParagraphStyle::defaultParagraphStyle();
    style.alignment = m_alignment;
    style.lineBreakMode = m_lineBreakMode;
    style.baseWritingDirection = m_writingDirection;
    return style;
}

void NSCell::drawWithFrame(NSRect cellFrame, NSView& controlView)
{
    drawInteriorWithFrame(cellFrame, controlView);
}

void NSCell::drawInteriorWithFrame(NSRect cellFrame, NSView& /*controlView*/)
{
    NSAttributes attributes{{std::string(NSParagraphStyleAttributeName), paragraphStyle()}};
    if (m_font)
    {
        attributes.emplace(NSFontAttributeName, *m_font);
    }
    drawStringInRect(m_stringValue, cellFrame, attributes);
}

NSButtonCell::NSButtonCell()
{
    setAlignment(NSTextAlignment::Center);
    setLineBreakMode(NSLineBreakMode::ByTruncatingMiddle);
}

NSButtonCell::~NSButtonCell() = default;

void NSButtonCell::setStringValue(std::string value)
{
    m_attributedTitle.reset();
    NSCell::setStringValue(std::move(value));
}

NSAttributedString NSButtonCell::attributedTitle() const
{
    if (m_attributedTitle)
    {
        return *m_attributedTitle;
    }
    NSAttributes attributes{
        {std::string(NSForegroundColorAttributeName), NSColor::controlTextColor()},
        {std::string(NSParagraphStyleAttributeName), paragraphStyle()}};
    if (font())
    {
        attributes.emplace(NSFontAttributeName, *font());
    }
    return NSAttributedString(title(), attributes);
}

void NSButtonCell::setAttributedTitle(const NSAttributedString& title)
{
    NSCell::setStringValue(title.string());
    m_attributedTitle = title;
}

void NSButtonCell::drawWithFrame(NSRect cellFrame, NSView& controlView)
{
    if (m_bordered)
    {
        drawBezelWithFrame(cellFrame, controlView);
    }
    drawInteriorWithFrame(cellFrame, controlView);
}

void NSButtonCell::drawInteriorWithFrame(NSRect cellFrame, NSView& controlView)
{
    drawTitle(attributedTitle(), cellFrame, controlView);
}

void NSButtonCell::drawBezelWithFrame(NSRect frame, NSView& /*controlView*/)
{
    NSGraphicsContext* context = NSGraphicsContext::currentContext();
    if (context == nullptr)
    {
        return;
    }
    cairo_t* cairo = context->cairo();
    cairo_save(cairo);
    const NSRect bezel{frame.x + kBezelInset, frame.y + kBezelInset, frame.width - 2 * kBezelInset,
                       frame.height - 2 * kBezelInset};
    roundedRectangle(cairo, bezel, kBezelRadius);
    const double face = isHighlighted() ? 0.78 : 0.96;
    cairo_set_source_rgb(cairo, face, face, face);
    cairo_fill_preserve(cairo);
    cairo_set_source_rgb(cairo, 0.62, 0.62, 0.62);
    cairo_set_line_width(cairo, 1.0);
    cairo_stroke(cairo);
    cairo_restore(cairo);
}

NSRect NSButtonCell::drawTitle(const NSAttributedString& title, NSRect frame,
                               NSView& /*controlView*/)
{
    // Centred across by the title's paragraph style, down by its height; whole points keep
    // the baseline crisp.
    const double height = std::min(title.size().height, frame.height);
    const double offset = std::round((frame.height - height) / 2);
    return title.drawInRect({frame.x, frame.y + offset, frame.width, height});
}

NSTextFieldCell::NSTextFieldCell() = default;
NSTextFieldCell::~NSTextFieldCell() = default;

void NSTextFieldCell::drawWithFrame(NSRect cellFrame, NSView& controlView)
{
    NSGraphicsContext* context = NSGraphicsContext::currentContext();
    if (context != nullptr && (m_drawsBackground || m_bezeled))
    {
        cairo_t* cairo = context->cairo();
        cairo_save(cairo);
        cairo_rectangle(cairo, cellFrame.x, cellFrame.y, cellFrame.width, cellFrame.height);
        if (m_drawsBackground)
        {
            cairo_set_source_rgba(cairo, m_backgroundColor.red, m_backgroundColor.green,
                                  m_backgroundColor.blue, m_backgroundColor.alpha);
            cairo_fill(cairo);
        }
        if (m_bezeled)
        {
            cairo_rectangle(cairo, cellFrame.x + 0.5, cellFrame.y + 0.5, cellFrame.width - 1,
                            cellFrame.height - 1);
            cairo_set_source_rgb(cairo, 0.6, 0.6, 0.6);
            cairo_set_line_width(cairo, 1.0);
            cairo_stroke(cairo);
        }
        cairo_restore(cairo);
    }
    drawInteriorWithFrame(cellFrame, controlView);
}

void NSTextFieldCell::drawInteriorWithFrame(NSRect cellFrame, NSView& /*controlView*/)
{
    NSAttributes attributes{{std::string(NSForegroundColorAttributeName), m_textColor},
                            {std::string(NSParagraphStyleAttributeName), paragraphStyle()}};
    if (font())
    {
        attributes.emplace(NSFontAttributeName, *font());
    }
    drawStringInRect(
        stringValue(),
        {cellFrame.x + kTextInset, cellFrame.y, cellFrame.width - 2 * kTextInset, cellFrame.height},
        attributes);
}

} // namespace huecast::kit
