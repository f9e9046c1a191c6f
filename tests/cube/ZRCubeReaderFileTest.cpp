// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cube/ZRCubeReader.h"
#include "platform/foundation/FileSystem.h"
#include "tests/cube/CubeTestSupport.h"
#include "tests/support/TestSupport.h"

namespace
{
// The largest single allocation while gWatching is set: a file's declared size alone must never
// make the reader allocate.
std::atomic<bool> gWatching{false};
std::atomic<std::size_t> gLargest{0};
} // namespace

void* operator new(std::size_t size)
{
    if (gWatching && size > gLargest)
    {
        gLargest = size;
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size))
    {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t /*size*/) noexcept
{
    std::free(memory);
}

namespace huecast
{
namespace
{

using foundation::Error;

// Reads the file and returns the error, noting the largest allocation the read made.
Error readWatched(const std::string& path, std::size_t& largest)
{
    Error error;
    gLargest = 0;
    gWatching = true;
    const bool read = ZRCubeReader::cubeFromFile(path, &error) != nullptr;
    gWatching = false;
    largest = gLargest;
    EXPECT_FALSE(read);
    return error;
}

// A read error is passed on exactly as the file service reports it, never as a Cube error.
void expectFileServiceError(const std::string& path, std::int64_t code)
{
    Error error;
    Error direct;
    EXPECT_EQ(ZRCubeReader::cubeFromFile(path, &error), nullptr);
    EXPECT_FALSE(foundation::readUtf8File(path, &direct).has_value());
    EXPECT_EQ(error.domain(), "HuecastFileErrorDomain");
    EXPECT_EQ(error.code(), code);
    EXPECT_EQ(error.localizedDescription(), direct.localizedDescription());
    EXPECT_NE(error.localizedDescription().find(path), std::string::npos);
    EXPECT_EQ(ZRCubeReader::cubeFromFile(path, nullptr), nullptr);
}

TEST(CubeReaderFile, NothingAtThePathFailsWith107)
{
    const test::TempDir dir;
    ASSERT_EQ(::symlink(dir.pathOf("gone").c_str(), dir.pathOf("dangling.cube").c_str()), 0);
    for (const char* name : {"missing.cube", "no/such/folder.cube", "dangling.cube"})
    {
        Error error;
        EXPECT_EQ(ZRCubeReader::cubeFromFile(dir.pathOf(name), &error), nullptr);
        EXPECT_EQ(error.domain(), "PrismorDomain");
        EXPECT_EQ(error.code(), 107);
        EXPECT_EQ(error.localizedDescription(), "File doesn't exist");
    }
}

TEST(CubeReaderFile, PassesOnTheReadErrorForAFolderAndForBytesThatAreNotUtf8)
{
    const test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.pathOf("folder.cube").c_str(), 0700), 0);
    expectFileServiceError(dir.pathOf("folder.cube"), EISDIR);
    expectFileServiceError(dir.write("latin1.cube", "TITLE \"Caf\xE9\"\nLUT_3D_SIZE 1\n0 0 0\n"),
                           foundation::kFileNotUtf8Error);
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"})
    {
        expectFileServiceError(dir.write("bad.cube", std::string("LUT_3D_SIZE 1\n0 0 0") + bad),
                               foundation::kFileNotUtf8Error);
    }
}

TEST(CubeReaderFile, RefusesWhatIsNotARegularFileOrTextAtOnceSayingWhatItIs)
{
    // Each would block in open() for ever (the pipe) or read gigabytes (the rest).
    const test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.pathOf("pipe.cube").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.pathOf("pipe.cube").c_str(), dir.pathOf("to-pipe.cube").c_str()), 0);
    ASSERT_EQ(::symlink(dir.pathOf("b.cube").c_str(), dir.pathOf("a.cube").c_str()), 0);
    ASSERT_EQ(::symlink(dir.pathOf("a.cube").c_str(), dir.pathOf("b.cube").c_str()), 0);
    // A sparse file of zeros is regular, but no text: it ends at its first byte.
    ASSERT_EQ(::truncate(dir.write("sparse.cube", "").c_str(), 1LL << 31), 0);
    // Past the first chunk read, the offset still counts from the file's start.
    std::string lateNul(100000, ' ');
    lateNul += '\0';
    const std::vector<std::tuple<std::string, std::int64_t, std::string>> cases = {
        {dir.pathOf("pipe.cube"), foundation::kFileNotRegularError, "a named pipe (FIFO)"},
        {dir.pathOf("to-pipe.cube"), foundation::kFileNotRegularError, "a named pipe (FIFO)"},
        {"/dev/zero", foundation::kFileNotRegularError, "a character device"},
        {"/dev/urandom", foundation::kFileNotRegularError, "a character device"},
        {dir.pathOf("a.cube"), ELOOP, "its symbolic links form a loop"},
        {dir.pathOf("sparse.cube"), foundation::kFileNotUtf8Error, "a NUL byte at offset 0"},
        {dir.write("late.cube", lateNul), foundation::kFileNotUtf8Error,
         "a NUL byte at offset 100000"},
    };
    for (const auto& [path, code, what] : cases)
    {
        expectFileServiceError(path, code);
        Error error;
        (void)foundation::readUtf8File(path, &error);
        EXPECT_NE(error.localizedDescription().find(what), std::string::npos)
            << error.localizedDescription();
    }
}

