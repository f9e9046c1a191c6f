// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace huecast::foundation
{

/// The user-info key whose string value is the error's readable description.
inline constexpr std::string_view kLocalizedDescriptionKey = "NSLocalizedDescription";

/// An error object: a domain, an integer code and a user-info dictionary. Callers show the
/// description entry to the user; the domain and code are for programs.
class Error
{
public:
    Error() = default;
    Error(std::string domain, std::int64_t code, Dictionary userInfo)
        : m_domain(std::move(domain)), m_code(code), m_userInfo(std::move(userInfo))
    {
    }

    /// An error whose user-info holds exactly one entry: the description.
    [[nodiscard]] static Error withDescription(std::string domain, std::int64_t code,
                                               std::string description);

    [[nodiscard]] const std::string& domain() const { return m_domain; }
    [[nodiscard]] std::int64_t code() const { return m_code; }
    [[nodiscard]] const Dictionary& userInfo() const { return m_userInfo; }
    /// The description entry, or an empty string when the user-info has none.
    [[nodiscard]] std::string localizedDescription() const;

private:
    std::string m_domain;
    std::int64_t m_code = 0;
    Dictionary m_userInfo;
};

/// Stores the error in the caller's place when the caller gave one; a null place means the
/// caller does not want it, and nothing is made.
inline void setError(Error* place, std::string_view domain, std::int64_t code,
                     std::string_view description)
{
    if (place != nullptr)
    {
        *place = Error::withDescription(std::string(domain), code, std::string(description));
    }
}

} // namespace huecast::foundation
