// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/FileSystem.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace huecast::foundation
{
namespace
{

TEST(FileSystem, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile)
{
    const test::TempDir folder;
    const std::string path = folder.write("Warm.cube", "old");
    Error error;
    ASSERT_TRUE(writeFileAtomically(path, "new contents", &error)) << error.localizedDescription();
    EXPECT_EQ(test::readFile(path), "new contents");
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    EXPECT_EQ(directoryEntryNames(folder.path()), std::vector<std::string>{"Warm.cube"});
}

TEST(FileSystem, AFailedAtomicWriteLeavesTheFormerFileAndNamesThePath)
{
    const test::TempDir folder;
    // A folder where the file should go: the rename fails after the bytes were written.
    const std::string path = folder.pathOf("Taken.cube");
    std::filesystem::create_directory(path);
    std::filesystem::create_directory(path + "/inside");
    Error error;
    EXPECT_FALSE(writeFileAtomically(path, "bytes", &error));
    EXPECT_EQ(error.domain(), kFileErrorDomain);
    EXPECT_NE(error.localizedDescription().find("\"" + path + "\" couldn't be written"),
              std::string::npos)
        << error.localizedDescription();
    EXPECT_TRUE(std::filesystem::is_directory(path + "/inside"));
    EXPECT_EQ(directoryEntryNames(folder.path()), std::vector<std::string>{"Taken.cube"});

    EXPECT_FALSE(writeFileAtomically(folder.pathOf("missing/x.cube"), "bytes", &error));
    EXPECT_EQ(error.code(), ENOENT);
}

} // namespace
} // namespace huecast::foundation
