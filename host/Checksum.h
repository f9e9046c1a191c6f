// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace huecast::host
{

/// The SHA-256 of the bytes as 64 lower-case hex digits; empty if the digest can't be made.
[[nodiscard]] std::string sha256Hex(std::span<const std::uint8_t> bytes);

} // namespace huecast::host
