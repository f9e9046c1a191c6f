// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// `huecast library` end to end on a fresh HOME: adding checks every file with the reader,
// copies only good ones, whole, and never replaces a different file unasked.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

namespace huecast::test
{
namespace
{

constexpr const char* kGoodCube = "LUT_3D_SIZE 2\n"
                                  "0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
constexpr const char* kOtherCube = "TITLE \"other\"\nLUT_3D_SIZE 2\n"
                                   "0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";

class Library : public testing::Test
{
protected:
    [[nodiscard]] std::string folder() const
    {
        return home.pathOf("Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay");
    }
    [[nodiscard]] std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(folder(), ignored))
        {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    ToolRun library(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> all{"library"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runTool(all, home.pathOf("stderr"));
    }
    [[nodiscard]] std::string errors() const { return readFile(home.pathOf("stderr")); }

    TempDir home;
    TempDir files;
    ScopedEnv homeVariable{"HOME", home.path()};
};

TEST_F(Library, AddCopiesTheGoodFilesWholeAndNamesEachBadOne)
{
    const std::string good = files.write("Look.CUBE", kGoodCube);
    const std::string bad = files.write("Bad.cube", "LUT_3D_SIZE 2\n0 0 0\n");
    const std::string missing = files.pathOf("Missing.cube");
    const ToolRun run = library({"--add", bad, good, missing});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(entries(), std::vector<std::string>{"Look.cube"});
    EXPECT_EQ(readFile(folder() + "/Look.cube"), kGoodCube);
    EXPECT_EQ(errors(), "huecast: " + bad +
                            ": Huecast Error: Data length in file does not match declared size\n"
                            "huecast: " +
                            missing + ": no such file\n");
}

TEST_F(Library, ADifferentFileOfTheSameNameStaysUnlessForced)
{
    const std::string first = files.write("Warm.cube", kGoodCube);
    ASSERT_EQ(library({"--add", first}).status, 0);
    // The same bytes again are already there, which is success.
    EXPECT_EQ(library({"--add", first}).status, 0);

    std::filesystem::create_directory(files.pathOf("other"));
    const std::string second = files.write("other/Warm.cube", kOtherCube);
    EXPECT_EQ(library({"--add", second}).status, 1);
    EXPECT_EQ(errors(), "huecast: " + second +
                            ": the library already holds a different Warm.cube; --force "
                            "replaces it\n");
    EXPECT_EQ(readFile(folder() + "/Warm.cube"), kGoodCube);

    EXPECT_EQ(library({"--add", second, "--force"}).status, 0);
    EXPECT_EQ(readFile(folder() + "/Warm.cube"), kOtherCube);
    EXPECT_EQ(entries(), std::vector<std::string>{"Warm.cube"}) << "no temporary file is left";
}

TEST_F(Library, OfTwoAddsOfOneNameAtOnceOneWinsAndTheOtherSaysItLost)
{
    std::filesystem::create_directories(files.pathOf("a"));
    std::filesystem::create_directories(files.pathOf("b"));
    const std::string a = files.write("a/Race.cube", kGoodCube);
    const std::string b = files.write("b/Race.cube", kOtherCube);
    for (int round = 0; round < 10; ++round)
    {
        std::filesystem::remove_all(folder());
        const auto add = [&](const std::string& file, const std::string& errors)
        {
            return std::async(std::launch::async,
                              [=] {
                                  return runTool({"library", "--add", file}, errors);
                              });
        };
        auto first = add(a, home.pathOf("a.err"));
        auto second = add(b, home.pathOf("b.err"));
        const ToolRun ranA = first.get();
        const ToolRun ranB = second.get();
        ASSERT_EQ(ranA.status + ranB.status, 1) << "one adds, the other fails: round " << round;
        EXPECT_EQ(readFile(folder() + "/Race.cube"), ranA.status == 0 ? kGoodCube : kOtherCube);
        const std::string lost = readFile(home.pathOf(ranA.status == 0 ? "b.err" : "a.err"));
        EXPECT_NE(lost.find("Race.cube"), std::string::npos) << lost;
        EXPECT_EQ(entries(), std::vector<std::string>{"Race.cube"});
    }
}

TEST_F(Library, NamesReachTheTerminalEscaped)
{
    const std::string odd = files.write("Two\nLines\x1b[2J.cube", kGoodCube);
    const ToolRun run = library({"--add", odd});
    EXPECT_EQ(run.status, 0) << errors();
    EXPECT_NE(run.out.find("added as Two\\x0aLines\\x1b[2J\n"), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    const ToolRun listed = library({});
    EXPECT_NE(listed.out.find("\nTwo\\x0aLines\\x1b[2J\n"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find('\x1b'), std::string::npos) << listed.out;
}

TEST_F(Library, ListingNamesTheFolderAndMarksEntriesThatWontLoad)
{
    const ScopedEnv dataHome("XDG_DATA_HOME", home.pathOf("data"));
    const ScopedEnv dataDirs("XDG_DATA_DIRS", home.pathOf("system"));
    const std::string data = home.pathOf("data/huecast/luts");
    const std::string system = home.pathOf("system/huecast/luts");
    ToolRun run = library({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, folder() + "/ (not made yet: huecast library --add FILE... makes it)\n" +
                           data + "/ (no such folder)\n" + system + "/ (no such folder)\n");

    std::filesystem::create_directories(folder());
    std::ofstream(folder() + "/Good.cube") << kGoodCube;
    std::ofstream(folder() + "/Broken.cube") << "LUT_3D_SIZE 2\n0 0\n";
    std::ofstream(folder() + "/notes.txt") << "not a LUT";
    std::filesystem::create_directories(system);
    std::ofstream(system + "/Good.cube") << kGoodCube;
    std::ofstream(system + "/Amber.cube") << kGoodCube;
    run = library({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, folder() +
                           "/\n"
                           "Broken (won't load: Huecast Error: Malformed data Line:2)\n"
                           "Good\n" +
                           data + "/ (no such folder)\n" + system + "/\nAmber\nGood (hidden by " +
                           folder() + "/Good.cube)\n");

    // Adding still goes into the first folder.
    ASSERT_EQ(library({"--add", files.write("Teal.cube", kGoodCube)}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(folder() + "/Teal.cube"));
}

} // namespace
} // namespace huecast::test
