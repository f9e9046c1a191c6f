// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/kit/Modal.h"

namespace huecast::test
{

/// Answers open panels from a script (an empty answer cancels) and records every panel and
/// alert shown.
class ScriptedPresenter final : public kit::ModalPresenter
{
public:
    std::deque<std::string> answers;
    std::vector<kit::OpenPanelRequest> panels;
    std::vector<kit::AlertContent> alerts;

    kit::OpenPanelResult runOpenPanel(const kit::OpenPanelRequest& request) override
    {
        panels.push_back(request);
        if (answers.empty() || answers.front().empty())
        {
            if (!answers.empty())
            {
                answers.pop_front();
            }
            return {kit::kModalResponseCancel, {}};
        }
        kit::OpenPanelResult result{kit::kModalResponseOK, {answers.front()}};
        answers.pop_front();
        return result;
    }

    long runAlert(const kit::AlertContent& alert) override
    {
        alerts.push_back(alert);
        return kit::kAlertFirstButtonReturn;
    }
};

} // namespace huecast::test
