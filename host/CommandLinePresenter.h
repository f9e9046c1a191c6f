// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <deque>
#include <string>

#include "platform/kit/Modal.h"

namespace huecast::host
{

/// Modal UI for a host without a screen: each open panel takes the next path given on the
/// command line (or is cancelled when none is left), and each alert is printed on stderr as
/// "<message text>: <informative text>" ("Huecast Error: File doesn't exist").
class CommandLinePresenter final : public kit::ModalPresenter
{
public:
    explicit CommandLinePresenter(std::deque<std::string> answers, std::FILE* alerts = stderr)
        : m_answers(std::move(answers)), m_alerts(alerts)
    {
    }

    kit::OpenPanelResult runOpenPanel(const kit::OpenPanelRequest& request) override;
    long runAlert(const kit::AlertContent& alert) override;

    /// How many alerts were shown.
    [[nodiscard]] int alertCount() const { return m_alertCount; }

private:
    std::deque<std::string> m_answers;
    std::FILE* m_alerts;
    int m_alertCount = 0;
};

} // namespace huecast::host
