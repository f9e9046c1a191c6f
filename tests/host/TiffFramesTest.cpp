// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Tiff frames through the common-format module, against OpenImageIO.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "host/frames/CommonFrameFileModule.h"
#include "tests/host/FrameModules.h"

namespace huecast::test
{
namespace
{

/// A 64×48 test pattern whose alpha (where there is one) ramps across, for ffmpeg's -vf.
constexpr const char* kPattern = "-f lavfi -i testsrc2=s=64x48 -frames:v 1 -vf "
                                 "\"format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*4'\"";

std::string made(const TempDir& dir, const std::string& name, const std::string& command)
{
    std::string path = dir.pathOf(name);
    const std::string line = command + " '" + path + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
    return path;
}

std::string byFfmpeg(const TempDir& dir, const std::string& name, const std::string& arguments)
{
    return made(dir, name,
                std::string("ffmpeg -v error -nostdin -y ") + kPattern + " " + arguments);
}

std::string byOiiotool(const TempDir& dir, const std::string& name, const std::string& source,
                       const std::string& arguments)
{
    return made(dir, name, "oiiotool '" + source + "' " + arguments + " -o");
}

/// A 37×11 frame of varied values written big-endian by libtiff itself (no tool here writes
/// that order): `samples` channels of `bits` bits (32: floats), in the compression given.
std::string bigEndian(const TempDir& dir, const std::string& name, int samples, int bits,
                      std::uint16_t compression)
{
    std::string path = dir.pathOf(name);
    TIFF* tif = TIFFOpen(path.c_str(), "wb");
    if (tif == nullptr)
    {
        ADD_FAILURE() << "libtiff can't write " << path;
        return path;
    }
    constexpr std::uint32_t kWidth = 37;
    constexpr std::uint32_t kHeight = 11;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, bits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4U);
    if (samples == 4)
    {
        const std::uint16_t unassociated = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &unassociated);
    }
    const std::size_t values = std::size_t{kWidth} * static_cast<std::size_t>(samples);
    std::vector<std::uint16_t> row(values);
    for (std::uint32_t y = 0; y < kHeight; ++y)
    {
        for (std::size_t x = 0; x < values; ++x)
        {
            row[x] = static_cast<std::uint16_t>((x * 2741 + std::size_t{y} * 977 + x * x) % 65536);
        }
        if (bits == 8)
        {
            std::vector<std::uint8_t> bytes(row.begin(), row.end());
            TIFFWriteScanline(tif, bytes.data(), y, 0);
        }
        else if (bits == 32)
        {
            std::vector<float> floats(row.begin(), row.end());
            TIFFWriteScanline(tif, floats.data(), y, 0);
        }
        else
        {
            TIFFWriteScanline(tif, row.data(), y, 0);
        }
    }
    TIFFClose(tif);
    return path;
}

struct Case
{
    std::string source;
    host::FrameWriteOptions options;
};

