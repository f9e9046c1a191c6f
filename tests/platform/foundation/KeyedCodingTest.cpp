// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/KeyedCoding.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/TestSupport.h"

namespace huecast::foundation
{
namespace
{

using Json = nlohmann::json;

Bytes archiveHolding(const Json& objects, int version = 1)
{
    return Json::to_cbor(
        {{"format", "huecast-keyed-archive"}, {"version", version}, {"objects", objects}});
}

TEST(KeyedCoding, RoundTripsValuesExactly)
{
    const std::vector<std::uint8_t> raw = {0x00, 0xFF, 0x7F, 0x80, 0xC0, 0x00};
    const Dictionary values = {
        {"null", Value()},
        {"integers", Value(Array{std::numeric_limits<std::int64_t>::min(),
                                 std::numeric_limits<std::int64_t>::max()})},
        {"reals", Value(Array{0.1, -0.0, 1e300})},
        {"texts", Value(Array{Value(""), Value("Caf\u00E9 \u2028 \"quoted\"")})},
        {"bytes", Value(Array{Value(makeSharedBytes(nullptr, 0)),
                              Value(makeSharedBytes(raw.data(), raw.size()))})},
        {"nested", Value(Dictionary{{"inner", Value(Dictionary{{"k", Value(Array{})}})}})}};
    KeyedArchiver archiver;
    archiver.encodeObject(Value("replaced"), "all");
    archiver.encodeObject(Value(values), "all");
    const auto unarchiver = KeyedUnarchiver::create(archiver.encodedData(), nullptr);
    ASSERT_NE(unarchiver, nullptr);
    const Value decoded = unarchiver->decodeObject("all");
    EXPECT_EQ(decoded, Value(values));
    EXPECT_TRUE(std::signbit(*decoded.dictionary()->at("reals").array()->at(1).doubleValue()));
    EXPECT_TRUE(unarchiver->decodeObject("missing").isNull());
}

struct RefusedCase
{
    const char* name;
    Bytes data;
    ArchiveError code;

    friend void PrintTo(const RefusedCase& testCase, std::ostream* out) { *out << testCase.name; }
};

class RefusedArchive : public testing::TestWithParam<RefusedCase>
{
};

TEST_P(RefusedArchive, GivesNullAndAnError)
{
    Error error;
    EXPECT_EQ(KeyedUnarchiver::create(GetParam().data, &error), nullptr);
    EXPECT_EQ(error.domain(), "HuecastArchiveErrorDomain");
    EXPECT_EQ(error.code(), static_cast<std::int64_t>(GetParam().code));
    EXPECT_TRUE(error.localizedDescription().starts_with("The archive couldn't be read: "))
        << error.localizedDescription();
}

Bytes nested(std::size_t depth)
{
    Json value = 0;
    for (std::size_t i = 0; i < depth; ++i)
    {
        value = Json::array({value});
    }
    return archiveHolding({{"k", value}});
}

Bytes withTrailingByte()
{
    Bytes data = archiveHolding(Json::object());
    data.push_back(0);
    return data;
}

// A one-entry map whose value's head claims 2^62 bytes or items and holds none.
Bytes claimingHugeLength(std::uint8_t head)
{
    return {0xA1, 0x61, 'k', head, 0x40, 0, 0, 0, 0, 0, 0, 0};
}

constexpr auto kCorrupt = ArchiveError::Corrupt;
constexpr auto kNotAnArchive = ArchiveError::NotAnArchive;
const Json kNoObjects = Json::object();
const Bytes kOtherFormat =
    Json::to_cbor({{"format", "x"}, {"version", 1}, {"objects", kNoObjects}});
const Bytes kNoVersion =
    Json::to_cbor({{"format", "huecast-keyed-archive"}, {"objects", kNoObjects}});
const Bytes kHugeInteger = archiveHolding({{"k", std::numeric_limits<std::uint64_t>::max()}});

// clang-format off
INSTANTIATE_TEST_SUITE_P(Damaged, RefusedArchive, testing::ValuesIn(std::vector<RefusedCase>{
    {"Empty", {}, kCorrupt},
    {"JsonText", Bytes{'{', '"', 'a', '"', ':', '1', '}'}, kCorrupt},
    {"TrailingByte", withTrailingByte(), kCorrupt},
    {"HugeByteStringLength", claimingHugeLength(0x5B), kCorrupt},
    {"HugeTextLength", claimingHugeLength(0x7B), kCorrupt},
    {"HugeArrayLength", claimingHugeLength(0x9B), kCorrupt},
    {"IntegerBeyondInt64", kHugeInteger, kCorrupt},
    {"TaggedItem", Bytes{0xA1, 0x61, 'k', 0xC1, 0x00}, kCorrupt},
    {"NotAMap", Json::to_cbor(Json::array({1, 2})), kNotAnArchive},
    {"OtherFormat", kOtherFormat, kNotAnArchive},
    {"NoVersion", kNoVersion, kNotAnArchive},
    {"ObjectsNotAMap", archiveHolding(Json::array()), kNotAnArchive},
    {"NewerVersion", archiveHolding(kNoObjects, 2), ArchiveError::NewerVersion},
    {"DeeplyNested", nested(100), ArchiveError::TooDeeplyNested},
    {"MillionNestedArrays", Bytes(1000000, 0x81), ArchiveError::TooDeeplyNested},
    // The JSON library's reader recursed once per nested chunk and overflowed the stack.
    {"NestedIndefiniteByteStrings", Bytes(2000000, 0x5F), kCorrupt},
    {"NestedIndefiniteTextStrings", Bytes(2000000, 0x7F), kCorrupt},
    {"IndefiniteArray", Bytes{0xA1, 0x61, 'k', 0x9F, 0x00, 0xFF}, kCorrupt}}),
    test::NameOfCase());
// clang-format on

TEST(KeyedCoding, TextThatIsNotUtf8ComesBackByteForByte)
{
    // A Linux path need not be UTF-8; a project must give back the path it saved.
    KeyedArchiver archiver;
    archiver.encodeObject(Value("/grades/Caf\xE9.cube"), "path");
    const auto unarchiver = KeyedUnarchiver::create(archiver.encodedData(), nullptr);
    ASSERT_NE(unarchiver, nullptr);
    EXPECT_EQ(unarchiver->decodeObject("path"), Value("/grades/Caf\xE9.cube"));
}

TEST(KeyedCoding, NewerVersionNamesBothVersions)
{
    Error error;
    EXPECT_EQ(KeyedUnarchiver::create(archiveHolding(Json::object(), 7), &error), nullptr);
    EXPECT_EQ(error.localizedDescription(),
              "The archive couldn't be read: it was written in format version 7, and this build "
              "reads up to version 1.");
    // Twenty levels are well within what an archive may nest.
    EXPECT_NE(KeyedUnarchiver::create(nested(20), nullptr), nullptr);
}

} // namespace
} // namespace huecast::foundation
