// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// How the tool guides a user who leaves something out or types it wrong: exit status and the
// first line of the message.
#include "tools/huecast/CommandGuide.h"

#include <gtest/gtest.h>

#include "host/FrameFiles.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

namespace huecast::test
{
namespace
{

TEST(NearestNameTest, SuggestsTheCommandATypoMeant)
{
    const std::vector<std::string> names = {"check", "list", "render", "apply", "inspector"};
    EXPECT_EQ(tool::nearestName("rendr", names), "render");
    EXPECT_EQ(tool::nearestName("chek", names), "check");
    EXPECT_EQ(tool::nearestName("aply", names), "apply");
    EXPECT_EQ(tool::nearestName("insp", names), "inspector");
    EXPECT_EQ(tool::nearestName("frobnicate", names), "");
}

class Guide : public testing::Test
{
protected:
    /// Runs the tool; its status, and the first line of what it printed on `stream`.
    std::pair<int, std::string> run(const std::vector<std::string>& arguments,
                                    bool fromStandardOutput = false,
                                    const std::string& input = "/dev/null")
    {
        const ToolRun result = runTool(arguments, folder.pathOf("err"), input);
        last = result;
        const std::string text = fromStandardOutput ? result.out : readFile(folder.pathOf("err"));
        return {result.status, text.substr(0, text.find('\n'))};
    }
    std::string still()
    {
        std::string path = folder.pathOf("still.png");
        foundation::Error error;
        EXPECT_TRUE(host::writeFrameFile(path, host::Frame(4, 2, host::PixelType::UInt8),
                                         host::FrameFileFormat(), &error));
        return path;
    }

    TempDir folder;
    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path()};
    ToolRun last;
};

TEST_F(Guide, ListsOrSuggestsCommands)
{
    EXPECT_EQ(run({}), (std::pair<int, std::string>{2, "Commands:"}));
    EXPECT_EQ(run({"help"}, true), (std::pair<int, std::string>{0, "Commands:"}));
    EXPECT_NE(last.out.find("  render "), std::string::npos);
    EXPECT_EQ(run({"rendr", "x.png"}),
              (std::pair<int, std::string>{2, "huecast: unknown command \"rendr\"; did you "
                                              "mean \"render\"?"}));
    EXPECT_EQ(run({"chek"}).second, "huecast: unknown command \"chek\"; did you mean \"check\"?");
    EXPECT_EQ(run({"help", "rendr"}),
              (std::pair<int, std::string>{2, "huecast: unknown command \"rendr\"; did you "
                                              "mean \"render\"?"}));
    EXPECT_EQ(run({"--versoin"}),
              (std::pair<int, std::string>{2, "huecast: unknown option \"--versoin\"; did you "
                                              "mean \"--version\"?"}));
    EXPECT_EQ(run({"render", "--amount", "2", "x.png", "-o", "y.png"}),
              (std::pair<int, std::string>{2, "huecast: --amount: --amount takes a number from "
                                              "0 to 1"}));
    const auto version = run({"--version"}, true);
    EXPECT_EQ(version.first, 0);
    EXPECT_NE(last.out.find("\nGL renderer: "), std::string::npos) << last.out;
}

TEST_F(Guide, RenderSaysHowToChooseALutAndWhereFramesGo)
{
    const std::string input = still();
    const std::string out = folder.pathOf("out.png");
    auto [status, line] = run({"render", input, "-o", out});
    EXPECT_EQ(status, 2);
    EXPECT_EQ(line.rfind("huecast render: choose a LUT: --lut NAME", 0), 0U) << line;
    EXPECT_NE(line.find("--lut-file PATH"), std::string::npos);
    EXPECT_NE(line.find("--project FILE"), std::string::npos);

    const std::string cube = folder.write("look.cube", "LUT_3D_SIZE 1\n0.5 0.5 0.5\n");
    EXPECT_EQ(run({"render", "--lut", cube, input, "-o", out}),
              (std::pair<int, std::string>{1, "huecast: \"" + cube +
                                                  "\" is not in the LUT library; to load a .cube "
                                                  "file, use --lut-file " +
                                                  cube}));

    EXPECT_EQ(run({"render", "--lut", "No LUT", input, "-o", out}),
              (std::pair<int, std::string>{0, "huecast: wrote " + out}));
    EXPECT_EQ(run({"render", "-q", "--lut", "No LUT", input, "-o", out}),
              (std::pair<int, std::string>{0, ""}));

    EXPECT_EQ(run({"render", "--lut-file", cube, input, input, "-o", out}),
              (std::pair<int, std::string>{1, "huecast: " + out +
                                                  ": several frames need a folder or a numbered "
                                                  "pattern (such as graded.####.png) to go into, "
                                                  "not one file"}));
    EXPECT_EQ(run({"render", "--lut-file", cube, "--depth", "int7", input, "-o", out}).first, 2);
}

TEST_F(Guide, ApplyTakesCommentsBlankLinesAndOneColourAsArguments)
{
    const std::string cube =
        folder.write("steep.cube", "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n"
                                   "1 1 0\n0 0 1\n1 0 1\n0 1 1\n0.5 0.5 0.5\n");
    const std::string lines =
        folder.write("lines.txt", "# colours\n\n0.5 0.25 0.75\n   \n\t# more\n1 1 1\n");
    ASSERT_EQ(run({"apply", "--lut-file", cube}, true, lines).first, 0);
    const std::string fromLines = last.out;
    ASSERT_EQ(run({"apply", "--lut-file", cube, "0.5", "0.25", "0.75"}, true).first, 0);
    EXPECT_EQ(fromLines.substr(0, fromLines.find('\n') + 1), last.out);
    EXPECT_EQ(std::count(fromLines.begin(), fromLines.end(), '\n'), 2);
    EXPECT_EQ(run({"apply", "--lut-file", cube, "0.5", "0.25"}).first, 2);
}

} // namespace
} // namespace huecast::test
