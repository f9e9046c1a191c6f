// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSControl.h"

namespace huecast::kit
{

NSResponder::~NSResponder() = default;
NSControl::~NSControl() = default;
NSButton::~NSButton() = default;
NSTextField::~NSTextField() = default;

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
