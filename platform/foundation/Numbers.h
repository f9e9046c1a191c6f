// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace huecast::foundation
{

/// The decimal separator of the user's locale (LC_NUMERIC, LC_ALL or LANG), "." when the
/// environment names no usable locale.
[[nodiscard]] char userDecimalSeparator();

/// Whole-token number rule, as a default number formatter reads it: the entire token must be
/// an optional sign, digits with an optional fraction after `decimalSeparator` or ".", and an
/// optional exponent. Anything else, "inf" and "nan" included, is not a number.
[[nodiscard]] std::optional<double> numberFromString(std::string_view token, char decimalSeparator);

/// Float scan from the token's start: an optional sign, digits with an optional "." fraction
/// and an optional exponent; reading stops at the first character that cannot continue the
/// number, so "0.5x" reads as 0.5. Empty when the token does not begin with a number ("inf",
/// "nan", "x1", "."). A value beyond the float range becomes an infinity of its sign.
[[nodiscard]] std::optional<float> scanFloat(std::string_view token);

namespace detail
{

// At namespace scope, so that no call builds them on its stack.
inline constexpr std::array<std::uint64_t, 9> kScales = {1,      10,      100,      1000,     10000,
                                                         100000, 1000000, 10000000, 100000000};
inline constexpr std::array<float, 11> kPowersOfTen = {1e0F, 1e1F, 1e2F, 1e3F, 1e4F, 1e5F,
                                                       1e6F, 1e7F, 1e8F, 1e9F, 1e10F};

// Appends the decimal digits at `pos` to `mantissa` and returns how many there were, eight at a
// time while eight bytes remain. Stops once the mantissa is above `limit` (it is then no longer
// exact), which is below 2^32, so that eight more digits never overflow it.
[[gnu::always_inline]] inline std::size_t appendDigits(const char*& pos, const char* end,
                                                       std::uint64_t& mantissa, std::uint64_t limit)
{
    std::size_t count = 0;
    if constexpr (std::endian::native == std::endian::little)
    {
        while (end - pos >= 8)
        {
            std::uint64_t word = 0;
            std::memcpy(&word, pos, sizeof(word));
            // A digit byte becomes 0..9; any other byte keeps a bit in its high nibble, or gets
            // one when 6 is added to a low nibble above 9. A carry out of a byte only reaches
            // the bytes after a non-digit, which are not looked at.
            const std::uint64_t values = word ^ 0x3030303030303030ULL;
            const std::uint64_t nonDigits =
                (values | (values + 0x0606060606060606ULL)) & 0xF0F0F0F0F0F0F0F0ULL;
            const auto run =
                static_cast<std::size_t>(nonDigits == 0 ? 8 : std::countr_zero(nonDigits) / 8);
            if (run == 0)
            {
                return count;
            }
            // The run's first digit is its most significant: with the bytes after the run
            // shifted out, the bytes below it read as leading zeros. Then pairs, fours, eight.
            std::uint64_t value = values << (8 * (8 - run));
            value = value * 10 + (value >> 8);
            value = ((value & 0x000000FF000000FFULL) * 0x000F424000000064ULL +
                     ((value >> 16) & 0x000000FF000000FFULL) * 0x0000271000000001ULL) >>
                    32;
            mantissa = mantissa * kScales[run] + value;
            pos += run;
            count += run;
            if (run < 8 || mantissa > limit)
            {
                return count;
            }
        }
    }
    for (; pos != end && *pos >= '0' && *pos <= '9' && mantissa <= limit; ++pos, ++count)
    {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*pos - '0');
    }
    return count;
}

} // namespace detail

/// The common short decimal, such as "0.123456" or "-1.5", read from `pos` in one pass: an
/// optional sign, at most 24 bits of decimal mantissa and a fraction of up to 10 digits. Both
/// are exact in float, so one IEEE division rounds correctly, as a full conversion would. On
/// success `pos` is left after the last digit and the value is what scanFloat gives; empty (and
/// `pos` anywhere up to `end`) when the number needs scanFloat: an exponent, more digits, none.
/// Inline: readers call it once per value.
[[nodiscard, gnu::always_inline]] inline std::optional<float> readShortDecimal(const char*& pos,
                                                                               const char* end)
{
    constexpr std::uint64_t kMaxExactMantissa = 1U << 24;
    const bool negative = pos != end && *pos == '-';
    if (pos != end && (*pos == '-' || *pos == '+'))
    {
        ++pos;
    }
    // The whole part of a table's value is mostly one digit: read one by one.
    const char* const whole = pos;
    std::uint64_t mantissa = 0;
    for (; pos != end && *pos >= '0' && *pos <= '9'; ++pos)
    {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*pos - '0');
        if (mantissa > kMaxExactMantissa)
        {
            return std::nullopt;
        }
    }
    const bool wholeDigits = pos != whole;
    std::size_t scale = 0;
    if (pos != end && *pos == '.')
    {
        ++pos;
        scale = detail::appendDigits(pos, end, mantissa, kMaxExactMantissa);
    }
    // 'e' and 'E' differ in one bit only.
    if (mantissa > kMaxExactMantissa || (!wholeDigits && scale == 0) ||
        scale >= detail::kPowersOfTen.size() || (pos != end && (*pos | 0x20) == 'e'))
    {
        return std::nullopt;
    }
    const float value = static_cast<float>(mantissa) / detail::kPowersOfTen[scale];
    return negative ? -value : value;
}

} // namespace huecast::foundation
