// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/Base64.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace huecast::host
{
namespace
{

foundation::Bytes bytesOf(std::string_view text)
{
    return {text.begin(), text.end()};
}

TEST(Base64, EncodesAndDecodesTheStandardVectorsAndEveryByte)
{
    const std::vector<std::pair<std::string, std::string>> vectors = {{"", ""},
                                                                      {"f", "Zg=="},
                                                                      {"fo", "Zm8="},
                                                                      {"foo", "Zm9v"},
                                                                      {"foob", "Zm9vYg=="},
                                                                      {"fooba", "Zm9vYmE="},
                                                                      {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors)
    {
        EXPECT_EQ(encodeBase64(bytesOf(plain)), encoded);
        EXPECT_EQ(decodeBase64(encoded), bytesOf(plain)) << encoded;
    }
    foundation::Bytes every(256);
    for (std::size_t i = 0; i < every.size(); ++i)
    {
        every[i] = static_cast<std::uint8_t>(255 - i);
    }
    for (std::size_t length = 0; length <= every.size(); length += 85)
    {
        const foundation::Bytes part(every.begin(), every.begin() + static_cast<long>(length));
        EXPECT_EQ(decodeBase64(encodeBase64(part)), part) << length;
    }
}

TEST(Base64, RefusesTextThatIsNotCanonicalPaddedBase64)
{
    using namespace std::string_view_literals;
    for (const std::string_view text :
         {"Zg"sv, "Zg="sv, "Zg==="sv, "Zh=="sv, "Zm9="sv, "Z==="sv, "===="sv, "Zg==Zg=="sv,
          "Zm9\n"sv, "Zm 9"sv, "Zm-v"sv, "Zm_v"sv, "Zm9\x80"sv, "Zm\0v"sv})
    {
        EXPECT_EQ(decodeBase64(text), std::nullopt) << text;
    }
}

} // namespace
} // namespace huecast::host
