// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Numbers.h"

#include <array>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale>
#include <string>
#include <system_error>

namespace huecast::foundation
{
namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t skipDigits(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && isDigit(text[pos]))
    {
        ++pos;
    }
    return pos;
}

// Length of the longest decimal number at the start of text (sign, digits, fraction,
// exponent), or 0 when there is none. The exponent counts only when digits follow it.
std::size_t decimalPrefixLength(std::string_view text, char decimalSeparator)
{
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
    {
        ++pos;
    }
    const std::size_t integerEnd = skipDigits(text, pos);
    std::size_t digits = integerEnd - pos;
    pos = integerEnd;
    if (pos < text.size() && (text[pos] == '.' || text[pos] == decimalSeparator))
    {
        const std::size_t fractionEnd = skipDigits(text, pos + 1);
        digits += fractionEnd - (pos + 1);
        pos = fractionEnd;
    }
    if (digits == 0)
    {
        return 0;
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E'))
    {
        std::size_t exponent = pos + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
        {
            ++exponent;
        }
        const std::size_t exponentEnd = skipDigits(text, exponent);
        if (exponentEnd > exponent)
        {
            pos = exponentEnd;
        }
    }
    return pos;
}

// Converts a number already matched by decimalPrefixLength, with "." as its separator.
template <typename T> T convertDecimal(std::string_view number)
{
    const bool negative = !number.empty() && number.front() == '-';
    if (!number.empty() && (number.front() == '+' || number.front() == '-'))
    {
        number.remove_prefix(1);
    }
    T value{};
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range)
    {
        // from_chars leaves the value alone when it does not fit; strtod knows the side.
        std::string copy(number);
        const double wide = std::strtod(copy.c_str(), nullptr);
        value = wide > 1.0 ? std::numeric_limits<T>::infinity() : T{0};
    }
    return negative ? -value : value;
}

} // namespace

char userDecimalSeparator()
{
    try
    {
        const std::locale user("");
        return std::use_facet<std::numpunct<char>>(user).decimal_point();
    }
    catch (const std::exception&)
    {
        return '.';
    }
}

std::optional<double> numberFromString(std::string_view token, char decimalSeparator)
{
    const std::size_t length = decimalPrefixLength(token, decimalSeparator);
    if (length == 0 || length != token.size())
    {
        return std::nullopt;
    }
    std::string normalised(token);
    for (char& c : normalised)
    {
        if (c == decimalSeparator)
        {
            c = '.';
        }
    }
    return convertDecimal<double>(normalised);
}

std::optional<float> scanFloat(std::string_view token)
{
    const char* pos = token.data();
    if (const std::optional<float> exact = readShortDecimal(pos, token.data() + token.size()))
    {
        return exact;
    }
    const std::size_t length = decimalPrefixLength(token, '.');
    if (length == 0)
    {
        return std::nullopt;
    }
    return convertDecimal<float>(token.substr(0, length));
}

} // namespace huecast::foundation
