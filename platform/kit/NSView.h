// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kit/Geometry.h"

namespace huecast::kit
{

class NSControl;

/// Autoresizing mask bits: how a view follows its superview's size changes.
enum class NSAutoresizingMask : std::uint32_t
{
    NotSizable = 0,
    MinXMargin = 1,
    WidthSizable = 2,
    MaxXMargin = 4,
    MinYMargin = 8,
    HeightSizable = 16,
    MaxYMargin = 32,
};

/// A rectangle of the view tree. A superview owns its subviews; a subview knows its superview
/// without owning it.
class __attribute__((visibility("default"))) NSView : public std::enable_shared_from_this<NSView>
{
public:
    explicit NSView(NSRect frame) : m_frame(frame) {}
    NSView(const NSView&) = delete;
    NSView& operator=(const NSView&) = delete;
    virtual ~NSView();

    [[nodiscard]] NSRect frame() const { return m_frame; }
    /// Moves or resizes the view; subviews follow by their autoresizing masks.
    void setFrame(NSRect frame);
    /// The view's own coordinate space: origin 0, the frame's size.
    [[nodiscard]] NSRect bounds() const { return {0, 0, m_frame.width, m_frame.height}; }

    /// Whether y grows downwards in the view's own coordinates (controls) or upwards (plain
    /// views).
    [[nodiscard]] virtual bool isFlipped() const { return false; }
    /// Draws the view's own content in its own coordinates into the current graphics context;
    /// subviews are drawn afterwards by whoever draws the tree. A plain view draws nothing.
    virtual void drawRect(NSRect dirtyRect);

    [[nodiscard]] std::uint32_t autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(std::uint32_t mask) { m_autoresizingMask = mask; }

    [[nodiscard]] std::int64_t tag() const { return m_tag; }
    void setTag(std::int64_t tag) { m_tag = tag; }

    /// Appends a subview (it is drawn above the earlier ones) and becomes its superview.
    void addSubview(std::shared_ptr<NSView> view);
    [[nodiscard]] const std::vector<std::shared_ptr<NSView>>& subviews() const
    {
        return m_subviews;
    }
    [[nodiscard]] NSView* superview() const { return m_superview; }

    /// This view if its tag matches, else the first match in a depth-first search of the
    /// subviews in order; null when none has the tag.
    [[nodiscard]] std::shared_ptr<NSView> viewWithTag(std::int64_t tag);

private:
    void resizeWithOldSuperviewSize(NSSize oldSize);

    NSRect m_frame;
    std::uint32_t m_autoresizingMask = 0;
    std::int64_t m_tag = 0;
    std::vector<std::shared_ptr<NSView>> m_subviews;
    NSView* m_superview = nullptr;
};

} // namespace huecast::kit