TEST(TiffFrames, TakesPlainFramesAndWritesThemAsOpenImageIODoes)
{
    const TempDir dir;
    const host::FrameWriteOptions kept;
    const host::FrameWriteOptions none{host::StoredDepth::Kept, "none"};
    const host::FrameWriteOptions wide{host::StoredDepth::UInt16, "none"};
    const std::string png = byFfmpeg(dir, "source.png", "-pix_fmt rgba");
    std::vector<Case> cases;
    // What ffmpeg writes, strips of about 8 KiB (a 1080p RGB row per strip).
    for (const char* format :
         {"rgb24", "rgb48le", "rgba", "rgba64le", "gray", "gray16le", "ya8", "ya16le"})
    {
        const std::string name = std::string("ffmpeg-") + format + ".tif";
        cases.push_back(
            {byFfmpeg(dir, name, std::string("-compression_algo raw -pix_fmt ") + format), kept});
    }
    // A strip per row, as ffmpeg writes 1080p frames.
    for (const char* format : {"rgb24", "rgba64le"})
    {
        const std::string name = std::string("ffmpeg-rows-") + format + ".tif";
        cases.push_back(
            {byFfmpeg(dir, name, std::string("-s 1920x6 -compression_algo raw -pix_fmt ") + format),
             none});
    }
    cases.push_back({cases[0].source, wide});
    cases.push_back({cases[2].source, none});
    // Every 16-bit value, narrowed to 8 bits.
    const std::string everyValue = made(dir, "every-value.tif",
                                        "ffmpeg -v error -nostdin -y -f lavfi -i "
                                        "color=black:s=256x256 -frames:v 1 -vf "
                                        "\"format=gray16le,geq=lum='X+256*Y'\" "
                                        "-compression_algo raw -pix_fmt gray16le");
    cases.push_back({everyValue, {host::StoredDepth::UInt8, ""}});
    for (const char* compression : {"lzw", "zip", "packbits"})
    {
        cases.push_back({cases[1].source, {host::StoredDepth::Kept, compression}});
    }
    // ffmpeg's own default, and its other compressions.
    cases.push_back({byFfmpeg(dir, "ffmpeg-packbits.tif", "-pix_fmt rgba"), kept});
    cases.push_back(
        {byFfmpeg(dir, "ffmpeg-lzw.tif", "-compression_algo lzw -pix_fmt rgb48le"), kept});
    cases.push_back(
        {byFfmpeg(dir, "ffmpeg-deflate.tif", "-compression_algo deflate -pix_fmt rgb24"), kept});
    // What OpenImageIO writes from a PNG: an Exif directory naming sRGB, associated alpha.
    cases.push_back({byOiiotool(dir, "oiio-16.tif", png, "-d uint16 --compression none"), kept});
    cases.push_back({byOiiotool(dir, "oiio-rgb.tif", png, "--ch R,G,B --compression none"), kept});
    cases.push_back(
        {byOiiotool(dir, "oiio-rows.tif", png, "--compression none --attrib tiff:RowsPerStrip 5"),
         none});
    // The descriptive tags tools set.
    cases.push_back(
        {byOiiotool(dir, "described.tif", cases[0].source,
                    "--attrib Artist someone --attrib ImageDescription what --attrib Copyright "
                    "'(c) someone' --attrib DocumentName shot --attrib Make camera --attrib Model "
                    "one --attrib HostComputer here --compression lzw"),
         kept});
    // Big-endian files: values stored in the other order, read as stored and by libtiff.
    cases.push_back({bigEndian(dir, "big-16.tif", 3, 16, COMPRESSION_NONE), kept});
    cases.push_back({bigEndian(dir, "big-16-alpha-lzw.tif", 4, 16, COMPRESSION_LZW), kept});
    cases.push_back({bigEndian(dir, "big-8-deflate.tif", 3, 8, COMPRESSION_ADOBE_DEFLATE), kept});
    cases.push_back({bigEndian(dir, "big-float.tif", 4, 32, COMPRESSION_NONE), kept});
    // Metadata the writer carries over or mends: a time stamp without software, a unit without
    // densities, unequal densities, densities of 1 without a unit.
    const std::string plain = cases[0].source;
    const char* kNone = " --compression none";
    cases.push_back({byOiiotool(dir, "no-software.tif", plain,
                                std::string("--nosoftwareattrib --eraseattrib Software") + kNone),
                     kept});
    cases.push_back(
        {byOiiotool(dir, "no-density.tif", plain,
                    std::string("--eraseattrib XResolution --eraseattrib YResolution") + kNone),
         kept});
    cases.push_back({byOiiotool(dir, "aspect.tif", plain,
                                std::string("--attrib XResolution 300.0 --attrib YResolution "
                                            "100.0 --attrib PixelAspectRatio 0.33333334") +
                                    kNone),
                     kept});
    cases.push_back(
        {byOiiotool(dir, "tiny-density.tif", plain,
                    std::string("--attrib XResolution 0.5 --attrib YResolution 0.5") + kNone),
         kept});
    cases.push_back({byOiiotool(dir, "zero-density.tif", plain,
                                std::string("--attrib XResolution 0.0 --attrib YResolution 0.0 "
                                            "--attrib ResolutionUnit none") +
                                    kNone),
                     kept});
    cases.push_back({byOiiotool(dir, "oiio-zip.tif", png, ""), kept});
    cases.push_back({byOiiotool(dir, "oiio-zip-16.tif", png, "-d uint16 --ch R,G,B"), kept});
    // The other layouts OpenImageIO writes: tiles (overhanging the image too), a plane per
    // channel, floats and halves under their predictor, JPEG; with alpha from the PNG.
    const std::vector<std::pair<const std::string*, const char*>> layouts = {
        {&plain, "--tile 16 16 --compression none"},
        {&png, "--tile 48 32 --compression lzw"},
        {&plain, "--tile 16 16 -d uint16 --compression zip"},
        {&plain, "--planarconfig separate --compression none"},
        {&png, "--planarconfig separate -d uint16 --compression lzw"},
        {&plain, "--planarconfig separate --tile 16 16 --compression packbits"},
        {&plain, "-d float --compression none"},
        {&png, "-d float --compression lzw"},
        {&png, "-d half --attrib tiff:half 1 --compression zip"},
        {&plain, "--compression jpeg"},
    };
    for (std::size_t i = 0; i < layouts.size(); ++i)
    {
        cases.push_back({byOiiotool(dir, "layout-" + std::to_string(i) + ".tif", *layouts[i].first,
                                    layouts[i].second),
                         kept});
    }
    // Write options: floats from 8 and every 16-bit value, any deflate level, JPEG at its
    // default and a named quality (RGBA and 16 bits deflated instead), and deflate in strips of
    // a row, which OpenImageIO compresses one way or another by its number of threads.
    const host::FrameWriteOptions floats{host::StoredDepth::Float, "none"};
    cases.push_back({plain, floats});
    cases.push_back({everyValue, floats});
    cases.push_back({plain, {host::StoredDepth::Kept, "zip:9"}});
    cases.push_back({plain, {host::StoredDepth::Kept, "jpeg"}});
    cases.push_back({plain, {host::StoredDepth::Kept, "JPEG:60"}});
    cases.push_back({cases[2].source, {host::StoredDepth::Kept, "jpeg"}});
    cases.push_back({cases[1].source, {host::StoredDepth::Kept, "jpeg"}});
    const std::string rgbPng = byFfmpeg(dir, "source-rgb.png", "-pix_fmt rgb24");
    cases.push_back(
        {byOiiotool(dir, "zip-rows.tif", rgbPng, "--attrib tiff:RowsPerStrip 1"), kept});
    cases.push_back(
        {byOiiotool(dir, "raw-rows.tif", plain, "--attrib tiff:RowsPerStrip 1 --compression none"),
         {host::StoredDepth::Kept, "zip"}});

    // ffmpeg's palettes, 1-bit grey and subsampled YCbCr, read through libtiff's RGBA interface
    // (a 1-bit source's graded colour is kept at 1 bit).
    for (const char* format : {"pal8", "monob", "monow", "yuv420p", "yuv422p", "yuv444p", "yuv410p",
                               "yuv411p", "yuv440p"})
    {
        cases.push_back({byFfmpeg(dir, std::string("ffmpeg-") + format + ".tif",
                                  std::string("-pix_fmt ") + format),
                         kept});
    }
    cases.push_back({dir.pathOf("ffmpeg-monob.tif"), {host::StoredDepth::Kept, "lzw"}});
    cases.push_back({byFfmpeg(dir, "ffmpeg-pal8-lzw.tif", "-compression_algo lzw -pix_fmt pal8"),
                     {host::StoredDepth::UInt16, ""}});
    std::vector<std::string> written;
    for (std::size_t i = 0; i < cases.size(); ++i)
    {
        const std::string output = "graded-" + std::to_string(i) + ".tif";
        EXPECT_EQ(compareWithOpenImageIO(cases[i].source, dir, output, cases[i].options),
                  CommonModule::Took)
            << cases[i].source;
        // 1-bit RGB, as 1-bit sources are written back, OpenImageIO alone reads.
        if (cases[i].source.find("-mono") == std::string::npos)
        {
            written.push_back(dir.pathOf("oiio-" + output));
        }
    }
    // Graded frames are graded again: what OpenImageIO wrote above is itself taken.
    for (std::size_t i = 0; i < written.size(); ++i)
    {
        EXPECT_EQ(compareWithOpenImageIO(written[i], dir, "regraded-" + std::to_string(i) + ".tif"),
                  CommonModule::Took)
            << written[i];
    }
}

