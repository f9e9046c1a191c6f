// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/LutChooser.h"

#include <algorithm>
#include <filesystem>

#include <fmt/format.h>

#include "platform/foundation/Text.h"
#include "platform/fx/FxCustomValue.h"

namespace huecast::host
{

std::vector<std::string> LutChooser::libraryNames() const
{
    const Parameter* popup = m_instance.parameters().parameter(m_parameters.popup);
    if (popup == nullptr)
    {
        return {};
    }
    const std::vector<std::string>& entries = popup->entries;
    return {entries.begin() +
                std::clamp<std::ptrdiff_t>(m_parameters.firstLibraryIndex, 0, std::ssize(entries)),
            entries.end()};
}

LutChoiceResult LutChooser::chooseLibraryEntry(const std::string& name)
{
    const std::vector<std::string> names = libraryNames();
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end())
    {
        return LutChoiceResult::NotOffered;
    }
    m_presenter.setAlertPrefix(
        fmt::format("huecast: {}.cube: ", foundation::escapeForTerminal(name)));
    const int alertsBefore = m_presenter.alertCount();
    (void)m_instance.choosePopupEntry(m_parameters.popup,
                                      m_parameters.firstLibraryIndex +
                                          static_cast<std::int32_t>(found - names.begin()));
    return m_presenter.alertCount() == alertsBefore ? LutChoiceResult::Loaded
                                                    : LutChoiceResult::Refused;
}

LutChoiceResult LutChooser::chooseFile(const std::string& path)
{
    m_presenter.setAlertPrefix(fmt::format("huecast: {}: ", foundation::escapeForTerminal(path)));
    const int alertsBefore = m_presenter.alertCount();
    (void)m_instance.choosePopupEntry(m_parameters.popup, m_parameters.externalFileIndex);
    std::error_code ignored;
    const std::string chosen = std::filesystem::absolute(path, ignored).string();
    m_presenter.answerNextPanel(chosen);
    if (!m_instance.clickBrowse(m_parameters.browse))
    {
        return LutChoiceResult::NotOffered;
    }
    const Parameter* browse = m_instance.parameters().parameter(m_parameters.browse);
    const std::string* loaded = browse != nullptr ? fx::stringOf(browse->value) : nullptr;
    return m_presenter.alertCount() == alertsBefore && loaded != nullptr && *loaded == chosen
               ? LutChoiceResult::Loaded
               : LutChoiceResult::Refused;
}

} // namespace huecast::host
