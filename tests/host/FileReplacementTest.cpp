// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Files replaced in one step: temporaries that name their machine and process, are made
// exclusively and written only through their own descriptor, are cleaned up after processes
// that died unless one still holds them, vanish on SIGINT and SIGTERM, and failures that say
// why.
#include "host/FileReplacement.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/FrameFiles.h"
#include "tests/support/TestSupport.h"

namespace huecast::test
{
namespace
{

namespace fs = std::filesystem;

std::string thisHost()
{
    char name[256] = {};
    ::gethostname(name, sizeof(name) - 1);
    return name;
}

pid_t deadProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(FileReplacement, RemovesOnlyTheTemporariesOfThisMachinesDeadProcesses)
{
    const TempDir folder;
    const std::string target = folder.pathOf("a.png");
    EXPECT_EQ(host::temporaryPathFor(target),
              folder.pathOf(".a.png.huecast-" + thisHost() + "-" + std::to_string(::getpid()) +
                            ".partial"));

    const std::string dead =
        ".b.png.huecast-" + thisHost() + "-" + std::to_string(deadProcess()) + ".partial";
    const std::string alive = ".c.png.huecast-" + thisHost() + "-1.partial";
    const std::string otherMachine =
        ".d.png.huecast-farm-node-7-" + std::to_string(deadProcess()) + ".partial";
    for (const std::string& name : {dead, alive, otherMachine})
    {
        folder.write(name, "half a frame");
    }
    std::string reason;
    ASSERT_TRUE(host::replaceFile(
        target,
        [](const std::string& temporary, std::string*)
        {
            std::ofstream(temporary) << "whole";
            return true;
        },
        &reason))
        << reason;
    EXPECT_EQ(readFile(target), "whole");
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{alive, otherMachine, "a.png"}));
}

TEST(FileReplacement, ATemporarySomeProcessHoldsStaysHoweverDeadItsNameLooks)
{
    // A writer in another PID namespace, or on a machine of the same name, looks dead from here.
    const TempDir folder;
    const std::string held = folder.write(
        ".e.png.huecast-" + thisHost() + "-" + std::to_string(deadProcess()) + ".partial", "half");
    const int fd = ::open(held.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct flock whole
    {
    };
    whole.l_type = F_WRLCK;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &whole), 0);
    std::string reason;
    EXPECT_TRUE(host::replaceFileWithBytes(folder.pathOf("e.png"), "whole", &reason)) << reason;
    EXPECT_EQ(readFile(held), "half");

    // A writer of this very name elsewhere (this PID in another namespace) keeps its file.
    const std::string target = folder.pathOf("f.png");
    std::filesystem::rename(held, host::temporaryPathFor(target));
    EXPECT_FALSE(host::replaceFileWithBytes(target, "whole", &reason));
    EXPECT_NE(reason.find("another process is writing it"), std::string::npos) << reason;
    EXPECT_EQ(readFile(host::temporaryPathFor(target)), "half");
    ::close(fd);
}

TEST(FileReplacement, WritesOnlyTheFileItMadeWhateverIsPlantedAtTheTemporarysName)
{
    const TempDir folder;
    const TempDir elsewhere;
    const std::string target = folder.pathOf("p.json");
    const std::string victim = elsewhere.write("victim", "keep me");

    // A hard link made beforehand at the predictable name.
    ASSERT_EQ(::link(victim.c_str(), host::temporaryPathFor(target).c_str()), 0);
    std::string reason;
    ASSERT_TRUE(host::replaceFileWithBytes(target, "graded", &reason)) << reason;
    EXPECT_EQ(readFile(target), "graded");
    EXPECT_EQ(readFile(victim), "keep me");

    // A symbolic link swapped in while the file is written: the write still goes to the file
    // made, the other file is untouched, and the swap fails the run.
    EXPECT_FALSE(host::replaceFile(
        target,
        [&](const std::string& temporary, std::string*)
        {
            const std::string name = host::temporaryPathFor(target);
            ::unlink(name.c_str());
            EXPECT_EQ(::symlink(victim.c_str(), name.c_str()), 0);
            std::ofstream(temporary) << "overwritten";
            return true;
        },
        &reason));
    EXPECT_NE(reason.find("was replaced or removed while it was written"), std::string::npos)
        << reason;
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_EQ(readFile(target), "graded");
}

TEST(FileReplacement, ASignalRemovesTheTemporaryAndEndsTheProcessByThatSignal)
{
    for (const int signal : {SIGINT, SIGTERM})
    {
        const TempDir folder;
        const std::string target = folder.pathOf("frame.exr");
        const pid_t child = ::fork();
        if (child == 0)
        {
            host::removeTemporaryOnSignals();
            std::string reason;
            (void)host::replaceFile(
                target,
                [signal](const std::string& temporary, std::string*)
                {
                    std::ofstream(temporary) << "half";
                    ::raise(signal);
                    return true;
                },
                &reason);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{}) << signal;
    }
}

TEST(FileReplacement, AFailureGivesTheFirstReasonAndNeverTheTemporarysName)
{
    const TempDir folder;
    const std::string notAFolder = folder.write("plain", "x");
    std::string reason;
    EXPECT_FALSE(host::replaceFile(
        notAFolder + "/p.json", [](const std::string&, std::string*) { return true; }, &reason));
    EXPECT_EQ(reason, std::strerror(ENOTDIR));

    EXPECT_FALSE(host::replaceFile(
        folder.pathOf("p.json"),
        [](const std::string&, std::string* problem)
        {
            *problem = "disk full";
            return false;
        },
        &reason));
    EXPECT_EQ(reason, "disk full");
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"plain"});

    // A frame: the reason is the system's, not the image library's complaint about a temporary.
    foundation::Error error;
    const host::Frame frame(2, 2, host::PixelType::UInt8);
    EXPECT_FALSE(
        host::writeFrameFile(notAFolder + "/b.png", frame, host::FrameFileFormat(), &error));
    EXPECT_EQ(error.localizedDescription(), std::strerror(ENOTDIR));

    // A name near the limit has room for its temporary.
    const std::string longName = folder.pathOf(std::string(250, 'n') + ".png");
    EXPECT_TRUE(host::writeFrameFile(longName, frame, host::FrameFileFormat(), &error))
        << error.localizedDescription();
}

} // namespace
} // namespace huecast::test
