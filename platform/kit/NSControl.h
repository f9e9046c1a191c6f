// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/kit/NSCell.h"
#include "platform/kit/NSView.h"

namespace huecast::kit
{

class NSControl;

/// An object that controls send their actions to.
class __attribute__((visibility("default"))) NSResponder
{
public:
    virtual ~NSResponder();
    /// Performs the named action with the control as sender; false when the object has no such
    /// action.
    virtual bool tryToPerform(std::string_view action, NSControl* sender) = 0;
};

/// A view that sends an action to a target when the user uses it and draws itself through the
/// cell it owns. The target is held weakly: a control that outlives its target sends nothing.
/// Controls are flipped: their cells draw with y growing downwards.
class __attribute__((visibility("default"))) NSControl : public NSView
{
public:
    NSControl(NSRect frame, std::shared_ptr<NSCell> cell) : NSView(frame), m_cell(std::move(cell))
    {
    }
    ~NSControl() override;

    [[nodiscard]] NSCell& cell() const { return *m_cell; }
    /// Installs a cell; the control owns it from now on and the former one is dropped. A null
    /// cell is ignored, so a control always has one.
    void setCell(std::shared_ptr<NSCell> cell);

    [[nodiscard]] bool isFlipped() const override { return true; }
    /// Has the cell draw itself over the control's bounds.
    void drawRect(NSRect dirtyRect) override;

    void setTarget(std::weak_ptr<NSResponder> target) { m_target = std::move(target); }
    [[nodiscard]] std::shared_ptr<NSResponder> target() const { return m_target.lock(); }
    void setAction(std::string action) { m_action = std::move(action); }
    [[nodiscard]] const std::string& action() const { return m_action; }

    /// Sends the action to the target; false when there is no live target or no action.
    bool sendAction();

    /// The cell's string value.
    [[nodiscard]] const std::string& stringValue() const { return m_cell->stringValue(); }
    void setStringValue(std::string value) { m_cell->setStringValue(std::move(value)); }

private:
    std::shared_ptr<NSCell> m_cell;
    std::weak_ptr<NSResponder> m_target;
    std::string m_action;
};

/// A push button; its title is its string value. It starts with a plain NSButtonCell.
class __attribute__((visibility("default"))) NSButton : public NSControl
{
public:
    explicit NSButton(NSRect frame);
    ~NSButton() override;

    [[nodiscard]] const std::string& title() const { return stringValue(); }
    void setTitle(std::string title) { setStringValue(std::move(title)); }

    /// The title as styled text, from a button cell; other cells give the plain title.
    [[nodiscard]] NSAttributedString attributedTitle() const;
    /// Sets the styled title of a button cell; other cells take its string only.
    void setAttributedTitle(const NSAttributedString& title);

    /// What a click does: highlight, send the action, unhighlight.
    void performClick();
    /// The pressed state, kept by the cell so that it draws accordingly.
    [[nodiscard]] bool isHighlighted() const { return cell().isHighlighted(); }
    void setHighlighted(bool highlighted) { cell().setHighlighted(highlighted); }
};

/// A text display. It starts with a plain NSTextFieldCell.
class __attribute__((visibility("default"))) NSTextField : public NSControl
{
public:
    explicit NSTextField(NSRect frame);
    ~NSTextField() override;
};

} // namespace huecast::kit
