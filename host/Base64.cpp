// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/Base64.h"

#include <array>

namespace huecast::host
{
namespace
{

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> kDigits = []
{
    std::array<int, 256> table{};
    table.fill(-1);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    }
    return table;
}();

} // namespace

std::string encodeBase64(const foundation::Bytes& bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3)
    {
        const std::uint32_t group =
            (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
        {
            text += kAlphabet[(group >> shift) & 0x3F];
        }
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0)
    {
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (rest == 2)
        {
            group |= std::uint32_t{bytes[i + 1]} << 8;
        }
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text += '=';
    }
    return text;
}

std::optional<foundation::Bytes> decodeBase64(std::string_view text)
{
    if (text.size() % 4 != 0)
    {
        return std::nullopt;
    }
    foundation::Bytes bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4)
    {
        const bool last = i + 4 == text.size();
        std::size_t padding = 0;
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 4; ++j)
        {
            const char c = text[i + j];
            if (c == '=' && last && j >= 2)
            {
                ++padding;
                group <<= 6;
                continue;
            }
            const int digit = kDigits[static_cast<unsigned char>(c)];
            if (digit < 0 || padding > 0)
            {
                return std::nullopt;
            }
            group = (group << 6) | static_cast<std::uint32_t>(digit);
        }
        // Canonical text leaves the bits that padding drops at zero: "Zh==" is not "Zg==".
        if ((padding == 2 && (group & 0xFFFF) != 0) || (padding == 1 && (group & 0xFF) != 0))
        {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (padding < 2)
        {
            bytes.push_back(static_cast<std::uint8_t>((group >> 8) & 0xFF));
        }
        if (padding < 1)
        {
            bytes.push_back(static_cast<std::uint8_t>(group & 0xFF));
        }
    }
    return bytes;
}

} // namespace huecast::host
