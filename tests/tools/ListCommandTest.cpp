// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// `huecast list` end to end: the popup of a filter made through the bundle in the reference host.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

namespace huecast::test
{
namespace
{

TEST(ListCommand, ShowsTheFixedEntriesThenTheLibrarysCubeFiles)
{
    TempDir home;
    const ScopedEnv homeVariable("HOME", home.path());
    const std::string library =
        home.pathOf("Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay");
    std::filesystem::create_directories(library);
    for (const char* name :
         {"Warm.cube", "Cold.CUBE", "notes.txt", "Night.cube.bak", "Day.alt.cube"})
    {
        std::ofstream(library + "/" + name) << "LUT_3D_SIZE 2\n";
    }
    const ToolRun run = runTool({"list"});
    ASSERT_EQ(run.status, 0);
    // The library names come in the folder's listing order, which the file system decides.
    EXPECT_TRUE(run.out == "No LUT\nExternal File\nWarm\nDay.alt\n" ||
                run.out == "No LUT\nExternal File\nDay.alt\nWarm\n")
        << run.out;
}

TEST(ListCommand, AMissingLibraryFolderLeavesTheTwoFixedEntries)
{
    TempDir home;
    const ScopedEnv homeVariable("HOME", home.path());
    const ToolRun run = runTool({"list"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "No LUT\nExternal File\n");

    const ToolRun parameters = runTool({"list", "--parameters"});
    EXPECT_EQ(parameters.status, 0);
    EXPECT_EQ(parameters.out, "1\t3D LUT\tpopup\tNo LUT (default) | External File\n"
                              "2\tCubeData\tcustom\thidden\n"
                              "3\tLoad LUT\tcustom\thidden\n"
                              "4\tInterpolation\tpopup\tTrilinear (default) | Tetrahedral\n"
                              "5\tAmount\tfloat\t0 to 1 (default 1)\n");
}

TEST(ListCommand, AMissingBundleIsAClearError)
{
    TempDir folder;
    const ScopedEnv bundle("HUECAST_BUNDLE", folder.pathOf("Nowhere.bundle"));
    const std::string errors = folder.pathOf("stderr");
    const ToolRun run = runTool({"list"}, errors);
    EXPECT_EQ(run.status, 1);
    std::ifstream in(errors);
    const std::string message((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(message.find("Nowhere.bundle"), std::string::npos) << message;
}

} // namespace
} // namespace huecast::test
