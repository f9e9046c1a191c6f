// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace huecast::tool
{

/// The known name nearest to `typed` (a command mistyped as "rendr" or "chek"), or empty when
/// none is within two edits, or a quarter of its letters if more, of it.
[[nodiscard]] std::string nearestName(std::string_view typed,
                                      const std::vector<std::string>& names);

} // namespace huecast::tool
