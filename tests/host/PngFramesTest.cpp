// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// PNG frames through the common-format module, against OpenImageIO.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
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

/// The rows of a 37×11 image of varied bytes, each after its filter byte; interlaced, the
/// seven passes' rows in turn (whole bytes a pixel only).
std::string rawRows(const PngSource& source, std::uint32_t width, std::uint32_t height)
{
    const int channels = source.colour == 0 || source.colour == 3 ? 1
                         : source.colour == 4                     ? 2
                         : source.colour == 2                     ? 3
                                                                  : 4;
    const std::size_t rowBytes =
        (width * static_cast<std::size_t>(channels * source.depth) + 7) / 8;
    const auto byteAt = [](std::size_t x, std::size_t y)
    { return static_cast<char>((x * 7 + y * 13 + x * x / 5) % 256); };
    std::string raw;
    if (source.interlace == 0)
    {
        for (std::uint32_t y = 0; y < height; ++y)
        {
            raw += '\0';
            for (std::size_t x = 0; x < rowBytes; ++x)
            {
                raw += byteAt(x, y);
            }
        }
        return raw;
    }
    const std::size_t pixelBytes = rowBytes / width;
    constexpr std::array<std::array<std::uint32_t, 4>, 7> kPasses{{{0, 0, 8, 8},
                                                                   {4, 0, 8, 8},
                                                                   {0, 4, 4, 8},
                                                                   {2, 0, 4, 4},
                                                                   {0, 2, 2, 4},
                                                                   {1, 0, 2, 2},
                                                                   {0, 1, 1, 2}}};
    for (const auto& [left, top, across, down] : kPasses)
    {
        for (std::uint32_t y = top; y < height && left < width; y += down)
        {
            raw += '\0';
            for (std::uint32_t x = left; x < width; x += across)
            {
                for (std::size_t b = 0; b < pixelBytes; ++b)
                {
                    raw += byteAt(x * pixelBytes + b, y);
                }
            }
        }
    }
    return raw;
}

/// A 37×11 PNG of varied pixels with the chunks given before and after them.
std::string pngBytes(const PngSource& source)
{
    constexpr std::uint32_t kWidth = 37;
    constexpr std::uint32_t kHeight = 11;
    const std::string raw = rawRows(source, kWidth, kHeight);
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

std::string compressedText(const std::string& key, const std::string& value)
{
    std::vector<Bytef> packed(compressBound(static_cast<uLong>(value.size())));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(value.data()),
             static_cast<uLong>(value.size()));
    return chunk("zTXt", key + std::string(2, '\0') +
                             std::string(reinterpret_cast<const char*>(packed.data()), packedSize));
}

std::string palette(int entries)
{
    std::string colours;
    for (int i = 0; i < entries * 3; ++i)
    {
        colours += static_cast<char>(i * 37 % 256);
    }
    return chunk("PLTE", colours);
}

/// The smallest ICC header libpng accepts for RGB images: no tags.
std::string iccProfile()
{
    std::string header = bigEndian(132) + "none" + bigEndian(0x02100000) + "mntrRGB XYZ " +
                         std::string(12, '\0') + "acspAPPL" + std::string(20, '\0') + bigEndian(0) +
                         bigEndian(0xF6D6) + bigEndian(0x10000) + bigEndian(0xD32D) +
                         std::string(48, '\0') + bigEndian(0);
    std::vector<Bytef> packed(compressBound(static_cast<uLong>(header.size())));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(header.data()),
             static_cast<uLong>(header.size()));
    return chunk("iCCP", std::string("display") + std::string(2, '\0') +
                             std::string(reinterpret_cast<const char*>(packed.data()), packedSize));
}

/// One Exif directory entry: numbers for SHORT (3), LONG (4) and RATIONAL (5, numerator then
/// denominator) values, bytes for ASCII (2, stored with a NUL), BYTE (1) and UNDEFINED (7).
struct ExifEntry
{
    std::uint16_t tag;
    std::uint16_t type;
    std::vector<std::uint32_t> numbers{};
    std::string bytes{};
};
using ExifDirectory = std::vector<ExifEntry>;

std::string stored(bool big, std::uint32_t value, int width)
{
    std::string bytes;
    for (int i = 0; i < width; ++i)
    {
        const int shift = 8 * (big ? width - 1 - i : i);
        bytes += static_cast<char>(value >> shift);
    }
    return bytes;
}

std::string valueOf(bool big, const ExifEntry& entry)
{
    if (entry.type == 2)
    {
        return entry.bytes + '\0';
    }
    std::string value = entry.bytes;
    for (const std::uint32_t number : entry.numbers)
    {
        value += stored(big, number, entry.type == 3 ? 2 : 4);
    }
    return value;
}

