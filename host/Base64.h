// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace huecast::host
{

/// Standard base64 (RFC 4648) with padding.
[[nodiscard]] std::string encodeBase64(const foundation::Bytes& bytes);
/// Empty for text that is not canonical padded base64.
[[nodiscard]] std::optional<foundation::Bytes> decodeBase64(std::string_view text);

} // namespace huecast::host
