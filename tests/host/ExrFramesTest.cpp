// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Exr frames through the common-format module, against OpenImageIO.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/FrameFileModule.h"
#include "host/frames/CommonFrameFileModule.h"
#include "tests/host/FrameModules.h"

namespace huecast::test
{
namespace
{

template <typename T> std::string bytesOf(const T& value)
{
    std::string bytes(sizeof(T), '\0');
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

float floatOf(std::uint32_t bits)
{
    float value = 0;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

// Halves where conversions and the division by alpha go wrong: signed zeros, the smallest and
// largest finite values, infinities, quiet and signalling NaNs.
constexpr std::array<std::uint16_t, 14> kHalves{0x0000, 0x8000, 0x3c00, 0x3800, 0x0001,
                                                0x03ff, 0x7bff, 0x7c00, 0xfc00, 0x7e00,
                                                0x7c01, 0xbc00, 0x3555, 0x4900};
constexpr std::array<std::uint16_t, 9> kAlphas{0x3c00, 0x0000, 0x3800, 0x8000, 0x7e00,
                                               0xbc00, 0x7c00, 0x0001, 0x2e66};
// Floats that round to half in every way: ties to even, to infinity, below the smallest
// denormal, NaN payloads.
constexpr std::array<std::uint32_t, 14> kFloats{
    0x3dcccccd, 0x322bcc77, 0x477ff000, 0x477fe000, 0x3f801000, 0x3f803000, 0x38800000,
    0x7fc00000, 0x7f800001, 0x7f800100, 0x80000000, 0x7f7fffff, 0x33800001, 0xc0490fdb};

/// A small uncompressed scanline file, one line per chunk, its channels of one type (1 half,
/// 2 float, 0 uint) filled from the tables above.
struct ExrBytes
{
    int width = 7;
    int height = 5;
    std::uint32_t version = 2;
    std::vector<std::string> channels{"A", "B", "G", "R"}; // as stored: sorted by name
    std::map<std::string, int> types;                      // a channel's type when not `type`
    int type = 1;
    int xSampling = 1;
    std::array<int, 4> dataWindow{0, 0, -1, -1}; // empty: the whole frame
    std::array<int, 4> displayWindow{0, 0, -1, -1};
    std::uint8_t compression = 0;
    std::uint8_t lineOrder = 0;
    std::vector<std::array<std::string, 3>> attributes; // name, type, value bytes

    [[nodiscard]] std::string file() const
    {
        std::string header = "\x76\x2f\x31\x01" + bytesOf(version);
        const auto attribute =
            [&](const std::string& name, const std::string& kind, const std::string& value)
        { header += name + '\0' + kind + '\0' + bytesOf(static_cast<int>(value.size())) + value; };
        std::string list;
        for (const std::string& name : channels)
        {
            list += name + '\0' + bytesOf(typeOf(name)) + std::string(4, '\0') +
                    bytesOf(xSampling) + bytesOf(1);
        }
        attribute("channels", "chlist", list + '\0');
        attribute("compression", "compression", std::string(1, static_cast<char>(compression)));
        const auto box = [&](std::array<int, 4> corners)
        {
            if (corners[2] < corners[0])
            {
                corners = {0, 0, width - 1, height - 1};
            }
            std::string bytes;
            for (const int corner : corners)
            {
                bytes += bytesOf(corner);
            }
            return bytes;
        };
        attribute("dataWindow", "box2i", box(dataWindow));
        attribute("displayWindow", "box2i", box(displayWindow));
        attribute("lineOrder", "lineOrder", std::string(1, static_cast<char>(lineOrder)));
        for (const auto& [name, kind, value] : attributes)
        {
            attribute(name, kind, value);
        }
        header += '\0';

        std::string offsets;
        std::string chunks;
        const std::size_t start = header.size() + static_cast<std::size_t>(height) * 8;
        for (int y = 0; y < height; ++y)
        {
            offsets += bytesOf(static_cast<std::uint64_t>(start + chunks.size()));
            std::string line;
            for (std::size_t c = 0; c < channels.size(); ++c)
            {
                for (int x = 0; x < width; ++x)
                {
                    line += sample(channels[c], c,
                                   static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                       static_cast<std::size_t>(x));
                }
            }
            chunks += bytesOf(y) + bytesOf(static_cast<int>(line.size())) + line;
        }
        return header + offsets + chunks;
    }

    [[nodiscard]] int typeOf(const std::string& name) const
    {
        const auto found = types.find(name);
        return found != types.end() ? found->second : type;
    }

    [[nodiscard]] std::string sample(const std::string& name, std::size_t channel,
                                     std::size_t pixel) const
    {
        const std::size_t index = pixel * 5 + channel * 3;
        switch (typeOf(name))
        {
        case 1:
            return bytesOf(name == "A" ? kAlphas[pixel % kAlphas.size()]
                                       : kHalves[index % kHalves.size()]);
        case 2:
            return bytesOf(name == "A" ? floatOf(0x3f000000U + static_cast<std::uint32_t>(pixel))
                                       : floatOf(kFloats[index % kFloats.size()]));
        default:
            return bytesOf(static_cast<std::uint32_t>(index));
        }
    }
};

std::array<std::string, 3> stringAttribute(const std::string& name, const std::string& value)
{
    return {name, "string", value};
}

/// Frames the OpenImageIO module writes as render does from an 8-bit source: odd sizes over
/// several compression blocks and write bands, colour from 0 to beyond half's range, alpha 0 to 1.
std::string writtenByOpenImageIo(const TempDir& dir, const std::string& name, int channels,
                                 host::StoredDepth depth, const std::string& compression)
{
    const auto* module = oiioModule();
    if (module == nullptr)
    {
        return {};
    }
    host::Frame frame(67, 141, host::PixelType::Float);
    for (std::uint32_t y = 0; y < frame.height(); ++y)
    {
        const std::span<float> row = frame.rowAs<float>(y);
        for (std::size_t i = 0; i < row.size(); ++i)
        {
            const auto step = static_cast<float>(i * 131 + std::size_t{y} * 17);
            row[i] = i % 4 == 3 ? std::fmod(step, 11.0F) / 10.0F : std::pow(step / 900.0F, 3.0F);
        }
    }
    std::string path = dir.pathOf(name);
    foundation::Error error;
    EXPECT_TRUE(module->write(path, path, frame, nullptr, channels, {depth, compression}, &error))
        << error.localizedDescription();
    return path;
}

std::string ffmpegFrame(const TempDir& dir, const std::string& name, const std::string& options)
{
    std::string path = dir.pathOf(name);
    const std::string command =
        "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=61x37 -frames:v 1 " + options + " " +
        path;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

TEST(ExrFrames, TakesWhatOpenImageIoAndFfmpegWriteAsOpenImageIoDoes)
{
    const TempDir dir;
    using host::StoredDepth;
    struct Case
    {
        std::string source;
        host::FrameWriteOptions options;
    };
    std::vector<Case> cases;
    // render's own half and float outputs in each compression, re-graded as they are and with
    // the depth or compression changed.
    int index = 0;
    for (const char* compression :
         {"", "none", "piz", "zips", "rle", "pxr24", "b44", "b44a", "dwaa", "dwab:60"})
    {
        for (const int channels : {3, 4})
        {
            for (const StoredDepth depth : {StoredDepth::Half, StoredDepth::Float})
            {
                cases.push_back(
                    {writtenByOpenImageIo(dir, "oiio" + std::to_string(index++) + ".exr", channels,
                                          depth, compression),
                     {}});
            }
        }
    }
    const std::string halfRgba = cases[2].source;
    const std::string floatRgb = cases[1].source;
    cases.push_back({halfRgba, {StoredDepth::Float, "PIZ"}});
    cases.push_back({floatRgb, {StoredDepth::Half, "zip:9"}});
    cases.push_back({halfRgba, {StoredDepth::Kept, "zips:1"}});
    cases.push_back({floatRgb, {StoredDepth::Kept, "none"}});
    cases.push_back({floatRgb, {StoredDepth::Half, "DWAA:90.5"}});
    cases.push_back({cases[36].source, {StoredDepth::Kept, "zip"}}); // a DWA level, now unused
    // ffmpeg's frames: the benchmark's, and alpha, float, a frame rate, gamma and a pixel aspect.
    cases.push_back(
        {ffmpegFrame(dir, "ff-bench.exr", "-pix_fmt gbrpf32le -format half -compression none"),
         {}});
    cases.push_back({ffmpegFrame(dir, "ff-rgba.exr",
                                 "-r 24000/1001 -pix_fmt gbrapf32le -format half -compression "
                                 "zip16 -gamma 2.2"),
                     {}});
    cases.push_back(
        {ffmpegFrame(dir, "ff-float.exr", "-vf setsar=3/2 -pix_fmt gbrpf32le -compression zip1"),
         {StoredDepth::Half, ""}});
    cases.push_back(
        {ffmpegFrame(dir, "ff-grey.exr", "-pix_fmt grayf32le -format half -compression none"), {}});
    cases.push_back({ffmpegFrame(dir, "ff-grey-zip.exr", "-pix_fmt grayf32le -compression zip16"),
                     {StoredDepth::Half, ""}});
    // Halves at every edge, divided and multiplied by every kind of alpha; floats rounded to half.
    ExrBytes edges;
    edges.attributes = {{"screenWindowCenter", "v2f", bytesOf(0.5F) + bytesOf(-2.0F)},
                        {"screenWindowWidth", "float", bytesOf(3.0F)},
                        {"pixelAspectRatio", "float", bytesOf(1.5F)},
                        stringAttribute("capDate", "3 Feb 2001"), // kept, not stamped anew
                        stringAttribute("Software", "another"),
                        {"xDensity", "float", bytesOf(72.0F)},
                        stringAttribute("ResolutionUnit", "none")};
    cases.push_back({dir.write("edges.exr", edges.file()), {}});
    edges.channels = {"B", "G", "R"};
    edges.attributes = {stringAttribute("writer", "me"),
                        {"xDensity", "float", bytesOf(0.0F)},
                        stringAttribute("ResolutionUnit", "cm"),
                        {"framesPerSecond", "rational", bytesOf(-30000) + bytesOf(1001U)}};
    cases.push_back({dir.write("edges-rgb.exr", edges.file()), {}});
    edges.type = 2;
    cases.push_back({dir.write("edges-float.exr", edges.file()), {StoredDepth::Half, "rle"}});
    edges.channels = {"A", "B", "G", "R"};
    cases.push_back({dir.write("edges-float-rgba.exr", edges.file()), {StoredDepth::Half, ""}});
    edges.channels = {"A", "Y"};
    cases.push_back({dir.write("edges-grey-alpha.exr", edges.file()), {}});

    // oiiotool's frames: its history and other attributes, as a compositing tool sets them.
    const std::vector<std::pair<std::string, std::string>> oiiotool = {
        {"oiiotool-half", "-d half"},
        {"oiiotool-float-piz", "-d float --compression piz"},
        {"oiiotool-alpha-b44a", "--ch R,G,B,A=0.5 -d half --compression b44a"},
        {"oiiotool-dwaa", "-d half --compression dwaa"},
        {"oiiotool-grey-alpha", "--ch R,A=0.5 --chnames Y,A -d half --compression piz"},
        {"oiiotool-tiled-dwab", "--ch R,G,B,A=0.5 -d float --tile 16 16 --compression dwab:200"},
        {"oiiotool-tiled", "-d half --tile 16 16"},
        {"oiiotool-tiled-float-none", "-d float --tile 32 8 --compression none"},
        {"oiiotool-window", "-d half --origin +4+2 --fullsize 72x40"},
        {"oiiotool-overscan", "--ch R,G,B,A=0.5 -d half --origin -3-1 --fullsize 30x8"},
        {"oiiotool-window-none", "-d half --origin +5+3 --compression none"},
        {"oiiotool-attributes",
         "--attrib Copyright someone --attrib ImageDescription what --attrib Shot sh010 "
         "--attrib:type=float Exposure 1.5 --attrib:type=int Take 3 --attrib:type=float[8] "
         "chromaticities 0.64,0.33,0.3,0.6,0.15,0.06,0.3127,0.329 -d half"},
    };
    for (const auto& [name, arguments] : oiiotool)
    {
        const std::string path = dir.pathOf(name + ".exr");
        std::string line =
            "oiiotool --pattern fill:topleft=0,0.2,0.4:topright=1,0.5,0:bottomleft=0.1,1,0.3:"
            "bottomright=0.7,0.1,0.9 37x11 3 ";
        line.append(arguments).append(" -o '").append(path).append("' >/dev/null 2>&1");
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
        cases.push_back({path, {}});
    }
    ExrBytes commented;
    commented.attributes = {stringAttribute("comments", "x"), stringAttribute("owner", "y")};
    cases.push_back({dir.write("comments.exr", commented.file()), {}});

    for (const Case& one : cases)
    {
        SCOPED_TRACE(one.source + " " + one.options.compression);
        EXPECT_EQ(compareWithOpenImageIO(one.source, dir, "out.exr", one.options),
                  CommonModule::Took);
    }
}

TEST(ExrFrames, DeclinesWhatItDoesNotReproduce)
{
    const TempDir dir;
    std::vector<std::pair<std::string, ExrBytes>> files;
    const auto variant = [&](const std::string& name, auto change)
    {
        ExrBytes bytes;
        change(bytes);
        files.emplace_back(name, bytes);
    };
    variant("grey-and-colour", [](ExrBytes& b) { b.channels = {"B", "G", "R", "Y"}; });
    variant("rg", [](ExrBytes& b) { b.channels = {"G", "R"}; });
    variant("rgba-z", [](ExrBytes& b) { b.channels = {"A", "B", "G", "R", "Z"}; });
    variant("layer", [](ExrBytes& b) { b.channels = {"c.B", "c.G", "c.R"}; });
    variant("mixed", [](ExrBytes& b) { b.types["A"] = 2; });
    variant("uint", [](ExrBytes& b) { b.type = 0; });
    variant("sampled", [](ExrBytes& b) { b.xSampling = 2; });
    variant("decreasing", [](ExrBytes& b) { b.lineOrder = 1; });
    variant("nul", [](ExrBytes& b) { b.attributes = {stringAttribute("writer", {"a\0b", 3})}; });
    variant("empty", [](ExrBytes& b) { b.attributes = {stringAttribute("writer", "")}; });
    variant("rate",
            [](ExrBytes& b) {
                b.attributes = {{"framesPerSecond", "rational", bytesOf(1) + bytesOf(1U << 31U)}};
            });
    variant("typed", [](ExrBytes& b) { b.attributes = {{"gamma", "int", bytesOf(2)}}; });
    variant("tiled", [](ExrBytes& b) { b.version |= 0x200; });
    variant("stale-tiles",
            [](ExrBytes& b) {
                b.attributes = {{"tiles", "tiledesc", bytesOf(16U) + bytesOf(16U) + '\0'}};
            });
    variant("part-type",
            [](ExrBytes& b) { b.attributes = {stringAttribute("type", "tiledimage")}; });
    variant("deep", [](ExrBytes& b) { b.version |= 0x800; });
    variant("parts", [](ExrBytes& b) { b.version |= 0x1000; });
    for (const auto& [name, bytes] : files)
    {
        EXPECT_EQ(compareWithOpenImageIO(dir.write(name + ".exr", bytes.file()), dir, "out.exr"),
                  CommonModule::Declined)
            << name;
    }
    const std::string whole = ExrBytes().file();
    for (const auto& [name, bytes] :
         {std::pair<std::string, std::string>{"cut", whole.substr(0, whole.size() - 20)},
          {"not-exr", "\x89PNG\r\n\x1a\n" + whole}})
    {
        EXPECT_EQ(compareWithOpenImageIO(dir.write(name + ".exr", bytes), dir, "out.exr"),
                  CommonModule::Declined)
            << name;
    }

    // Depths OpenImageIO refuses for OpenEXR, and compressions it reads in its own ways.
    const auto* common = commonModule();
    ASSERT_NE(common, nullptr);
    host::Frame frame;
    std::shared_ptr<const host::StoredFrameLayout> layout;
    int channels = 0;
    std::string damage;
    ASSERT_TRUE(common->read(dir.write("good.exr", whole), &frame, &layout, &channels, &damage));
    const std::string out = dir.pathOf("out.exr");
    using host::StoredDepth;
    for (const host::FrameWriteOptions& options :
         std::vector<host::FrameWriteOptions>{{StoredDepth::UInt8, ""},
                                              {StoredDepth::UInt16, ""},
                                              {StoredDepth::Kept, "dwaa:x"},
                                              {StoredDepth::Kept, "dwab:4e5"},
                                              {StoredDepth::Kept, "zip:0"},
                                              {StoredDepth::Kept, "piz:3"},
                                              {StoredDepth::Kept, "deflate"},
                                              {StoredDepth::Kept, "lzw"}})
    {
        EXPECT_FALSE(common->write(out, out, frame, layout.get(), channels, options))
            << options.compression;
    }
    // A write whose bytes can't go out fails.
    EXPECT_FALSE(common->write(out, "/dev/full", frame, layout.get(), channels, {}));
}

} // namespace
} // namespace huecast::test