/// The directory at `offset` of the block, then the values that don't fit in its entries.
std::string exifDirectory(bool big, const ExifDirectory& entries, std::size_t offset)
{
    std::string directory = stored(big, static_cast<std::uint32_t>(entries.size()), 2);
    std::string values;
    const std::size_t valuesAt = offset + 2 + 12 * entries.size() + 4;
    for (const ExifEntry& entry : entries)
    {
        const std::string value = valueOf(big, entry);
        const std::size_t count = entry.type == 3 || entry.type == 4 ? entry.numbers.size()
                                  : entry.type == 5                  ? entry.numbers.size() / 2
                                                                     : value.size();
        directory += stored(big, entry.tag, 2) + stored(big, entry.type, 2) +
                     stored(big, static_cast<std::uint32_t>(count), 4);
        if (value.size() <= 4)
        {
            directory += value + std::string(4 - value.size(), '\0');
            continue;
        }
        directory += stored(big, static_cast<std::uint32_t>(valuesAt + values.size()), 4);
        values += value + std::string(value.size() % 2, '\0');
    }
    return directory + stored(big, 0, 4) + values;
}

/// An eXIf chunk in either byte order: the main directory, then the Exif and GPS directories
/// its last entries point to, where given.
std::string exifChunk(bool big, ExifDirectory main, const ExifDirectory& exif = {},
                      const ExifDirectory& gps = {})
{
    std::vector<const ExifDirectory*> others;
    for (const auto& [tag, directory] : {std::pair{0x8769, &exif}, std::pair{0x8825, &gps}})
    {
        if (!directory->empty())
        {
            main.push_back({static_cast<std::uint16_t>(tag), 4, {0}});
            others.push_back(directory);
        }
    }
    const std::size_t mainSize = exifDirectory(big, main, 8).size();
    std::string rest;
    for (std::size_t i = 0; i < others.size(); ++i)
    {
        const std::size_t offset = 8 + mainSize + rest.size();
        main[main.size() - others.size() + i].numbers = {static_cast<std::uint32_t>(offset)};
        rest += exifDirectory(big, *others[i], offset);
    }
    return chunk("eXIf", std::string(big ? "MM" : "II") + stored(big, 42, 2) + stored(big, 8, 4) +
                             exifDirectory(big, main, 8) + rest);
}

/// What a camera writes: Make, Model, Orientation, XResolution, DateTime; ExposureTime,
/// FNumber, ISOSpeedRatings, DateTimeOriginal.
std::string cameraExif(bool big)
{
    return exifChunk(big,
                     {{0x10F, 2, {}, "Canon"},
                      {0x110, 2, {}, "EOS R5"},
                      {0x112, 3, {6}},
                      {0x11A, 5, {300, 1}},
                      {0x132, 2, {}, "2021:02:03 04:05:06"}},
                     {{0x829A, 5, {1, 250}},
                      {0x829D, 5, {28, 10}},
                      {0x8827, 3, {400}},
                      {0x9003, 2, {}, "2021:02:03 04:05:07"}});
}

const std::string kSrgb = chunk("sRGB", std::string(1, '\0'));
const std::string kGamma22 = chunk("gAMA", bigEndian(45455));
const std::string kChromaticities =
    chunk("cHRM", bigEndian(31270) + bigEndian(32900) + bigEndian(64000) + bigEndian(33000) +
                      bigEndian(30000) + bigEndian(60000) + bigEndian(15000) + bigEndian(6000));
const std::string kTime = chunk("tIME", std::string("\x07\xE4\x01\x02\x03\x04\x05", 7));

