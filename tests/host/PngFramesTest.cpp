// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// PNG frames through the common-format module, against OpenImageIO.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "host/Frame.h"
#include "host/FrameFiles.h"
#include "platform/foundation/Error.h"
#include "tests/host/FrameModules.h"

namespace huecast::test
{
namespace
{

std::string bigEndian(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string chunk(const std::string& type, const std::string& data)
{
    const std::string body = type + data;
    const auto crc =
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return bigEndian(static_cast<std::uint32_t>(data.size())) + body +
           bigEndian(static_cast<std::uint32_t>(crc));
}

struct PngSource
{
    const char* name;
    int depth = 8;
    int colour = 2; // 0 grey, 2 RGB, 4 grey and alpha, 6 RGBA
    std::string before{};
    std::string after{};
    int interlace = 0;
};

/// A 37×11 PNG of varied pixels with the chunks given before and after them.
std::string pngBytes(const PngSource& source)
{
    constexpr std::uint32_t kWidth = 37;
    constexpr std::uint32_t kHeight = 11;
    const int channels = source.colour == 0   ? 1
                         : source.colour == 4 ? 2
                         : source.colour == 2 ? 3
                                              : 4;
    const std::size_t rowBytes =
        (kWidth * static_cast<std::size_t>(channels * source.depth) + 7) / 8;
    std::string raw;
    for (std::uint32_t y = 0; y < kHeight; ++y)
    {
        raw += '\0';
        for (std::size_t x = 0; x < rowBytes; ++x)
        {
            raw += static_cast<char>((x * 7 + std::size_t{y} * 13 + x * x / 5) % 256);
        }
    }
    std::vector<Bytef> packed(compressBound(static_cast<uLong>(raw.size())));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    const std::string header =
        bigEndian(kWidth) + bigEndian(kHeight) +
        std::string{static_cast<char>(source.depth), static_cast<char>(source.colour), 0, 0,
                    static_cast<char>(source.interlace)};
    return std::string("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", header) + source.before +
           chunk("IDAT", std::string(reinterpret_cast<const char*>(packed.data()), packedSize)) +
           source.after + chunk("IEND", "");
}

std::string pixelDensity(std::uint32_t x, std::uint32_t y, char unit)
{
    return chunk("pHYs", bigEndian(x) + bigEndian(y) + std::string(1, unit));
}

std::string text(const std::string& key, const std::string& value)
{
    return chunk("tEXt", key + std::string(1, '\0') + value);
}

const std::string kSrgb = chunk("sRGB", std::string(1, '\0'));
const std::string kGamma22 = chunk("gAMA", bigEndian(45455));

TEST(PngFrames, TakesTheLayoutsItWritesAsOpenImageIODoes)
{
    const std::vector<PngSource> sources = {
        {"grey8", 8, 0},
        {"greyAlpha8", 8, 4},
        {"rgb8", 8, 2},
        {"rgba8", 8, 6},
        {"grey16", 16, 0},
        {"greyAlpha16", 16, 4},
        {"rgb16", 16, 2},
        {"rgba16", 16, 6},
        {"srgb", 8, 2, kSrgb},
        {"gamma22", 8, 6, kGamma22},
        {"srgbAndGamma", 8, 2, kGamma22 + kSrgb},
        {"chromaticities", 8, 2,
         chunk("cHRM", bigEndian(31270) + bigEndian(32900) + bigEndian(64000) + bigEndian(33000) +
                           bigEndian(30000) + bigEndian(60000) + bigEndian(15000) +
                           bigEndian(6000))},
        {"offset", 8, 2, chunk("oFFs", bigEndian(5) + bigEndian(7) + std::string(1, '\0'))},
        {"aspect", 8, 2, pixelDensity(1, 2, 0)},
        {"perMetre", 16, 2, pixelDensity(3780, 3779, 1)},
        {"fineDensity", 8, 2, pixelDensity(118110, 1, 1)},
        {"software", 8, 2, text("Software", "another tool 2.0")},
        {"ownColourSpace", 8, 2, kSrgb + text("oiio:ColorSpace", "sRGB") + text("Software", "x")},
        {"textAfterPixels", 8, 2, "", text("Comment", "not read")},
    };
    const TempDir dir;
    for (const PngSource& source : sources)
    {
        SCOPED_TRACE(source.name);
        const std::string path = dir.write(std::string(source.name) + ".png", pngBytes(source));
        ASSERT_EQ(compareWithOpenImageIO(path, dir, std::string(source.name) + "-out.png"),
                  CommonModule::Took);
        // A graded frame is graded again: what was written is taken as well.
        EXPECT_EQ(
            compareWithOpenImageIO(dir.pathOf(std::string("common-") + source.name + "-out.png"),
                                   dir, std::string(source.name) + "-again.png"),
            CommonModule::Took);
    }
}

TEST(PngFrames, DeclinesWhatOpenImageIOMapsInItsOwnWay)
{
    const std::string validIdat = pngBytes({"", 8, 2});
    const std::vector<PngSource> sources = {
        {"comment", 8, 2, text("Comment", "kept by OpenImageIO under its own rules")},
        {"time", 8, 2, chunk("tIME", std::string("\x07\xE4\x01\x02\x03\x04\x05", 7))},
        {"otherGamma", 8, 2, chunk("gAMA", bigEndian(50000))},
        {"otherColourSpace", 8, 2, text("oiio:ColorSpace", "Linear")},
        {"transparentColour", 8, 2, chunk("tRNS", std::string(6, '\0'))},
        {"background", 8, 2, chunk("bKGD", std::string(6, '\0'))},
        {"privateChunk", 8, 2, chunk("prIv", "data")},
        {"interlaced", 8, 2, "", "", 1},
        {"fourBitGrey", 4, 0},
    };
    const TempDir dir;
    for (const PngSource& source : sources)
    {
        SCOPED_TRACE(source.name);
        const std::string path = dir.write(std::string(source.name) + ".png", pngBytes(source));
        EXPECT_EQ(compareWithOpenImageIO(path, dir, "out.png"), CommonModule::Declined);
    }
    // A damaged file is declined too, so that OpenImageIO says what is wrong with it.
    const std::string cut = dir.write("cut.png", validIdat.substr(0, validIdat.size() - 30));
    EXPECT_EQ(compareWithOpenImageIO(cut, dir, "out.png"), CommonModule::Declined);
}

TEST(PngFrames, DamagedDataIsOneMessageFromTheHostNotAlsoOneFromLibpng)
{
    // Deflate data cut short inside valid chunks: plain and interlaced (a layout only
    // OpenImageIO reads), so the check runs before either reader prints.
    const TempDir dir;
    for (const int interlace : {0, 1})
    {
        SCOPED_TRACE(interlace);
        std::string bytes = pngBytes({"", 8, 2, "", "", interlace});
        const std::size_t idat = bytes.find("IDAT");
        const std::string damaged = chunk("IDAT", bytes.substr(idat + 4, 40));
        bytes.replace(idat - 4, bytes.size() - 12 - (idat - 4), damaged);
        const std::string path = dir.write("damaged.png", bytes);
        host::Frame frame;
        foundation::Error error;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(host::readFrameFile(path, &frame, nullptr, &error));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(error.localizedDescription().starts_with("PNG read error: "))
            << error.localizedDescription();
    }
}

} // namespace
} // namespace huecast::test
