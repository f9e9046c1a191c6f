// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
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

TEST(CubeLibrary, MissingOrUnlistableFolderGivesNoNames)
{
    const test::TempDir dir;
    EXPECT_TRUE(ZRCubeReader::cubesAtPath(dir.pathOf("missing")).empty());
    EXPECT_TRUE(ZRCubeReader::cubesAtPath(dir.write("Warm.cube", "")).empty());
    EXPECT_TRUE(ZRCubeReader::cubesAtPath("").empty());
}

} // namespace
} // namespace huecast
