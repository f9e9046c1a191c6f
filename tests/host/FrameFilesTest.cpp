// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Frame files through the frame-file module: what its calls do when they can't finish.
#include "host/FrameFiles.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "tests/support/TestSupport.h"

namespace huecast::test
{
namespace
{

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

std::uint32_t crc32(const std::string& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const char byte : bytes)
    {
        crc ^= static_cast<std::uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
        {
            crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
        }
    }
    return ~crc;
}

std::string bigEndian(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string chunk(const std::string& type, const std::string& data)
{
    return bigEndian(static_cast<std::uint32_t>(data.size())) + type + data +
           bigEndian(crc32(type + data));
}

/// A PNG whose header declares 16384×16384 16-bit RGBA pixels (2 GiB in memory), with as many
/// bytes of image data as deflate could make them from (not that they would).
std::string hugePngHeader(std::size_t imageData = std::size_t{2100} << 10)
{
    const std::string header = bigEndian(16384) + bigEndian(16384) + std::string{16, 6, 0, 0, 0};
    return std::string("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", header) +
           chunk("IDAT", std::string(imageData, '\0')) + chunk("IEND", "");
}

// Reads the file with the address space capped at 1 GiB above what the process holds once the
// module is loaded; exits 0 when the read failed with an error that says why.
[[noreturn]] void readUnderAMemoryCap(const std::string& path)
{
    host::Frame frame;
    (void)host::readFrameFile("/nonexistent.png", &frame, nullptr, nullptr); // loads the module
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(statm, "%ld", &pages) != 1)
        {
            pages = 0;
        }
        std::fclose(statm);
    }
    const rlim_t cap = static_cast<rlim_t>(pages) * 4096U + (rlim_t{1} << 30);
    const rlimit limit{cap, cap};
    ::setrlimit(RLIMIT_AS, &limit);
    foundation::Error error;
    const bool read = host::readFrameFile(path, &frame, nullptr, &error);
    std::fprintf(stderr, "%s\n", error.localizedDescription().c_str());
    std::_Exit(!read && error.localizedDescription().find("16384×16384 pixels need 2048 MiB") !=
                            std::string::npos
                   ? 0
                   : 1);
}

TEST(FrameFiles, AFrameTooLargeToAllocateIsAnErrorNotAnAbort)
{
    if (kAddressSanitizer)
    {
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the cap leaves";
    }
    const TempDir dir;
    const std::string path = dir.write("huge.png", hugePngHeader());
    EXPECT_EXIT(readUnderAMemoryCap(path), testing::ExitedWithCode(0), "need 2048 MiB");
}

