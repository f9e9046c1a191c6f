// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRCubeReader.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cube/CubeTestSupport.h"
#include "tests/support/TestSupport.h"

namespace huecast
{
namespace
{

using foundation::Error;
using test::latticeOf;

// The valid file every case starts from: edge 2, a domain, the eight corners of the unit cube.
// clang-format off
const std::vector<std::string> kSample = {
    "TITLE \"Sample\"", "# a comment", "LUT_3D_SIZE 2", "DOMAIN_MIN 0 0 0", "DOMAIN_MAX 1 1 1",
    "0 0 0",            "1 0 0",       "0 1 0",         "1 1 0",            "0 0 1",
    "1 0 1",            "0 1 1",       "1 1 1"};
const std::vector<float> kSampleLattice = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0,
                                           0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1};
// clang-format on
const char* const kLength = "Data length in file does not match declared size";
const char* const kSizeLine3 = "Malformed LUT_3D_SIZE tag Line:3";

using Changes = std::vector<std::pair<int, std::string>>;

// The sample with the numbered (1-based) lines replaced, a newline after every line.
std::string sampleWith(const Changes& changes, std::string_view newline = "\n")
{
    std::vector<std::string> lines = kSample;
    for (const auto& [line, text] : changes)
    {
        lines.at(static_cast<std::size_t>(line - 1)) = text;
    }
    std::string text;
    for (const std::string& line : lines)
    {
        text += line + std::string(newline);
    }
    return text;
}

class CubeReader : public testing::Test
{
protected:
    std::shared_ptr<ZRColourCube> read(std::string_view text, Error* error)
    {
        return ZRCubeReader::cubeFromFile(m_dir.write("test.cube", text), error);
    }

    void expectFailure(std::string_view text, std::int64_t code, const std::string& message)
    {
        Error error;
        EXPECT_EQ(read(text, &error), nullptr);
        EXPECT_EQ(error.domain(), "PrismorDomain");
        EXPECT_EQ(error.code(), code);
        EXPECT_EQ(error.localizedDescription(), message);
        EXPECT_EQ(error.userInfo().size(), 1U);
        EXPECT_EQ(read(text, nullptr), nullptr);
    }

    test::TempDir m_dir;
};

struct ErrorCase
{
    const char* name;
    Changes changes;
    std::int64_t code;
    const char* message;