TEST(PngFrames, TakesWhatToolsWriteAndWritesWhatOpenImageIOReadsAsItsOwn)
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
        {"grey1", 1, 0},
        {"grey2", 2, 0},
        {"grey4", 4, 0},
        {"palette8", 8, 3, palette(256)},
        {"palette4", 4, 3, palette(16)},
        {"paletteTransparent", 8, 3,
         palette(256) + chunk("tRNS", std::string("\x00\x80\xff\x10", 4))},
        {"greyTransparent", 8, 0, chunk("tRNS", bigEndian(7).substr(2))},
        {"rgbTransparent", 8, 2, chunk("tRNS", std::string("\0\x07\0\x0d\0\x13", 6))},
        {"rgb16Transparent", 16, 2, chunk("tRNS", std::string("\x07\x0e\x0d\x1a\x13\x26", 6))},
        {"interlaced", 8, 2, "", "", 1},
        {"interlaced16Alpha", 16, 6, "", "", 1},
        {"interlacedPalette", 8, 3, palette(256), "", 1},
        {"srgb", 8, 2, kSrgb},
        {"gamma22", 8, 6, kGamma22},
        {"srgbAndGamma", 8, 2, kGamma22 + kSrgb},
        {"linear", 8, 2, chunk("gAMA", bigEndian(100000))},
        {"gamma18", 16, 2, chunk("gAMA", bigEndian(55556)) + kChromaticities},
        {"chromaticities", 8, 2, kChromaticities},
        {"allThree", 8, 2, kGamma22 + kChromaticities + kSrgb},
        {"profile", 8, 2, iccProfile()},
        {"time", 8, 2, kTime},
        {"offset", 8, 2, chunk("oFFs", bigEndian(5) + bigEndian(7) + std::string(1, '\0'))},
        {"aspect", 8, 2, pixelDensity(1, 2, 0)},
        {"perMetre", 16, 2, pixelDensity(3780, 3779, 1)},
        {"fineDensity", 8, 2, pixelDensity(118110, 1, 1)},
        {"zeroDensity", 8, 2, pixelDensity(0, 1, 0)},
        {"software", 8, 2, text("Software", "another tool 2.0")},
        {"ownColourSpace", 8, 2, kSrgb + text("oiio:ColorSpace", "sRGB") + text("Software", "x")},
        {"texts", 8, 2,
         text("Comment", "kept") + text("Title", "a title") + text("Author", "someone") +
             text("Description", "what") + text("Exif:ImageHistory", "oiiotool --create") +
             compressedText("Copyright", "(c) someone") +
             chunk("iTXt", std::string("Disclaimer\0\0\0en\0Haftung\0none", 28)) +
             text("Empty", "")},
        {"textAfterPixels", 8, 2, "", text("Comment", "not read")},
        {"exif", 8, 2, cameraExif(false)},
        {"exifBigEndian", 16, 6, cameraExif(true)},
        {"exifEmpty", 8, 2, chunk("eXIf", std::string("II*\0\x08\0\0\0\0\0\0\0\0\0", 14))},
        // The chunks' own time, density and text come first: the block's are not read.
        {"exifUnderChunks", 8, 2,
         kTime + pixelDensity(3780, 3780, 1) + text("Comment", "kept") +
             exifChunk(false, {{0x10E, 2, {}, "what"},
                               {0x11A, 5, {72, 1}},
                               {0x128, 3, {2}},
                               {0x131, 2, {}, "a tool"},
                               {0x132, 2, {}, "2021:02:03 04:05:06"},
                               {0x13B, 2, {}, "someone"},
                               {0x8298, 2, {}, "(c) someone"}})},
        {"exifColourSpace", 8, 2, kGamma22 + exifChunk(false, {}, {{0xA001, 3, {1}}})},
        {"exifUncalibrated", 8, 2, kGamma22 + exifChunk(false, {}, {{0xA001, 3, {0xFFFF}}})},
        {"exifVersionsAndGps", 8, 2,
         exifChunk(true, {{0x11A, 5, {72, 1}}, {0x11B, 5, {96, 1}}},
                   {{0x9000, 7, {}, "0230"},
                    {0x9101, 7, {}, std::string("\1\2\3\0", 4)},
                    {0x9286, 7, {}, std::string("ASCII\0\0\0a note", 14)},
                    {0xA000, 7, {}, "0100"},
                    {0xA002, 4, {37}},
                    {0xA003, 3, {11}}},
                   {{0, 1, {}, std::string("\2\2\0\0", 4)},
                    {1, 2, {}, "N"},
                    {2, 5, {51, 1, 30, 1, 1234, 100}},
                    {29, 2, {}, "2021:02:03"}})},
        {"otherChunks", 8, 2,
         chunk("bKGD", std::string(6, '\0')) + chunk("sBIT", "\x08\x08\x08") +
             chunk("prIv", "data")},
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

