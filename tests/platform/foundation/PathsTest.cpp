// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Paths.h"

#include <string>

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"

namespace huecast::foundation
{
namespace
{

using test::ScopedEnv;

TEST(Paths, ExpandsOnlyALeadingTilde)
{
    const ScopedEnv home("HOME", "/home/grader");
    EXPECT_EQ(expandTilde("~"), "/home/grader");
    EXPECT_EQ(expandTilde("~/Looks/Warm.cube"), "/home/grader/Looks/Warm.cube");
    for (const char* unchanged : {"", "/abs/~/x", "rel/~", " ~/x", "/~"})
    {
        EXPECT_EQ(expandTilde(unchanged), unchanged);
    }
    {
        const ScopedEnv slash("HOME", "/home/grader/");
        EXPECT_EQ(expandTilde("~/x.cube"), "/home/grader/x.cube");
    }
    const ScopedEnv root("HOME", "/");
    EXPECT_EQ(expandTilde("~/x.cube"), "/x.cube");
}

TEST(Paths, FallsBackToThePasswordDatabase)
{
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    const std::string expected = entry->pw_dir;
    for (const auto& value : {std::optional<std::string>(), std::optional<std::string>("")})
    {
        const ScopedEnv home("HOME", value);
        EXPECT_EQ(homeDirectory(), expected);
        EXPECT_EQ(expandTilde("~"), expected);
    }
    const passwd* root = ::getpwnam("root");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(expandTilde("~root/Looks"), std::string(root->pw_dir) + "/Looks");
    EXPECT_EQ(expandTilde("~no-such-user-huecast/x"), "~no-such-user-huecast/x");
}

TEST(Paths, LastComponentAndExtension)
{
    EXPECT_EQ(lastPathComponent("/luts/Night/"), "Night");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(deletingPathExtension("/Volumes/Grades/Film.alt.cube"), "/Volumes/Grades/Film.alt");
    EXPECT_EQ(deletingPathExtension("grades.d/Film"), "grades.d/Film");
}

} // namespace
} // namespace huecast::foundation
