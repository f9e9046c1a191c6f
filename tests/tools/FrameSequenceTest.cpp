// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Frame patterns and how `huecast render` maps its inputs onto outputs.
#include "tools/huecast/FrameSequence.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace huecast::test
{
namespace
{

using tool::FrameJob;
using tool::FramePattern;
using tool::planFrames;

TEST(FramePatternTest, ReadsThePaddingOfEachSpelling)
{
    const auto printf = FramePattern::parse("plates/shot.%04d.exr");
    ASSERT_TRUE(printf);
    EXPECT_EQ(printf->folder(), "plates");
    EXPECT_EQ(printf->pathOf(7), "plates/shot.0007.exr");
    EXPECT_EQ(printf->pathOf(12345), "plates/shot.12345.exr");

    const auto hashes = FramePattern::parse("shot.###.dpx");
    ASSERT_TRUE(hashes);
    EXPECT_EQ(hashes->folder(), ".");
    EXPECT_EQ(hashes->pathOf(7), "./shot.007.dpx");

    const auto plain = FramePattern::parse("/x/f%d.png");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->pathOf(7), "/x/f7.png");

    EXPECT_FALSE(FramePattern::parse("shot.0001.exr"));
    EXPECT_FALSE(FramePattern::parse("100%.png")) << "a lone percent sign is a name";
    EXPECT_FALSE(FramePattern::parse("shots#1/frame.png")) << "only the file name counts";
}

TEST(FramePatternTest, MatchesOnlyTheSpellingItWouldWrite)
{
    const auto pattern = FramePattern::parse("shot.####.exr");
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->numberOf("shot.0042.exr"), 42);
    EXPECT_EQ(pattern->numberOf("shot.10000.exr"), 10000);
    EXPECT_FALSE(pattern->numberOf("shot.42.exr"));
    EXPECT_FALSE(pattern->numberOf("shot.00042.exr"));
    EXPECT_FALSE(pattern->numberOf("shot.00a2.exr"));
    EXPECT_FALSE(pattern->numberOf("shot.0042.exr.bak"));
    EXPECT_FALSE(pattern->numberOf("shot..exr"));
}

class PlanFrames : public testing::Test
{
protected:
    std::vector<FrameJob> plan(const std::vector<std::string>& inputs, const std::string& output,
                               const std::optional<tool::FrameRange>& range = std::nullopt)
    {
        std::vector<FrameJob> jobs;
        problem.clear();
        EXPECT_TRUE(planFrames(inputs, output, range, clips, &jobs, &problem)) << problem;
        return jobs;
    }
    std::string refusal(const std::vector<std::string>& inputs, const std::string& output,
                        const std::optional<tool::FrameRange>& range = std::nullopt)
    {
        std::vector<FrameJob> jobs;
        problem.clear();
        EXPECT_FALSE(planFrames(inputs, output, range, clips, &jobs, &problem));
        return problem;
    }

    TempDir folder;
    std::string problem;
    tool::ClipLengths clips;
};

TEST_F(PlanFrames, ChoosesAFileAFolderOrANumberedOutput)
{
    for (const char* name : {"shot.0009.exr", "shot.0010.exr", "shot.0008.exr", "shot.0010.tif"})
    {
        folder.write(name, "");
    }
    const std::string still = folder.write("still.png", "");

    std::vector<FrameJob> jobs = plan({still}, folder.pathOf("graded.png"));
    ASSERT_EQ(jobs.size(), 1U);
    EXPECT_EQ(jobs[0].output, folder.pathOf("graded.png"));

    jobs = plan({still}, folder.pathOf("out/"));
    ASSERT_EQ(jobs.size(), 1U);
    EXPECT_EQ(jobs[0].output, folder.pathOf("out/still.png")) << "a trailing slash names a folder";

    jobs = plan({folder.pathOf("shot.####.exr")}, folder.pathOf("graded"));
    ASSERT_EQ(jobs.size(), 3U);
    EXPECT_EQ(jobs[0].input, folder.pathOf("shot.0008.exr")) << "in frame order";
    EXPECT_EQ(jobs[2].input, folder.pathOf("shot.0010.exr"));
    EXPECT_EQ(jobs[2].output, folder.pathOf("graded/shot.0010.exr"));

    jobs = plan({folder.pathOf("shot.%04d.exr")}, folder.pathOf("g.%06d.exr"));
    ASSERT_EQ(jobs.size(), 3U);
    EXPECT_EQ(jobs[1].output, folder.pathOf("g.000009.exr"));
}