    friend void PrintTo(const ErrorCase& testCase, std::ostream* out) { *out << testCase.name; }
};

class CubeReaderErrors : public CubeReader, public testing::WithParamInterface<ErrorCase>
{
};

TEST_P(CubeReaderErrors, FailsWithCodeAndMessage)
{
    expectFailure(sampleWith(GetParam().changes), GetParam().code, GetParam().message);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sample, CubeReaderErrors,
    testing::ValuesIn(std::vector<ErrorCase>{
        {"Lut1DSizeWithValidTable", {{2, "LUT_1D_SIZE 2"}}, 100, "1D LUTS are not supported"},
        {"Lut1DSizeBeatsShortTable", {{13, "lut_1d_size 3"}}, 100, "1D LUTS are not supported"},
        {"Lut2DSize", {{2, "LUT_2D_SIZE 2 2"}}, 101, "2D LUTS are not supported"},
        {"Lut2DSizeBeatsShortTable", {{13, "LUT_2D_SIZE"}}, 101, "2D LUTS are not supported"},
        {"EarlierBadLineBeatsLut1D", {{6, "0  0 0"}, {13, "LUT_1D_SIZE 2"}}, 105,
         "Malformed data Line:6"},
        {"SizeWithoutValue", {{3, "LUT_3D_SIZE"}}, 102, "Malformed LUT_3D_SIZE tag Line:3"},
        {"SizeWithTwoBlanks", {{3, "LUT_3D_SIZE  2"}}, 102, "Malformed LUT_3D_SIZE tag Line:3"},
        {"SizeWithTwoValues", {{3, "LUT_3D_SIZE 2 2"}}, 102, "Malformed LUT_3D_SIZE tag Line:3"},
        {"SizeZero", {{3, "LUT_3D_SIZE 0"}}, 102, kSizeLine3},
        {"SizeBelowOne", {{3, "LUT_3D_SIZE 0.9"}}, 102, kSizeLine3},
        {"SizeNegative", {{3, "LUT_3D_SIZE -3"}}, 102, kSizeLine3},
        {"SizeNegativeZero", {{3, "LUT_3D_SIZE -0"}}, 102, kSizeLine3},
        {"SizeAboveLargest", {{3, "LUT_3D_SIZE 257"}}, 102, kSizeLine3},
        {"SizeMillion", {{3, "LUT_3D_SIZE 1000000"}}, 102, kSizeLine3},
        {"SizeTwoToThe31", {{3, "LUT_3D_SIZE 2147483648"}}, 102, kSizeLine3},
        {"SizeExponent", {{3, "LUT_3D_SIZE 1e3"}}, 102, kSizeLine3},
        {"SizeWord", {{3, "LUT_3D_SIZE abc"}}, 102, kSizeLine3},
        {"SizeWithSuffix", {{3, "LUT_3D_SIZE 17x"}}, 102, kSizeLine3},
        {"SizeInfinity", {{3, "LUT_3D_SIZE inf"}}, 102, kSizeLine3},
        {"SizeNotANumber", {{3, "LUT_3D_SIZE nan"}}, 102, kSizeLine3},
        {"SizeCommaInCLocale", {{3, "LUT_3D_SIZE 2,0"}}, 102, kSizeLine3},
        {"LargestSizeIsAccepted", {{3, "LUT_3D_SIZE 256.9"}}, 106, kLength},
        {"DomainMinTwoValues", {{4, "DOMAIN_MIN 0 0"}}, 103, "Malformed DOMAIN_MIN tag Line:4"},
        {"DomainMinFourValues", {{4, "DOMAIN_MIN 0 0 0 0"}}, 103,
         "Malformed DOMAIN_MIN tag Line:4"},
        {"DomainMinTwoBlanks", {{4, "DOMAIN_MIN 0  0 0"}}, 103, "Malformed DOMAIN_MIN tag Line:4"},
        {"DomainMinWord", {{4, "DOMAIN_MIN 0 zero 0"}}, 103, "Malformed DOMAIN_MIN tag Line:4"},
        {"DomainMinSuffix", {{4, "Domain_Min 0 0.5x 0"}}, 103, "Malformed DOMAIN_MIN tag Line:4"},
        {"DomainMinInfinity", {{4, "DOMAIN_MIN inf 0 0"}}, 103, "Malformed DOMAIN_MIN tag Line:4"},
        {"DomainMaxTwoValues", {{5, "DOMAIN_MAX 1 1"}}, 104, "Malformed DOMAIN_MAX tag Line:5"},
        {"DomainMaxWord", {{5, "domain_max 1 1 one"}}, 104, "Malformed DOMAIN_MAX tag Line:5"},
        {"DataWithTwoBlanks", {{6, "0  0 0"}}, 105, "Malformed data Line:6"},
        {"DataWithTwoValues", {{7, "1 0"}}, 105, "Malformed data Line:7"},
        {"DataWithFourValues", {{8, "0 1 0 0"}}, 105, "Malformed data Line:8"},
        {"BlanksOnly", {{2, " \t "}}, 105, "Malformed data Line:2"},
        {"NoBreakSpaceOnly", {{2, "\u00A0"}}, 105, "Malformed data Line:2"},
        {"IndentedCommentOfFourWords", {{2, " # an indented comment"}}, 105,
         "Malformed data Line:2"},
        {"UnknownKeywordWithThreeValues", {{2, "LUT_1D_INPUT_RANGE 0 1 2"}}, 105,
         "Malformed data Line:2"},
        {"InputRangeWithThreeValues", {{2, "LUT_3D_INPUT_RANGE 0 1 2"}}, 109,
         "Malformed LUT_3D_INPUT_RANGE tag Line:2"},
        {"InputRangeWithOneValue", {{4, "LUT_3D_INPUT_RANGE 1"}}, 109,
         "Malformed LUT_3D_INPUT_RANGE tag Line:4"},
        {"InputRangeWord", {{4, "lut_3d_input_range 0 two"}}, 109,
         "Malformed LUT_3D_INPUT_RANGE tag Line:4"},
        {"TitleGluedToItsText", {{1, "TITLE\"Sample\" x"}}, 105, "Malformed data Line:1"},
        {"OneEntryTooFew", {{13, ""}}, 106, kLength},
        {"OneEntryTooMany", {{4, "0 0 0"}}, 106, kLength},
        {"NoSizeLine", {{3, "# LUT_3D_SIZE 2"}}, 106, kLength},
        {"EntryBeforeSizeLineIsDropped", {{2, "0 0 0"}, {13, ""}}, 106, kLength},
        {"SecondSizeLineRestartsTheData", {{9, "LUT_3D_SIZE 2"}}, 106, kLength},
        {"InfinityEntryIsSkipped", {{13, "inf 1 1"}}, 106, kLength},
        {"NanEntryIsSkipped", {{13, "1 nan 1"}}, 106, kLength},
        {"NegativeInfinityEntryIsSkipped", {{13, "1 -inf 1"}}, 106, kLength},
        {"WordEntryIsSkipped", {{13, "1 1 x"}}, 106, kLength},
        {"PointEntryIsSkipped", {{13, ". 1 1"}}, 106, kLength},
        {"SignEntryIsSkipped", {{13, "1 - 1"}}, 106, kLength},
        {"ExponentEntryIsSkipped", {{13, "1 1 e1"}}, 106, kLength}}),
    test::NameOfCase());
// clang-format on

struct VariantCase
{
    const char* name;
    Changes changes;