TEST(TiffFrames, DeclinesWhatItDoesNotReproduce)
{
    const TempDir dir;
    const std::string raw = byFfmpeg(dir, "raw.tif", "-compression_algo raw -pix_fmt rgb24");
    // Pages, which OpenImageIO reports as subimages; tiled JPEG, which it can't read back.
    const std::string tiled = byOiiotool(dir, "tiled.tif", raw, "--tile 16 16 --compression lzw");
    for (const std::string& source :
         {byOiiotool(dir, "pages.tif", raw, "'" + raw + "' --siappend --compression none"),
          byOiiotool(dir, "tiled-jpeg.tif", raw, "--tile 16 16 --compression jpeg")})
    {
        EXPECT_EQ(compareWithOpenImageIO(source, dir, "declined.tif"), CommonModule::Declined)
            << source;
    }
    const auto* module = commonModule();
    ASSERT_NE(module, nullptr);
    // Damaged files are declined without a word: OpenImageIO then gives the message.
    const auto bytesOf = [](const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    };
    // An Exif link of a type libtiff ignores: OpenImageIO reads no Exif directory there.
    std::string exif =
        bytesOf(byOiiotool(dir, "exif.tif", raw, "--attrib Exif:ColorSpace 1 --compression none"));
    const auto little = [&](std::size_t at, int bytes)
    {
        std::size_t value = 0;
        for (int b = bytes - 1; b >= 0; --b)
        {
            value =
                value << 8U | static_cast<unsigned char>(exif.at(at + static_cast<std::size_t>(b)));
        }
        return value;
    };
    const std::size_t entries = little(4, 4) + 2;
    for (std::size_t at = entries; at < entries + 12 * little(entries - 2, 2); at += 12)
    {
        if (little(at, 2) == 34665) // the Exif directory, now a SHORT
        {
            exif.replace(at + 2, 2, std::string("\3\0", 2));
        }
    }
    EXPECT_EQ(compareWithOpenImageIO(dir.write("exif-short.tif", exif), dir, "declined.tif"),
              CommonModule::Declined);
    // Directories first, so that the cuts fall in the pixels.
    const std::string plain = bytesOf(byOiiotool(dir, "plain.tif", raw, "--compression none"));
    std::string badOffset = plain;
    badOffset.replace(4, 4, std::string("\xff\xff\xff\x0f", 4));
    std::vector<std::string> damaged = {dir.write("bad-offset.tif", badOffset),
                                        dir.write("header.tif", "II*\0")};
    for (const char* arguments : {"--compression none", "--compression lzw",
                                  "--tile 16 16 --compression zip", "--compression jpeg"})
    {
        const std::string name = "cut-" + std::to_string(damaged.size()) + ".tif";
        const std::string whole = bytesOf(byOiiotool(dir, name, raw, arguments));
        damaged.push_back(dir.write(name, whole.substr(0, whole.size() / 2)));
    }
    for (const std::string& path : damaged)
    {
        host::Frame frame;
        std::shared_ptr<const host::StoredFrameLayout> layout;
        int channels = 0;
        std::string damage;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(module->read(path, &frame, &layout, &channels, &damage)) << path;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << path;
    }
    // Options it doesn't reproduce are declined at write time, leaving the temporary to
    // OpenImageIO: half floats, which OpenImageIO's writer turns into floats and its module into
    // a failure, float frames to integers, which OpenImageIO rounds two ways, and JPEG in tiles.
    const std::string floats = byOiiotool(dir, "float.tif", raw, "-d float --compression none");
    const std::string output = dir.write("declined.tif", "");
    for (const Case& writing :
         {Case{raw, {host::StoredDepth::Half, ""}}, Case{floats, {host::StoredDepth::UInt16, ""}},
          Case{tiled, {host::StoredDepth::Kept, "jpeg"}}})
    {
        host::Frame frame;
        std::shared_ptr<const host::StoredFrameLayout> layout;
        int channels = 0;
        std::string damage;
        ASSERT_TRUE(module->read(writing.source, &frame, &layout, &channels, &damage))
            << writing.source;
        EXPECT_FALSE(module->write(output, output, frame, layout.get(), channels, writing.options))
            << writing.source << " " << writing.options.compression;
    }
}

} // namespace
} // namespace huecast::test
