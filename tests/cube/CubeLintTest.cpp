// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The reader's notes for `huecast check`: each case changes one line of a valid sample, and the
// cube (or the error) must be what the reader gives without the notes.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cube/ZRCubeReader.h"
#include "tests/cube/CubeTestSupport.h"
#include "tests/support/TestSupport.h"

namespace huecast
{

void PrintTo(const CubeWarning& warning, std::ostream* out)
{
    *out << warning.line << ": " << warning.message;
}

namespace
{

using foundation::Error;
using Changes = std::vector<std::pair<int, std::string>>;
using Warnings = std::vector<CubeWarning>;

// clang-format off
const std::vector<std::string> kSample = {
    "TITLE \"Sample\"", "# a comment", "LUT_3D_SIZE 2", "DOMAIN_MIN 0 0 0", "DOMAIN_MAX 1 1 1",
    "0 0 0",            "1 0 0",       "0 1 0",         "1 1 0",            "0 0 1",
    "1 0 1",            "0 1 1",       "1 1 1"};
// clang-format on

std::string sampleWith(const Changes& changes)
{
    std::vector<std::string> lines = kSample;
    for (const auto& [line, text] : changes)
    {
        lines.at(static_cast<std::size_t>(line - 1)) = text;
    }
    std::string text;
    for (const std::string& line : lines)
    {
        text += line + "\n";
    }
    return text;
}

struct LintCase
{
    const char* name;
    Changes changes;
    Warnings warnings;
    std::int64_t code; // 0: the file loads

    friend void PrintTo(const LintCase& testCase, std::ostream* out) { *out << testCase.name; }
};

class CubeLintCases : public testing::TestWithParam<LintCase>
{
protected:
    test::TempDir m_dir;
};

TEST_P(CubeLintCases, NotesTheLineAndReadsAsWithout)
{
    const std::string text = sampleWith(GetParam().changes);
    const std::string path = m_dir.write("lint.cube", text);
    Error plainError;
    const auto plain = ZRCubeReader::cubeFromFile(path, &plainError);
    for (const bool fromFile : {true, false})
    {
        Warnings warnings;
        Error error;
        const auto cube = fromFile ? ZRCubeReader::cubeFromFile(path, &warnings, &error)
                                   : ZRCubeReader::cubeFromText(text, path, &warnings, &error);
        EXPECT_EQ(warnings, GetParam().warnings) << (fromFile ? "file" : "text");
        ASSERT_EQ(cube != nullptr, GetParam().code == 0) << error.localizedDescription();
        ASSERT_EQ(plain != nullptr, cube != nullptr);
        if (cube)
        {
            EXPECT_EQ(test::latticeOf(*cube), test::latticeOf(*plain));
        }
        else
        {
            EXPECT_EQ(error.code(), GetParam().code);
            EXPECT_EQ(error.localizedDescription(), plainError.localizedDescription());
        }
    }
}

const char* const kComma = "\"0,5 0,5 0,5\" reads as 0 0 0: characters after a number are ignored "
                           "(a decimal comma? .cube files take a point)";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sample, CubeLintCases,
    testing::ValuesIn(std::vector<LintCase>{
        {"CleanSample", {}, {}, 0},
        {"DecimalComma", {{6, "0,5 0,5 0,5"}}, {{6, kComma}}, 0},
        {"SuffixOnTheFastPath", {{7, "1.0f 0 0"}},
         {{7, "\"1.0f 0 0\" reads as 1 0 0: characters after a number are ignored"}}, 0},
        {"SuffixOnTheSlowPath", {{7, "1.0f\xC2\xA0" "0 0"}},
         {{7, "\"1.0f 0 0\" reads as 1 0 0: characters after a number are ignored"}}, 0},
        {"SkippedLineFailsWith106", {{9, "1 x 0"}},
         {{3, "LUT_3D_SIZE 2 declares 8 entries, and 7 follow it (1 data line was skipped, the "
              "first at line 9)"},
          {9, "the line is skipped: \"x\" doesn't read as a number"}}, 106},
        {"UnknownKeywordIgnored", {{2, "LUT_1D_INPUT_RANGE 0 1"}},
         {{2, "unknown keyword \"LUT_1D_INPUT_RANGE\": the line is ignored"}}, 0},
        {"MisspeltKeywordFails", {{4, "DOMIAN_MIN 0 0 0"}},
         {{4, "unknown keyword \"DOMIAN_MIN\": the line reads as data"}}, 105},
        {"NotANumberIsNoKeyword", {{2, "nan 0 0"}},
         {{2, "the line is skipped: \"nan\" doesn't read as a number"}}, 0},
        {"InvertedDomain", {{4, "DOMAIN_MIN 0 2 0"}},
         {{5, "the domain's minimum 0 2 0 is not below its maximum 1 1 1 in every channel"}}, 0},
        {"InvertedInputRange", {{4, "# no min"}, {5, "LUT_3D_INPUT_RANGE 1 1"}},
         {{5, "the domain's minimum 1 1 1 is not below its maximum 1 1 1 in every channel"}}, 0},
        {"NoSizeLine", {{3, "# no size"}},
         {{6, "the file has no LUT_3D_SIZE line, so its data has nowhere to go"}}, 106},
    }));
// clang-format on

TEST(CubeLint, ListsTenLinesOfAKindThenCountsTheRest)
{
    std::string text = "LUT_3D_SIZE 3\n";
    for (int entry = 0; entry < 27; ++entry)
    {
        text += "0,5 0,5 0,5\n";
    }
    Warnings warnings;
    ASSERT_TRUE(ZRCubeReader::cubeFromText(text, "many.cube", &warnings, nullptr));
    ASSERT_EQ(warnings.size(), 11U);
    EXPECT_EQ(warnings[9], (CubeWarning{11, kComma}));
    EXPECT_EQ(warnings[10],
              (CubeWarning{12, "17 more lines from here on, not listed, like line 2"}));
}

} // namespace
} // namespace huecast