    friend void PrintTo(const VariantCase& testCase, std::ostream* out) { *out << testCase.name; }
};

class CubeReaderVariants : public CubeReader, public testing::WithParamInterface<VariantCase>
{
};

TEST_P(CubeReaderVariants, ReadsTheSameLattice)
{
    Error error("untouched", 1, {});
    const auto cube = read(sampleWith(GetParam().changes), &error);
    ASSERT_NE(cube, nullptr) << error.localizedDescription();
    EXPECT_EQ(cube->cubeSize(), 2);
    EXPECT_EQ(latticeOf(*cube), kSampleLattice);
    EXPECT_EQ(error.domain(), "untouched");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sample, CubeReaderVariants,
    testing::ValuesIn(std::vector<VariantCase>{
        {"Unchanged", {}},
        {"TitleWithAnyText", {{1, "title 'one' \"two\"  three\t4 5 6"}}},
        {"TitleAlone", {{1, "TITLE"}}},
        {"HashAtColumnOneHidesKeyword", {{2, "#LUT_1D_SIZE 2"}}},
        {"IndentedHashWithTwoWords", {{2, "  # two words"}}},
        {"UnknownKeywordWithTwoValues", {{2, "LUT_3D_INPUT_RANGE 0 1"}}},
        {"KeywordsInAnyCase", {{1, "tItLe x"}, {3, "Lut_3D_Size 2"}, {4, "domain_min 0 0 0"}}},
        {"WordInDataLineSkipsIt", {{4, "0 x 0"}}},
        {"TabsBetweenValues", {{6, "0\t0\t0"}}},
        {"LeadingAndTrailingBlanks", {{7, "  1 0 0 \t"}}},
        {"NoBreakAndIdeographicSpaces", {{8, "\u00A00\u30001\u00A00\u3000"}}},
        {"OtherSpaceSeparators", {{9, "1\u20031\u202F0\u205F"}}},
        {"NoBreakSpaceAfterKeyword", {{3, "LUT_3D_SIZE\u00A02"}}},
        {"TextAfterNumbers", {{10, "0x 0.y 1e"}}},
        {"CommaEndsANumber", {{11, "1,5 0,9 1"}}},
        {"NumberForms", {{12, ".0 10e-1 +.1E1"}}},
        {"SignedNumbers", {{13, "+1 1. 1.0e+0"}}},
        {"SizeWithFraction", {{3, "LUT_3D_SIZE 2.9"}}}}),
    test::NameOfCase());
// clang-format on

// Every newline character ends a piece; a CR LF pair leaves an empty piece that still counts.
struct NewlineCase
{
    const char* name;
    const char* newline;
    int reportedLine;