TEST(CubeReaderFile, PassesOnTheReadErrorForAFileWithoutPermission)
{
    if (::geteuid() == 0)
    {
        GTEST_SKIP() << "permissions do not stop root";
    }
    const test::TempDir dir;
    const std::string path = dir.write("locked.cube", "LUT_3D_SIZE 1\n0 0 0\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    expectFileServiceError(path, EACCES);
}

TEST(CubeReaderFile, ExpandsTildeAndKeepsThePathAsGiven)
{
    const test::TempDir dir;
    dir.write("Grade.v2.cube", "LUT_3D_SIZE 1\n0.5 0.5 0.5\n");
    const test::ScopedEnv home("HOME", dir.path());
    const auto cube = ZRCubeReader::cubeFromFile("~/Grade.v2.cube", nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->cubeFileName(), "~/Grade.v2.cube");
    EXPECT_EQ(cube->cubeName(), "Grade.v2");
    Error error;
    EXPECT_EQ(ZRCubeReader::cubeFromFile("~/Missing.cube", &error), nullptr);
    EXPECT_EQ(error.code(), 107);
}

TEST(CubeReaderFile, LargeDeclaredEdgeInAShortFileAllocatesNoLattice)
{
    const test::TempDir dir;
    std::size_t largest = 0;
    const Error error =
        readWatched(dir.write("short.cube", "LUT_3D_SIZE 256\n0 0 0\n0 0 0\n0 0 0\n"), largest);
    EXPECT_EQ(error.code(), 106);
    EXPECT_LT(largest, 64U * 1024U) << "a 256-point lattice takes 201326592 bytes";
}

TEST(CubeReaderFile, MillionLinesOfGarbageEndInAnErrorWithinTheFileSize)
{
    // Lines that are skipped or counted, never fatal, so the reader looks at every one of them.
    const char* const kLines[] = {"x y z",
                                  "",
                                  "# note",
                                  "0 0 0",
                                  "\t.5e 1x -2",
                                  "inf nan 0",
                                  "TITLE a b c d",
                                  "LUT_3D_INPUT_RANGE 0 1",
                                  "#"};
    std::string text = "LUT_3D_SIZE 256\n";
    std::uint32_t state = 12345;
    for (int i = 0; i < 1000000; ++i)
    {
        state = state * 1664525U + 1013904223U;
        text += kLines[(state >> 16) % std::size(kLines)];
        text += (state & 1U) != 0 ? "\n" : "\r\n";
    }
    const test::TempDir dir;
    std::size_t largest = 0;
    const Error error = readWatched(dir.write("garbage.cube", text), largest);
    EXPECT_EQ(error.domain(), "PrismorDomain");
    EXPECT_EQ(error.code(), 106);
    // The text itself, and at most one 12-byte entry for every shortest data line it holds.
    EXPECT_LE(largest, 2 * text.size() + std::size_t{64} * 1024);
}

TEST(CubeReaderFile, AFileReadInChunksGivesWhatItsWholeTextGives)
{
    // Megabytes of lines ended every way, so that chunks end between "\r" and "\n" and inside
    // long lines; once valid, once with a fault near the end, whose line number must survive.
    std::string lines = "\xEF\xBB\xBFTITLE \"chunks\"\r\nLUT_3D_SIZE 64\n";
    const char* const kEnds[] = {"\n", "\r\n", "\r", "\x0B", "\xC2\x85"};
    std::uint32_t state = 7;
    for (int i = 0; i < 64 * 64 * 64; ++i)
    {
        state = state * 1664525U + 1013904223U;
        lines += std::to_string((state >> 8) % 1000 / 999.0) + " 0.25 0.5" + kEnds[state % 5];
        if (i % 50000 == 0)
        {
            lines += "# " + std::string(1500000, 'x') + "\n";
        }
    }
    std::string faulty = lines;
    faulty.replace(faulty.size() - 40, 1, "x y");
    const test::TempDir dir;
    for (const std::string* text : {&lines, &faulty})
    {
        Error fromFile;
        Error fromText;
        const auto read = ZRCubeReader::cubeFromFile(dir.write("chunks.cube", *text), &fromFile);
        const auto parsed = ZRCubeReader::cubeFromText(*text, "chunks.cube", &fromText);
        ASSERT_EQ(read == nullptr, parsed == nullptr);
        EXPECT_EQ(parsed == nullptr, text == &faulty) << fromText.localizedDescription();
        EXPECT_EQ(fromFile.code(), fromText.code());
        EXPECT_EQ(fromFile.localizedDescription(), fromText.localizedDescription());
        if (read != nullptr)
        {
            EXPECT_EQ(read->cubeSize(), parsed->cubeSize());
            EXPECT_EQ(test::latticeOf(*read), test::latticeOf(*parsed));
        }
    }
}

} // namespace
} // namespace huecast
