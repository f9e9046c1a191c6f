// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Error.h"

namespace huecast::foundation
{

Error Error::withDescription(std::string domain, std::int64_t code, std::string description)
{
    Dictionary userInfo;
    userInfo.emplace(kLocalizedDescriptionKey, Value(std::move(description)));
    return {std::move(domain), code, std::move(userInfo)};
}

std::string Error::localizedDescription() const
{
    const auto entry = m_userInfo.find(kLocalizedDescriptionKey);
    if (entry == m_userInfo.end() || entry->second.string() == nullptr)
    {
        return {};
    }
    return *entry->second.string();
}

} // namespace huecast::foundation
