// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Numbers.h"

#include <cmath>
#include <limits>
#include <optional>

#include <gtest/gtest.h>

namespace huecast::foundation
{
namespace
{

TEST(Numbers, WholeTokenNumberTakesTheLocaleSeparatorOrThePoint)
{
    EXPECT_EQ(numberFromString("0,5", ','), 0.5);
    EXPECT_EQ(numberFromString("0.5", ','), 0.5);
    EXPECT_EQ(numberFromString("-17,25", ','), -17.25);
    EXPECT_EQ(numberFromString("0,5", '.'), std::nullopt);
    EXPECT_EQ(numberFromString("1,5,5", ','), std::nullopt);
    for (const char* notNumber : {"", "-", ".", "1e", "17x", " 1", "1 ", "inf", "nan", "0x10"})
    {
        EXPECT_EQ(numberFromString(notNumber, '.'), std::nullopt) << notNumber;
    }
    // The user's locale is C under the test runner.
    EXPECT_EQ(userDecimalSeparator(), '.');
}

TEST(Numbers, ScanFloatSaturatesOutsideTheFloatRange)
{
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    EXPECT_EQ(scanFloat("1e39"), kInfinity);
    EXPECT_EQ(scanFloat("-1e39"), -kInfinity);
    EXPECT_EQ(scanFloat("1e99999999999999999999"), kInfinity);
    EXPECT_EQ(scanFloat("1e-60"), 0.0F);
    EXPECT_TRUE(std::signbit(*scanFloat("-1e-60")));
    EXPECT_EQ(scanFloat("0.333333333333333333333333333333"), 1.0F / 3.0F);
    EXPECT_EQ(scanFloat("1.5.5"), 1.5F);
    EXPECT_EQ(scanFloat("+infinity"), std::nullopt);
    EXPECT_EQ(scanFloat(""), std::nullopt);
}

} // namespace
} // namespace huecast::foundation