TEST_F(PlanFrames, RefusesPlansThatWouldLoseAFrame)
{
    std::filesystem::create_directories(folder.pathOf("a"));
    std::filesystem::create_directories(folder.pathOf("b"));
    const std::string a = folder.write("a/frame.png", "");
    const std::string b = folder.write("b/frame.png", "");
    // Two frames to one file, or a frame over its input, the run's path check refuses
    // (RenderCommandTest), with every other path of the run.
    EXPECT_NE(refusal({folder.pathOf("none.####.exr")}, folder.pathOf("out"))
                  .find("no frame files fit this pattern"),
              std::string::npos);
    EXPECT_NE(refusal({a}, folder.pathOf("g.####.png")).find("needs numbered inputs"),
              std::string::npos);
    // A number negation would overflow is refused, not made a path of.
    folder.write("edge.-9223372036854775808.png", "");
    EXPECT_NE(refusal({folder.pathOf("edge.%d.png")}, folder.pathOf("out"))
                  .find("is numbered -9223372036854775808, beyond the 12 digits"),
              std::string::npos);
    folder.write("edge.7.png", "");
    EXPECT_EQ(
        plan({folder.pathOf("edge.%d.png")}, folder.pathOf("out"), tool::FrameRange{7, 7}).size(),
        1U)
        << "a range leaves such a file out";
}

TEST_F(PlanFrames, AClipBecomesNumberedFramesOrAMovie)
{
    const std::string clip = folder.write("take.mov", "");
    clips[clip] = 3;
    std::vector<FrameJob> jobs = plan({clip}, folder.pathOf("out"));
    ASSERT_EQ(jobs.size(), 3U);
    EXPECT_EQ(jobs[0].output, folder.pathOf("out/take.0001.png"));
    EXPECT_EQ(jobs[2].clipFrame, 2);
    jobs = plan({clip}, folder.pathOf("g.####.exr"), tool::FrameRange{2, 3});
    ASSERT_EQ(jobs.size(), 2U);
    EXPECT_EQ(jobs[0].output, folder.pathOf("g.0002.exr"));
    EXPECT_EQ(jobs[0].clipFrame, 1);

    EXPECT_EQ(refusal({clip}, folder.pathOf("out"), tool::FrameRange{2, 5}),
              clip + ": the clip has frames 1-3; frames 4-5 are missing");
    jobs = plan({clip}, folder.pathOf("graded.mov"), tool::FrameRange{2, 3});
    ASSERT_EQ(jobs.size(), 2U);
    EXPECT_EQ(jobs[1].output, folder.pathOf("graded.mov"));
    EXPECT_EQ(jobs[1].clipFrame, 2);
    const std::string still = folder.write("still.png", "");
    EXPECT_EQ(refusal({still}, folder.pathOf("graded.mov"))
                  .rfind(folder.pathOf("graded.mov") + ": a movie is written from one clip", 0),
              0U);
    EXPECT_EQ(refusal({still, clip}, folder.pathOf("a.png")),
              folder.pathOf("a.png") + ": several frames need a folder or a numbered pattern "
                                       "(such as graded.####.png) to go into, not one file");
}

TEST(FrameRangeTest, ReadsFirstAndLastInclusive)
{
    const auto range = tool::FrameRange::parse("1001-1010");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 1001);
    EXPECT_EQ(range->last, 1010);
    const auto negative = tool::FrameRange::parse("-5--1");
    ASSERT_TRUE(negative);
    EXPECT_EQ(negative->first, -5);
    EXPECT_EQ(negative->last, -1);
    const auto single = tool::FrameRange::parse("7");
    ASSERT_TRUE(single);
    EXPECT_EQ(single->last, 7);
    EXPECT_TRUE(tool::FrameRange::parse("-999999999999-999999999999"));
    for (const char* bad : {"", "10-1", "1-", "-", "a-b", "1-2x", "1..2", "+1-2", "1-+2",
                            "-9223372036854775808", "1-1000000000000"})
    {
        EXPECT_FALSE(tool::FrameRange::parse(bad)) << bad;
    }
}

TEST_F(PlanFrames, AGapIsAnErrorNamingTheMissingFramesUnlessTheRangeSkipsIt)
{
    for (const char* number : {"0001", "0002", "0004", "0005", "0006", "0009", "0011"})
    {
        folder.write(std::string("shot.") + number + ".png", "");
    }
    const std::string pattern = folder.pathOf("shot.####.png");
    EXPECT_EQ(refusal({pattern}, folder.pathOf("out")),
              pattern +
                  ": frames 3, 7-8, 10 are missing (--frames A-B grades a part without gaps)");
    EXPECT_EQ(refusal({pattern}, folder.pathOf("out"), tool::FrameRange{2, 4}),
              pattern + ": frame 3 is missing");
    EXPECT_EQ(refusal({pattern}, folder.pathOf("out"), tool::FrameRange{20, 30}),
              pattern + ": frames 20-30 are missing");

    const std::vector<FrameJob> jobs =
        plan({pattern}, folder.pathOf("out"), tool::FrameRange{4, 6});
    ASSERT_EQ(jobs.size(), 3U);
    EXPECT_EQ(jobs[0].input, folder.pathOf("shot.0004.png"));
    EXPECT_EQ(jobs[2].output, folder.pathOf("out/shot.0006.png"));

    const std::string still = folder.write("still.png", "");
    EXPECT_NE(refusal({still}, folder.pathOf("out"), tool::FrameRange{1, 2}).find("--frames"),
              std::string::npos)
        << "a range needs a sequence to pick from";
}

} // namespace
} // namespace huecast::test
