// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/CommandLinePresenter.h"

#include <fmt/format.h>

#include "platform/foundation/Text.h"

namespace huecast::host
{

kit::OpenPanelResult CommandLinePresenter::runOpenPanel(const kit::OpenPanelRequest& /*request*/)
{
    if (m_answers.empty())
    {
        return {kit::kModalResponseCancel, {}};
    }
    kit::OpenPanelResult result{kit::kModalResponseOK, {std::move(m_answers.front())}};
    m_answers.pop_front();
    return result;
}

long CommandLinePresenter::runAlert(const kit::AlertContent& alert)
{
    ++m_alertCount;
    // The prefix is the caller's, already escaped; the alert's text may quote a file's name.
    fmt::print(m_alerts, "{}{}: {}\n", m_alertPrefix,
               foundation::escapeForTerminal(alert.messageText),
               foundation::escapeForTerminal(alert.informativeText));
    std::fflush(m_alerts);
    return kit::kAlertFirstButtonReturn;
}

} // namespace huecast::host
