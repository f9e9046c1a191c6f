// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Text.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace huecast::foundation
{
namespace
{

struct Utf8Case
{
    const char* name;
    std::string text;
    std::optional<std::size_t> firstInvalid;

    friend void PrintTo(const Utf8Case& testCase, std::ostream* out) { *out << testCase.name; }
};

class Utf8Validation : public testing::TestWithParam<Utf8Case>
{
};

TEST_P(Utf8Validation, FindsTheFirstBadByte)
{
    EXPECT_EQ(firstInvalidUtf8(GetParam().text), GetParam().firstInvalid);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sequences, Utf8Validation, testing::ValuesIn(std::vector<Utf8Case>{
    {"Empty", "", std::nullopt},
    {"AllLengths", "a\u00E9\u20AC\U0001F600\U0010FFFF", std::nullopt},
    {"NulAndNonCharacter", std::string("\0\uFFFE", 4), std::nullopt},
    {"LoneContinuation", "ab\x80", 2},
    {"BadByteAfterLongAsciiRun", "0123456789abcdef0\xFF", 17},
    {"OverlongTwoBytes", "\xC0\xAF", 0},
    {"OverlongThreeBytes", "x\xE0\x80\xAF", 1},
    {"OverlongFourBytes", "\xF0\x8F\xBF\xBF", 0},
    {"Surrogate", "\xED\xA0\x80", 0},
    {"AboveLastCodePoint", "\xF4\x90\x80\x80", 0},
    {"FiveByteLead", "\xF8\x88\x80\x80\x80", 0},
    {"TruncatedAtEnd", "ab\xE2\x82", 2},
    {"MissingContinuation", "\xE2\x82x", 0},
    {"Latin1", "Caf\xE9", 3}}), test::NameOfCase());
// clang-format on

} // namespace
} // namespace huecast::foundation
