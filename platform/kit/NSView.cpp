// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSView.h"

#include <algorithm>

namespace huecast::kit
{
namespace
{

bool has(std::uint32_t mask, NSAutoresizingMask bit)
{
    return (mask & static_cast<std::uint32_t>(bit)) != 0;
}

// Shares a change of the superview's extent evenly among the flexible parts of one axis (the
// margin before, the size, the margin after), as the platform does; the margin after takes
// whatever is left. Sizes never go below zero.
void resizeAxis(double& origin, double& length, double delta, bool flexibleBefore,
                bool flexibleSize, bool flexibleAfter)
{
    const int flexibleCount = int{flexibleBefore} + int{flexibleSize} + int{flexibleAfter};
    if (flexibleCount == 0 || delta == 0)
    {
        return;
    }
    const double share = delta / flexibleCount;
    if (flexibleBefore)
    {
        origin += share;
    }
    if (flexibleSize)
    {
        length = std::max(0.0, length + share);
    }
}

} // namespace

NSView::~NSView() = default;

void NSView::drawRect(NSRect /*dirtyRect*/) {}

void NSView::setFrame(NSRect frame)
{
    const NSSize oldSize = m_frame.size();
    m_frame = frame;
    if (oldSize == frame.size())
    {
        return;
    }
    for (const auto& subview : m_subviews)
    {
        subview->resizeWithOldSuperviewSize(oldSize);
    }
}

void NSView::resizeWithOldSuperviewSize(NSSize oldSize)
{
    if (m_superview == nullptr)
    {
        return;
    }
    const NSSize newSize = m_superview->frame().size();
    NSRect frame = m_frame;
    const std::uint32_t mask = m_autoresizingMask;
    resizeAxis(frame.x, frame.width, newSize.width - oldSize.width,
               has(mask, NSAutoresizingMask::MinXMargin),
               has(mask, NSAutoresizingMask::WidthSizable),
               has(mask, NSAutoresizingMask::MaxXMargin));
    resizeAxis(frame.y, frame.height, newSize.height - oldSize.height,
               has(mask, NSAutoresizingMask::MinYMargin),
               has(mask, NSAutoresizingMask::HeightSizable),
               has(mask, NSAutoresizingMask::MaxYMargin));
    setFrame(frame);
}

void NSView::addSubview(std::shared_ptr<NSView> view)
{
    if (!view)
    {
        return;
    }
    view->m_superview = this;
    m_subviews.push_back(std::move(view));
}

std::shared_ptr<NSView> NSView::viewWithTag(std::int64_t tag)
{
    if (m_tag == tag)
    {
        return shared_from_this();
    }
    for (const auto& subview : m_subviews)
    {
        if (auto found = subview->viewWithTag(tag))
        {
            return found;
        }
    }
    return nullptr;
}

} // namespace huecast::kit
