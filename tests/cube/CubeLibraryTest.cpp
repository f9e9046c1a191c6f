// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/CubeLibrary.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cube/ZRCubeReader.h"
#include "tests/support/TestSupport.h"

namespace huecast
{
namespace
{

using Names = std::vector<std::string>;

TEST(CubeLibrary, ListsDirectEntriesEndingInCubeSortedByName)
{
    const test::TempDir dir;
    for (const char* name :
         {"Warm.cube", "Cold.CUBE", "notes.txt", "Night.cube.bak", "b.cube", "Day.alt.cube",
          ".x.cube", "Mixed.Cube", "Folder/Deep.cube", "Amber.cube", "teal.cube", "Zinc.cube"})
    {
        std::filesystem::create_directories(std::filesystem::path(dir.pathOf(name)).parent_path());
        dir.write(name, "LUT_3D_SIZE 1\n0 0 0\n");
    }
    ASSERT_EQ(::mkdir(dir.pathOf("Sub.cube").c_str(), 0700), 0);

    // Byte order, whatever order the file system lists the folder in.
    EXPECT_EQ(ZRCubeReader::cubesAtPath(dir.path()),
              (Names{".x", "Amber", "Day.alt", "Sub", "Warm", "Zinc", "b", "teal"}));
}

TEST(CubeLibrary, ExpandsTildeAndFindsTheLibraryFolderInHome)
{
    const test::TempDir dir;
    ASSERT_TRUE(kDefaultCubesLocation.starts_with("~/"));
    const std::string library(kDefaultCubesLocation.substr(2));
    std::filesystem::create_directories(dir.pathOf(library));
    dir.write(library + "/Teal.cube", "");
    const test::ScopedEnv home("HOME", dir.path());
    EXPECT_EQ(ZRCubeReader::cubesAtPath(std::string(kDefaultCubesLocation)), Names{"Teal"});
    EXPECT_EQ(ZRCubeReader::cubesAtPath("~/" + library + "/"), Names{"Teal"});
}

TEST(CubeLibrary, FoldersAreTheLibraryThenTheXdgDataFolders)
{
    const test::ScopedEnv home("HOME", "/home/c");
    const std::string library = "/home/c/Movies/Motion Templates.localized/Effects.localized/"
                                "Velmor/Tintbay";
    {
        const test::ScopedEnv dataHome("XDG_DATA_HOME", std::nullopt);
        const test::ScopedEnv dataDirs("XDG_DATA_DIRS", "");
        EXPECT_EQ(cubeLibraryFolders(),
                  (Names{library, "/home/c/.local/share/huecast/luts",
                         "/usr/local/share/huecast/luts", "/usr/share/huecast/luts"}));
    }
    // Relative folders are ignored, and a folder named twice comes once.
    const test::ScopedEnv dataHome("XDG_DATA_HOME", "/data/");
    const test::ScopedEnv dataDirs("XDG_DATA_DIRS", "/opt/share:share::/data:/usr/share");
    EXPECT_EQ(cubeLibraryFolders(), (Names{library, "/data/huecast/luts", "/opt/share/huecast/luts",
                                           "/usr/share/huecast/luts"}));
}

TEST(CubeLibrary, EntriesKeepFolderOrderAndEarlierNamesHideLaterOnes)
{
    const test::TempDir dir;
    for (const char* name : {"a/Warm.cube", "a/Cool.cube", "b/Warm.cube", "b/Amber.cube",
                             "c/Zinc.cube", "c/Cool.cube", "c/Blue.cube"})
    {
        std::filesystem::create_directories(std::filesystem::path(dir.pathOf(name)).parent_path());
        dir.write(name, "");
    }
    const std::string a = dir.pathOf("a");
    const std::string b = dir.pathOf("b");
    const std::string c = dir.pathOf("c");
    EXPECT_EQ(cubeLibraryEntries({a, dir.pathOf("missing"), b, c}),
              (std::vector<CubeLibraryEntry>{
                  {"Cool", a}, {"Warm", a}, {"Amber", b}, {"Blue", c}, {"Zinc", c}}));
}

TEST(CubeLibrary, MissingOrUnlistableFolderGivesNoNames)
{
    const test::TempDir dir;
    EXPECT_TRUE(ZRCubeReader::cubesAtPath(dir.pathOf("missing")).empty());
    EXPECT_TRUE(ZRCubeReader::cubesAtPath(dir.write("Warm.cube", "")).empty());
    EXPECT_TRUE(ZRCubeReader::cubesAtPath("").empty());
}

} // namespace
} // namespace huecast