TEST(PngFrames, TakesWhatFfmpegAndOiiotoolWrite)
{
    if (std::system("command -v ffmpeg >/dev/null && command -v oiiotool >/dev/null") != 0)
    {
        GTEST_SKIP() << "ffmpeg or oiiotool is not installed";
    }
    const TempDir dir;
    // Each command writes OUT.
    const std::string ffmpeg = "ffmpeg -v error -nostdin -f lavfi -i testsrc2=s=37x11 "
                               "-frames:v 1 -pix_fmt ";
    const std::string oiiotool = "oiiotool --pattern fill:topleft=0,0.2,0.4:topright=1,0.5,0:"
                                 "bottomleft=0.1,1,0.3:bottomright=0.7,0.1,0.9 37x11 3 ";
    const std::vector<std::pair<std::string, std::string>> commands = {
        {"ffmpeg-rgb24", ffmpeg + "rgb24 OUT"},
        {"ffmpeg-rgba", ffmpeg + "rgba OUT"},
        {"ffmpeg-rgb48", ffmpeg + "rgb48be OUT"},
        {"ffmpeg-rgba64", ffmpeg + "rgba64be OUT"},
        {"ffmpeg-gray", ffmpeg + "gray OUT"},
        {"ffmpeg-gray16", ffmpeg + "gray16be OUT"},
        {"ffmpeg-ya8", ffmpeg + "ya8 OUT"},
        {"ffmpeg-pal8", ffmpeg + "pal8 OUT"},
        {"ffmpeg-monob", ffmpeg + "monob OUT"},
        {"oiiotool-8", oiiotool + "-d uint8 -o OUT"},
        {"oiiotool-16", oiiotool + "-d uint16 -o OUT"},
        {"oiiotool-alpha", oiiotool + "--ch R,G,B,A=0.5 -d uint8 -o OUT"},
        {"oiiotool-metadata",
         oiiotool + "--attrib Artist someone --attrib ImageDescription what --attrib DateTime "
                    "\"2021:02:03 04:05:06\" --attrib Copyright \"(c) someone\" -d uint8 -o OUT"},
        {"oiiotool-gamma", oiiotool + "--attrib oiio:ColorSpace Gamma1.8 -d uint8 -o OUT"},
        {"oiiotool-linear", oiiotool + "--attrib oiio:ColorSpace linear -d uint16 -o OUT"},
        {"oiiotool-density", oiiotool + "--attrib XResolution 300 --attrib YResolution 300 "
                                        "--attrib ResolutionUnit inch -d uint8 -o OUT"},
    };
    for (const auto& [name, command] : commands)
    {
        SCOPED_TRACE(name);
        const std::string path = dir.pathOf(name + ".png");
        std::string line = command;
        line.replace(line.find("OUT"), 3, "'" + path + "'");
        ASSERT_EQ(std::system((line + " >/dev/null 2>&1").c_str()), 0) << line;
        EXPECT_EQ(compareWithOpenImageIO(path, dir, name + "-out.png"), CommonModule::Took);
    }
}

TEST(PngFrames, DeclinesWhatOpenImageIOMapsInItsOwnWay)
{
    const std::string validIdat = pngBytes({"", 8, 2});
    const std::vector<PngSource> sources = {
        {"otherColourSpace", 8, 2, text("oiio:ColorSpace", "Linear")},
        {"exifUnknownTag", 8, 2, exifChunk(false, {}, {{0x927C, 7, {}, "a maker note"}})},
        {"exifNumberAsText", 8, 2, exifChunk(false, {{0x112, 2, {}, "6"}})},
        {"exifPastTheBlock", 8, 2,
         chunk("eXIf",
               std::string("II*\0\x08\0\0\0\x01\0\x0f\x01\x02\0\x20\0\0\0\x1a\0\0\0\0\0\0\0", 26))},
        {"exifLoop", 8, 2, exifChunk(false, {{0x8769, 4, {8}}})},
        {"exifUnderText", 8, 2, text("Author", "one") + exifChunk(false, {{0x13B, 2, {}, "two"}})},
        {"exifResolutionUnit", 8, 2, exifChunk(false, {{0x11A, 5, {300, 1}}, {0x128, 3, {2}}})},
        {"exifTimeOutOfRange", 8, 2, exifChunk(false, {{0x132, 2, {}, "2021:13:03 04:05:06"}})},
        {"xmp", 8, 2, text("XML:com.adobe.xmp", "<x:xmpmeta/>")},
        {"exifAsText", 8, 2, text("Raw profile type exif", "\nexif\n 0\n")},
        {"timeAsText", 8, 2, text("DateTime", "yesterday")},
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

TEST(PngFrames, EachModuleWritesOnlyWithTheLayoutItMade)
{
    const TempDir dir;
    const std::string path = dir.write("plain.png", pngBytes({"", 8, 2}));
    const auto* oiio = oiioModule();
    const auto* common = commonModule();
    ASSERT_TRUE(oiio != nullptr && common != nullptr);
    host::Frame frame;
    std::shared_ptr<const host::StoredFrameLayout> byOiio;
    std::shared_ptr<const host::StoredFrameLayout> byCommon;
    int channels = 0;
    std::string damage;
    foundation::Error error;
    ASSERT_TRUE(oiio->read(path, &frame, &byOiio, &channels, &error));
    ASSERT_TRUE(common->read(path, &frame, &byCommon, &channels, &damage));
    // Taken for its own, the other's layout would be read as another type.
    EXPECT_FALSE(common->write(path, dir.pathOf("common.png"), frame, byOiio.get(), 3, {}));
    EXPECT_FALSE(oiio->write(path, dir.pathOf("oiio.png"), frame, byCommon.get(), 3, {}, &error));
    EXPECT_EQ(error.localizedDescription(),
              "The source's layout comes from another reader than OpenImageIO");
}

} // namespace
} // namespace huecast::test
