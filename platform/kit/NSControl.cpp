// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSControl.h"

namespace huecast::kit
{

NSResponder::~NSResponder() = default;
NSControl::~NSControl() = default;
NSButton::~NSButton() = default;
NSTextField::~NSTextField() = default;

NSButton::NSButton(NSRect frame) : NSControl(frame, std::make_shared<NSButtonCell>()) {}
NSTextField::NSTextField(NSRect frame) : NSControl(frame, std::make_shared<NSTextFieldCell>()) {}

void NSControl::setCell(std::shared_ptr<NSCell> cell)
{
    if (cell)
    {
        m_cell = std::move(cell);
    }
}

void NSControl::drawRect(NSRect /*dirtyRect*/)
{
    m_cell->drawWithFrame(bounds(), *this);
}

NSAttributedString NSButton::attributedTitle() const
{
    if (const auto* buttonCell = dynamic_cast<const NSButtonCell*>(&cell()))
    {
        return buttonCell->attributedTitle();
    }
    return NSAttributedString(title());
}

void NSButton::setAttributedTitle(const NSAttributedString& title)
{
    if (auto* buttonCell = dynamic_cast<NSButtonCell*>(&cell()))
    {
        buttonCell->setAttributedTitle(title);
        return;
    }
    setTitle(title.string());
}

bool NSControl::sendAction()
{
    const std::shared_ptr<NSResponder> target = m_target.lock();
    if (!target || m_action.empty())
    {
        return false;
    }
    return target->tryToPerform(m_action, this);
}

void NSButton::performClick()
{
    // The view may be released by the action it sends; keep it alive until the click ends.
    const auto self = shared_from_this();
    setHighlighted(true);
    sendAction();
    setHighlighted(false);
}

} // namespace huecast::kit
