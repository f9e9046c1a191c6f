// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

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

} // namespace huecast::foundation