TEST(FrameFiles, AHeaderDeclaringMoreThanItsFileCouldHoldIsRefusedBeforeAnyAllocation)
{
    const TempDir dir;
    const auto refusal = [&](const std::string& name, const std::string& bytes)
    {
        host::Frame frame;
        foundation::Error error;
        EXPECT_FALSE(host::readFrameFile(dir.write(name, bytes), &frame, nullptr, &error));
        return error.localizedDescription();
    };
    // A kilobyte declaring 16384² 16-bit pixels; a text chunk claiming two gigabytes.
    EXPECT_EQ(refusal("tiny.png", hugePngHeader(1024)),
              "It declares 16384×16384 pixels, more than its 1081 bytes could hold");
    // Named as no frame format at all, it is still what its bytes say.
    EXPECT_EQ(refusal("tiny.bin", hugePngHeader(1024)),
              "It declares 16384×16384 pixels, more than its 1081 bytes could hold");
    const std::string png = hugePngHeader(8);
    EXPECT_EQ(refusal("text.png", png.substr(0, 33) + bigEndian(0x7FFFFFF0) + "tEXtcomment"),
              "It is damaged: its tEXt chunk claims 2147483632 bytes, past the file's end");
    // An OpenEXR attribute claiming two gigabytes, and a ZIP-compressed 16384² in a kilobyte.
    const std::string magic("\x76\x2f\x31\x01\x02\x00\x00\x00", 8);
    EXPECT_EQ(
        refusal("attribute.exr", magic + std::string("owner\0string\0", 13) + "\xf0\xff\xff\x7f"),
        "It is damaged: its attribute \"owner\" claims 2147483632 bytes, past the file's end");
    const auto attribute =
        [](const std::string& name, const std::string& type, const std::string& value)
    {
        const auto size = static_cast<std::uint32_t>(value.size());
        return name + '\0' + type + '\0' +
               std::string{static_cast<char>(size), static_cast<char>(size >> 8),
                           static_cast<char>(size >> 16), static_cast<char>(size >> 24)} +
               value;
    };
    const std::string window = std::string(8, '\0') + std::string("\xff\x3f\0\0\xff\x3f\0\0", 8);
    const std::string header =
        magic +
        attribute("channels", "chlist",
                  std::string("R\0", 2) + std::string("\1\0\0\0", 4) + std::string(4, '\0') +
                      std::string("\1\0\0\0\1\0\0\0", 8) + std::string(1, '\0')) +
        attribute("compression", "compression", std::string(1, '\3')) +
        attribute("dataWindow", "box2i", window) + std::string(1, '\0') + std::string(1024, '\0');
    EXPECT_EQ(refusal("window.exr", header).rfind("It declares 16384×16384 pixels", 0), 0U);
    // OpenEXR's reader takes the last of two data windows: a small one before hides nothing.
    const std::size_t windowAt = header.rfind(std::string("dataWindow\0", 11));
    EXPECT_EQ(refusal("twice.exr", header.substr(0, windowAt) +
                                       attribute("dataWindow", "box2i", std::string(16, '\0')) +
                                       header.substr(windowAt))
                  .rfind("It declares 16384×16384 pixels", 0),
              0U);
    // A tiled file whose tiles OpenEXR would set 2 GB aside for as it opens it, with a data
    // window of 2×2, and with none (OpenEXR's default, 64×64).
    const std::string tiles = attribute("tiles", "tiledesc", std::string("\0\0\1\0\0\0\1\0\0", 9)) +
                              std::string(1, '\0') + std::string(1024, '\0');
    const std::string start = std::string("\x76\x2f\x31\x01\x02\x02\x00\x00", 8) +
                              header.substr(8, header.rfind(std::string("dataWindow\0", 11)) - 8);
    EXPECT_EQ(refusal("no-window.exr", start + tiles).rfind("It declares tiles of 65536×65536", 0),
              0U);
    const std::string tiled = start +
                              attribute("dataWindow", "box2i",
                                        std::string(8, '\0') + std::string("\1\0\0\0\1\0\0\0", 8)) +
                              tiles;
    EXPECT_EQ(refusal("tiles.exr", tiled).rfind("It declares tiles of 65536×65536 pixels", 0), 0U);

    // Uncompressed TIFFs of a few hundred bytes declaring 16384² 16-bit RGBA, each tag read as
    // libtiff reads it: the first of two, in a type of eight bytes, in a BigTIFF.
    const auto little = [](std::uint64_t value, std::size_t size)
    {
        std::string bytes(size, '\0');
        for (std::size_t b = 0; b < size; ++b)
        {
            bytes[b] = static_cast<char>(value >> (8 * b));
        }
        return bytes;
    };
    const auto entry =
        [&](std::uint16_t tag, std::uint16_t type, std::uint64_t value, std::size_t field = 4)
    { return little(tag, 2) + little(type, 2) + little(1, field) + little(value, field); };
    const std::string sizeTags =
        entry(258, 3, 16) + entry(259, 3, 1) + entry(277, 3, 4) + std::string(260, '\0');
    const std::string tiff = std::string("II*\0\x08\0\0\0\x05\0", 10) + entry(256, 4, 16384) +
                             entry(257, 4, 16384) + sizeTags;
    EXPECT_EQ(refusal("huge.tif", tiff).rfind("It declares 16384×16384 pixels", 0), 0U);
    const std::string twice = std::string("II*\0\x08\0\0\0\x07\0", 10) + entry(256, 4, 16384) +
                              entry(256, 4, 1) + entry(257, 4, 16384) + entry(257, 4, 1) + sizeTags;
    EXPECT_EQ(refusal("twice.tif", twice).rfind("It declares 16384×16384 pixels", 0), 0U);
    // Both sizes at byte 80, after the directory's 66 bytes from byte 8.
    const std::string eightBytes =
        std::string("II*\0\x08\0\0\0\x05\0", 10) + entry(256, 16, 80) + entry(257, 16, 80) +
        sizeTags.substr(0, 36) + std::string(10, '\0') + little(16384, 8) + std::string(260, '\0');
    EXPECT_EQ(refusal("long8.tif", eightBytes).rfind("It declares 16384×16384 pixels", 0), 0U);
    const std::string bigTiff = std::string("II+\0\x08\0\0\0", 8) + little(16, 8) + little(5, 8) +
                                entry(256, 4, 16384, 8) + entry(257, 4, 16384, 8) +
                                entry(258, 3, 16, 8) + entry(259, 3, 1, 8) + entry(277, 3, 4, 8) +
                                std::string(260, '\0');
    EXPECT_EQ(refusal("big.tif", bigTiff).rfind("It declares 16384×16384 pixels", 0), 0U);
}

TEST(FrameFiles, FramesAsCompressedAsTheirCodecsAllowAreStillRead)
{
    // 4096² black: deflate at its limit (1024:1 for the PNG), OpenEXR's ZIP and TIFF's LZW.
    const TempDir dir;
    const std::string png = dir.pathOf("black.png");
    const std::string exr = dir.pathOf("black.exr");
    const std::string tif = dir.pathOf("black.tif");
    ASSERT_EQ(std::system(("ffmpeg -v error -nostdin -f lavfi -i color=black:s=4096x4096 "
                           "-frames:v 1 -compression_level 9 -pix_fmt rgb24 '" +
                           png + "'")
                              .c_str()),
              0);
    for (const auto& [path, options] : {std::pair{exr, "-d half --compression zip:9"},
                                        std::pair{tif, "-d uint8 --compression lzw"}})
    {
        ASSERT_EQ(std::system(("oiiotool --pattern constant:color=0,0,0 4096x4096 3 " +
                               std::string(options) + " -o '" + path + "'")
                                  .c_str()),
                  0);
    }
    for (const std::string& path : {png, exr, tif})
    {
        host::Frame frame;
        foundation::Error error;
        EXPECT_TRUE(host::readFrameFile(path, &frame, nullptr, &error))
            << path << ": " << error.localizedDescription();
        EXPECT_EQ(frame.width(), 4096U) << path;
    }
}

} // namespace
} // namespace huecast::test
