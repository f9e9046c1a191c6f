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

    /// Queues the answer of a later open panel.
    void answerNextPanel(std::string path) { m_answers.push_back(std::move(path)); }
    /// Text printed before each alert, to say what it is about ("huecast: Warm.cube: "), with
    /// any file name in it already escaped for the terminal.
    void setAlertPrefix(std::string prefix) { m_alertPrefix = std::move(prefix); }

private:
    std::deque<std::string> m_answers;
    std::FILE* m_alerts;
    std::string m_alertPrefix;
    int m_alertCount = 0;
};

} // namespace huecast::host
