// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace huecast
{

/// The key the stored shader sources are scrambled with. Its bytes never occur in the GLSL
/// texts, so no scrambled byte is zero; and they turn most lower-case letters into control
/// characters, so the scrambled form shows no readable runs either.
inline constexpr std::array<std::uint8_t, 4> kSourceKey = {0x60, 0x7F, 0x40, 0x7E};

/// XORs byte i of one source with key byte i mod 4, in place; every source starts again at key
/// byte 0. The same call descrambles what it scrambled.
constexpr void scrambleSource(std::span<char> bytes) noexcept
{
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        bytes[i] = static_cast<char>(static_cast<std::uint8_t>(bytes[i]) ^
                                     kSourceKey[i % kSourceKey.size()]);
    }
}

/// A scrambled (or descrambled) copy of one source.
[[nodiscard]] inline std::string scrambledSource(std::string_view text)
{
    std::string copy(text);
    scrambleSource(copy);
    return copy;
}

} // namespace huecast