    friend void PrintTo(const NewlineCase& testCase, std::ostream* out) { *out << testCase.name; }
};

class CubeReaderNewlines : public CubeReader, public testing::WithParamInterface<NewlineCase>
{
};

TEST_P(CubeReaderNewlines, CountsEveryPiece)
{
    const auto cube = read(sampleWith({}, GetParam().newline), nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(latticeOf(*cube), kSampleLattice);
    expectFailure(sampleWith({{5, "a malformed fifth line"}}, GetParam().newline), 105,
                  "Malformed data Line:" + std::to_string(GetParam().reportedLine));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(AllKinds, CubeReaderNewlines,
                         testing::ValuesIn(std::vector<NewlineCase>{
                             {"LineFeed", "\n", 5},
                             {"CarriageReturn", "\r", 5},
                             {"CarriageReturnLineFeed", "\r\n", 9},
                             {"LineFeedCarriageReturn", "\n\r", 9},
                             {"VerticalTab", "\v", 5},
                             {"FormFeed", "\f", 5},
                             {"NextLine", "\xC2\x85", 5},
                             {"LineSeparator", "\u2028", 5},
                             {"ParagraphSeparator", "\u2029", 5}}),
                         test::NameOfCase());
// clang-format on

TEST_F(CubeReader, SkipsALeadingByteOrderMarkWithoutShiftingLineNumbers)
{
    const std::string bom = "\xEF\xBB\xBF";
    const auto cube = read(bom + sampleWith({}), nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(latticeOf(*cube), kSampleLattice);
    expectFailure(bom + sampleWith({{1, "#LUT_1D_SIZE 2"}, {5, "0 0"}}), 105,
                  "Malformed data Line:5");
}

TEST_F(CubeReader, FailsOnAFileWithoutSizeLine)
{
    expectFailure("", 106, kLength);
    expectFailure("\n\n# only comments\n0 0 0\n", 106, kLength);
}

TEST_F(CubeReader, KeepsEntriesInFileOrderUnclamped)
{
    // Entry (r, g, b) stands at index r + 2g + 4b: the file's own order, red fastest.
    std::string text = "LUT_3D_SIZE 2\n";
    std::vector<float> expected;
    for (int i = 0; i < 8; ++i)
    {
        const float red = static_cast<float>(i) - 2.5F;
        const float blue = static_cast<float>(i) / 8.0F;
        text +=
            std::to_string(red) + " " + std::to_string(i * 10) + " " + std::to_string(blue) + "\n";
        expected.insert(expected.end(), {red, static_cast<float>(i * 10), blue});
    }
    const auto cube = read(text, nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(latticeOf(*cube), expected);
}

// Each value as the C library rounds it, bit for bit: inside the text and at its very end,
// where fewer than eight bytes follow a number, and with digit runs on either side of eight.
TEST_F(CubeReader, ReadsValuesAsTheCLibraryRoundsThem)
{
    for (const std::string value :
         {"0.5", "-0", "+.5", "7.", "-0.049999", "1.0000001", "0.12345678", "0.123456789",
          "0.1234567891", "0.12345678912", "12345678.5", "16777216", "16777217", "0.000000000001",
          "00000000001.25", "1.5e-3", "3.4028235e38", "1e-46", "0.99999999999999999999"})
    {
        for (const char* ending : {"\n", ""})
        {
            std::string text = "LUT_3D_SIZE 1\n";
            text.append(value).append(" ").append(value).append("\t").append(value);
            const auto cube = read(text.append(ending), nullptr);
            ASSERT_NE(cube, nullptr) << value;
            const float expected = std::strtof(value.c_str(), nullptr);
            for (const float entry : latticeOf(*cube))
            {
                EXPECT_EQ(std::bit_cast<std::uint32_t>(entry),
                          std::bit_cast<std::uint32_t>(expected))
                    << value;
            }
        }
    }
}

// The lattice is sized from the bytes after the size line: the shortest lines, the last one
// with or without its newline, must still fill it to the last entry.
TEST_F(CubeReader, FillsTheLatticeFromTheShortestDataLines)
{
    for (const char* ending : {"\n", ""})
    {
        std::string text = "LUT_3D_SIZE 2\n";
        for (int i = 0; i < 7; ++i)
        {
            text += "1 2 3\n";
        }
        const auto cube = read(text.append("4 5 6").append(ending), nullptr);
        ASSERT_NE(cube, nullptr) << "ending " << std::string_view(ending).size();
        const std::vector<float> lattice = latticeOf(*cube);
        ASSERT_EQ(lattice.size(), 24U);
        EXPECT_EQ(std::vector<float>(lattice.end() - 3, lattice.end()),
                  (std::vector<float>{4, 5, 6}));
    }
}

// A malformed line after plain data lines is reported where every newline counts it.
TEST_F(CubeReader, CountsDataLinesInEveryNewline)
{
    for (const auto& [newline, line] :
         std::vector<std::pair<std::string, int>>{{"\n", 12}, {"\r\n", 23}, {"\v", 12}})
    {
        expectFailure(sampleWith({{12, "0 1 1 1"}}, newline), 105,
                      "Malformed data Line:" + std::to_string(line));
    }
}

TEST_F(CubeReader, HoldsValuesBeyondTheFloatRangeAtTheLargestFloat)
{
    const auto cube = read("LUT_3D_SIZE 1\n1e39 -1e39 3.5e38\n", nullptr);
    ASSERT_NE(cube, nullptr);
    constexpr float kLargest = std::numeric_limits<float>::max();
    EXPECT_EQ(latticeOf(*cube), (std::vector<float>{kLargest, -kLargest, kLargest}));
}

TEST_F(CubeReader, LastSizeLineRestartsTheData)
{
    const auto cube =
        read("9 9 9\nLUT_3D_SIZE 3\n1 1 1\n2 2 2\nLUT_3D_SIZE 1\n0.5 -0 0.125\n", nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->cubeSize(), 1);
    const std::vector<float> lattice = latticeOf(*cube);
    EXPECT_EQ(lattice, (std::vector<float>{0.5F, 0.0F, 0.125F}));
    EXPECT_TRUE(std::signbit(lattice.at(1))) << "negative zero is kept";
}

TEST_F(CubeReader, StoresDomainAndDescriptiveEntries)
{
    // Keyword lines may stand anywhere; the last DOMAIN_MIN wins.
    m_dir.write("domain.cube", "DOMAIN_MIN -0.1 -0.15 -0.2\nDOMAIN_MAX 1.5 2 3\nLUT_3D_SIZE 1\n"
                               "DOMAIN_MIN 0 0.1 0.5\n0 0 0\n");
    const std::string asPassed = m_dir.path() + "/./domain.cube";
    const auto cube = ZRCubeReader::cubeFromFile(asPassed, nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(test::numbersOf(test::entryOf(*cube, kDomainMinKey)),
              (std::vector<double>{0, 0.1, 0.5}));
    EXPECT_EQ(test::numbersOf(test::entryOf(*cube, kDomainMaxKey)),
              (std::vector<double>{1.5, 2, 3}));
    EXPECT_EQ(cube->cubeFileName(), asPassed);
    EXPECT_EQ(*test::entryOf(*cube, kCubeFormatKey).string(), "kIridasCubeFormat");

    // Resolve's input range gives both bounds, unless a DOMAIN line of the file gives one.
    const auto ranged = read("LUT_3D_SIZE 1\nLUT_3D_INPUT_RANGE -0.5 2\n0 0 0\n", nullptr);
    ASSERT_NE(ranged, nullptr);
    EXPECT_EQ(test::numbersOf(test::entryOf(*ranged, kDomainMinKey)),
              (std::vector<double>{-0.5, -0.5, -0.5}));
    EXPECT_EQ(test::numbersOf(test::entryOf(*ranged, kDomainMaxKey)),
              (std::vector<double>{2, 2, 2}));
    const auto mixed =
        read("DOMAIN_MAX 4 5 6\nLUT_3D_SIZE 1\nLUT_3D_INPUT_RANGE 0 2\n0 0 0\n", nullptr);
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(test::numbersOf(test::entryOf(*mixed, kDomainMinKey)),
              (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(test::numbersOf(test::entryOf(*mixed, kDomainMaxKey)),
              (std::vector<double>{4, 5, 6}));

    const auto plain = read("LUT_3D_SIZE 1\n0 0 0\n", nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->colourCube()->size(), 4U) << "no domain entries without DOMAIN lines";
}

} // namespace
} // namespace huecast
