// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/kit/NSView.h"

namespace huecast::kit
{

class NSControl;

/// An object that controls send their actions to.
class [[gnu::visibility("default")]] NSResponder
{
public:
    virtual ~NSResponder();
    /// Performs the named action with the control as sender; false when the object has no such
    /// action.
    virtual bool tryToPerform(std::string_view action, NSControl * sender) = 0;
};

/// A view that sends an action to a target when the user uses it. The target is held weakly:
/// a control that outlives its target sends nothing.
class [[gnu::visibility("default")]] NSControl : public NSView
{
public:
    using NSView::NSView;
    ~NSControl() override;

    void setTarget(std::weak_ptr<NSResponder> target)
    {
        m_target = std::move(target);
    }
    [[nodiscard]] std::shared_ptr<NSResponder> target() const
    {
        return m_target.lock();
    }
    void setAction(std::string action)
    {
        m_action = std::move(action);
    }
    [[nodiscard]] const std::string& action() const
    {
        return m_action;
    }

    /// Sends the action to the target; false when there is no live target or no action.
    bool sendAction();

    [[nodiscard]] const std::string& stringValue() const
    {
        return m_stringValue;
    }
    void setStringValue(std::string value)
    {
        m_stringValue = std::move(value);
    }

private:
    std::weak_ptr<NSResponder> m_target;
    std::string m_action;
    std::string m_stringValue;
};

/// A push button; its title is its string value.
class [[gnu::visibility("default")]] NSButton : public NSControl
{
public:
    using NSControl::NSControl;
    ~NSButton() override;

    [[nodiscard]] const std::string& title() const
    {
        return stringValue();
    }
    void setTitle(std::string title)
    {
        setStringValue(std::move(title));
    }

    /// What a click does: highlight, send the action, unhighlight.
    void performClick();
    [[nodiscard]] bool isHighlighted() const
    {
        return m_highlighted;
    }
    void setHighlighted(bool highlighted)
    {
        m_highlighted = highlighted;
    }

private:
    bool m_highlighted = false;
};

/// A one-line text display.
class [[gnu::visibility("default")]] NSTextField : public NSControl
{
public:
    using NSControl::NSControl;
    ~NSTextField() override;
};

} // namespace huecast::kit
