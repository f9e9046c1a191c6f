// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// `huecast render` on footage as it comes: straight colour under alpha checked against
// ffmpeg's lut3d, premultiplied OpenEXR, clips made with ffmpeg, sequences with gaps.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "host/FrameFiles.h"
#include "tests/support/LatticeReference.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

namespace huecast::test
{
namespace
{

namespace fs = std::filesystem;

class RenderFootage : public testing::Test
{
protected:
    ToolRun render(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> all{"render"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runTool(all, folder.pathOf("err"));
    }
    [[nodiscard]] std::string firstErrorLine() const
    {
        const std::string text = readFile(folder.pathOf("err"));
        return text.substr(0, text.find('\n'));
    }
    void shell(const std::string& command) const
    {
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    /// What a command prints on standard output.
    [[nodiscard]] std::string printed(const std::string& command) const
    {
        const std::string out = folder.pathOf("printed");
        shell(command + " >'" + out + "'");
        return readFile(out);
    }
    /// The file's pixels as ffmpeg decodes them: straight 8-bit RGBA.
    [[nodiscard]] std::string rgbaOf(const std::string& path) const
    {
        const std::string raw = path + ".raw";
        shell("ffmpeg -v error -nostdin -y -i '" + path + "' -f rawvideo -pix_fmt rgba '" + raw +
              "'");
        return readFile(raw);
    }

    TempDir folder;
    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path()};
};

TEST_F(RenderFootage, GradesStraightColourUnderAlphaAsFfmpegDoes)
{
    // Every alpha from 0 to 255, under colours all over the cube.
    host::Frame frame(256, 3, host::PixelType::UInt8);
    for (std::uint32_t y = 0; y < frame.height(); ++y)
    {
        std::span<std::uint8_t> row = frame.rowAs<std::uint8_t>(y);
        for (std::uint32_t x = 0; x < frame.width(); ++x)
        {
            const std::size_t at = std::size_t{x} * 4;
            row[at] = static_cast<std::uint8_t>(x * 7 + y * 50);
            row[at + 1] = static_cast<std::uint8_t>(x * 13 + 30);
            row[at + 2] = static_cast<std::uint8_t>(255 - x + y * 20);
            row[at + 3] = static_cast<std::uint8_t>(x);
        }
    }
    const std::string input = folder.pathOf("in.png");
    foundation::Error error;
    ASSERT_TRUE(host::writeFrameFile(input, frame, host::FrameFileFormat(), &error))
        << error.localizedDescription();
    const std::string cube = folder.write("steep.cube", randomLattice(9, 12).cubeText());
    const std::string source = rgbaOf(input);
    for (const std::string interpolation : {"trilinear", "tetrahedral"})
    {
        SCOPED_TRACE(interpolation);
        ASSERT_EQ(render({"--lut-file", cube, "--interpolation", interpolation, input, "-o",
                          folder.pathOf(interpolation + ".png")})
                      .status,
                  0)
            << readFile(folder.pathOf("err"));
        shell("ffmpeg -v error -nostdin -y -i '" + input + "' -vf 'lut3d=file=" + cube +
              ":interp=" + interpolation + "' '" + folder.pathOf("ffmpeg.png") + "'");

        const std::string ours = rgbaOf(folder.pathOf(interpolation + ".png"));
        const std::string theirs = rgbaOf(folder.pathOf("ffmpeg.png"));
        ASSERT_EQ(ours.size(), source.size());
        ASSERT_EQ(theirs.size(), source.size());
        int worst = 0;
        for (std::size_t i = 0; i < ours.size(); ++i)
        {
            if (i % 4 == 3)
            {
                ASSERT_EQ(ours[i], source[i]) << "alpha passes unchanged, pixel " << i / 4;
                continue;
            }
            worst = std::max(worst, std::abs(static_cast<unsigned char>(ours[i]) -
                                             static_cast<unsigned char>(theirs[i])));
        }
        EXPECT_LE(worst, 1) << "code values off ffmpeg's lut3d";
        RecordProperty("worst_code_values_" + interpolation, worst);
    }
}

/// The pixels of a float file as stored, through oiiotool.
std::vector<std::array<double, 4>> storedPixels(const std::string& path)
{
    const std::string dump = path + ".txt";
    const std::string command = "oiiotool --dumpdata '" + path + "' >'" + dump + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::istringstream lines(readFile(dump));
    std::vector<std::array<double, 4>> pixels;
    for (std::string line; std::getline(lines, line);)
    {
        const std::size_t colon = line.find("):");
        if (colon == std::string::npos)
        {
            continue;
        }
        std::istringstream values(line.substr(colon + 2));
        std::array<double, 4> pixel{};
        values >> pixel[0] >> pixel[1] >> pixel[2] >> pixel[3];
        pixels.push_back(pixel);
    }
    return pixels;
}

TEST_F(RenderFootage, GradesPremultipliedOpenExrAsStraightColourAndKeepsEmittedLight)
{
    // Stored premultiplied: colour over alpha is the straight colour; where alpha is 0 the
    // colour is light the pixel emits (the first pixels here), graded and kept.
    const std::string input = folder.pathOf("in.exr");
    shell("oiiotool --pattern fill:left=0.2,0.1,0.05,0:right=0.5,0.45,0.1,0.8 16x1 4 -d float "
          "-o '" +
          input + "'");
    const Lattice lattice = randomLattice(17, 8);
    const std::string cube = folder.write("steep.cube", lattice.cubeText());
    const std::string output = folder.pathOf("out.exr");
    ASSERT_EQ(render({"--lut-file", cube, input, "-o", output}).status, 0)
        << readFile(folder.pathOf("err"));

    const auto before = storedPixels(input);
    const auto after = storedPixels(output);
    ASSERT_EQ(before.size(), 16U);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i)
    {
        SCOPED_TRACE(i);
        const double alpha = before[i][3];
        EXPECT_EQ(after[i][3], alpha);
        Rgb straight{};
        for (std::size_t c = 0; c < 3; ++c)
        {
            straight[c] = static_cast<float>(alpha > 0 ? before[i][c] / alpha : before[i][c]);
        }
        const Rgb graded = trilinear(lattice, straight);
        for (std::size_t c = 0; c < 3; ++c)
        {
            EXPECT_NEAR(after[i][c], alpha > 0 ? graded[c] * alpha : graded[c], 5e-5)
                << "channel " << c;
        }
    }
    ASSERT_GT(after[0][0], 0.0) << "emitted light survives";

    // A pixel with neither colour nor alpha stays empty, though the LUT lifts black.
    const std::string empty = folder.pathOf("empty.exr");
    shell("oiiotool --pattern constant:color=0,0,0,0 2x1 4 -d float -o '" + empty + "'");
    ASSERT_GT(trilinear(lattice, Rgb{0, 0, 0})[0], 0.0F);
    ASSERT_EQ(render({"--lut-file", cube, empty, "-o", folder.pathOf("empty-out.exr")}).status, 0)
        << readFile(folder.pathOf("err"));
    for (const auto& pixel : storedPixels(folder.pathOf("empty-out.exr")))
    {
        EXPECT_EQ(pixel, (std::array<double, 4>{0, 0, 0, 0}));
    }
}

TEST_F(RenderFootage, KeepsTheColourSpaceAndWritesTheDepthAndCompressionAsked)
{
    const std::string input = folder.pathOf("plate.exr");
    shell("oiiotool --pattern constant:color=0.2,0.3,0.4 8x8 3 -d float --attrib:type=float[8] "
          "chromaticities 0.713,0.293,0.165,0.83,0.128,0.044,0.32168,0.33767 -o '" +
          input + "'");
    const std::string output = folder.pathOf("graded.exr");
    ASSERT_EQ(
        render({"--lut", "No LUT", "--depth", "half", "--compression", "piz", input, "-o", output})
            .status,
        0)
        << readFile(folder.pathOf("err"));
    shell("iinfo -v '" + output + "' >'" + output + ".txt'");
    const std::string info = readFile(output + ".txt");
    for (const char* expected :
         {"half openexr", "chromaticities: 0.713, 0.293, 0.165, 0.83, 0.128, 0.044, 0.32168",
          "compression: \"piz\"", "Software: \"Huecast "})
    {
        EXPECT_NE(info.find(expected), std::string::npos) << expected << " in\n" << info;
    }

    // A depth the format can't store is refused, not quietly changed.
    EXPECT_EQ(
        render({"--lut", "No LUT", "--depth", "half", input, "-o", folder.pathOf("g.png")}).status,
        1);
    EXPECT_NE(readFile(folder.pathOf("err")).find("png can't store half channels"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(folder.pathOf("g.png")));
}

TEST_F(RenderFootage, GradesEveryFrameOfAClipAndRefusesGaps)
{
    const std::string clip = folder.pathOf("take.mp4");
    shell("ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=64x48:rate=24 -frames:v 24 "
          "-pix_fmt yuv420p '" +
          clip + "'");
    const std::string cube = folder.write("steep.cube", randomLattice(5, 2).cubeText());
    ASSERT_EQ(render({"--lut-file", cube, clip, "-o", folder.pathOf("graded")}).status, 0)
        << readFile(folder.pathOf("err"));
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder.pathOf("graded")))
    {
        EXPECT_TRUE(entry.path().filename().string().starts_with("take.00"));
        ++count;
    }
    EXPECT_EQ(count, 24U);
    EXPECT_TRUE(fs::exists(folder.pathOf("graded/take.0024.png")));

    // The graded frames, one taken away, are a sequence with a gap.
    fs::remove(folder.pathOf("graded/take.0005.png"));
    const std::string sequence = folder.pathOf("graded/take.####.png");
    EXPECT_EQ(render({"--lut-file", cube, sequence, "-o", folder.pathOf("again")}).status, 1);
    EXPECT_EQ(firstErrorLine(),
              "huecast: " + sequence +
                  ": frame 5 is missing (--frames A-B grades a part without gaps)");
    EXPECT_FALSE(fs::exists(folder.pathOf("again")));
    ASSERT_EQ(
        render({"--lut-file", cube, "--frames", "6-9", sequence, "-o", folder.pathOf("again")})
            .status,
        0)
        << readFile(folder.pathOf("err"));
    count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.pathOf("again")))
    {
        ++count;
    }
    EXPECT_EQ(count, 4U);
    EXPECT_TRUE(fs::exists(folder.pathOf("again/take.0006.png")));
    EXPECT_EQ(render({"--lut-file", cube, "--frames", "9-6", sequence, "-o", "x"}).status, 2);
}

struct MovieCase
{
    const char* source;
    const char* encode;
    const char* pixelFormat; // ffmpeg's, for the graded movie's video
    const char* rgb;         // the RGB format compared
    int maxDifference;       // in code values of 8 bits, or of 16 for rgb48le
    double meanDifference;   // the same, over every value
};

TEST_F(RenderFootage, WritesAGradedClipBackAsAMovieWithItsOtherStreams)
{
    const std::vector<MovieCase> cases = {
        {"take.mov",
         "-c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le -c:a pcm_s16le -timecode 01:00:00:00",
         "yuv422p10le", "rgb48le", 12 * 64, 1.0 * 64},
        {"take.mp4", "-c:v libx264 -pix_fmt yuv420p -bf 3 -c:a aac", "yuv420p", "rgb24", 24, 2.0},
    };
    // A gentle grade, as a real one is: a steep random lattice would turn the new encoding's
    // small losses into large ones.
    const std::string cube = std::string(HUECAST_SOURCE_DIR) + "/samples/luts/Warm.cube";
    for (const MovieCase& movie : cases)
    {
        SCOPED_TRACE(movie.source);
        const std::string source = folder.pathOf(movie.source);
        shell("ffmpeg -v error -nostdin -y -f lavfi -i gradients=size=96x64:rate=24:speed=0.05 "
              "-f lavfi -i sine=r=48000 -frames:v 24 -shortest " +
              std::string(movie.encode) + " '" + source + "'");
        const std::string graded = folder.pathOf(std::string("graded-") + movie.source);
        ASSERT_EQ(render({"-q", "--lut-file", cube, source, "-o", graded}).status, 0)
            << readFile(folder.pathOf("err"));

        const auto times = [&](const std::string& path)
        {
            return printed(
                "ffprobe -v error -select_streams v -show_entries frame=pts -of csv=p=0 '" + path +
                "'");
        };
        const auto sound = [&](const std::string& path)
        { return printed("ffmpeg -v error -i '" + path + "' -map 0:a -c copy -f md5 -"); };
        EXPECT_EQ(times(graded), times(source));
        EXPECT_EQ(sound(graded), sound(source));
        EXPECT_EQ(printed("ffprobe -v error -select_streams v -show_entries stream=pix_fmt -of "
                          "csv=p=0 '" +
                          graded + "'"),
                  std::string(movie.pixelFormat) + "\n");

        // Against ffmpeg's lut3d on the decoded source: only the new encoding's loss between.
        const std::string theirs =
            printed("ffmpeg -v error -i '" + source + "' -vf lut3d=file='" + cube +
                    "':interp=trilinear -f rawvideo -pix_fmt " + movie.rgb + " -");
        const std::string ours =
            printed("ffmpeg -v error -i '" + graded + "' -f rawvideo -pix_fmt " + movie.rgb + " -");
        ASSERT_EQ(ours.size(), theirs.size());
        const bool deep = std::string(movie.rgb) == "rgb48le";
        int worst = 0;
        double total = 0;
        for (std::size_t at = 0; at < ours.size(); at += deep ? 2 : 1)
        {
            const auto value = [&](const std::string& bytes)
            {
                const auto low = static_cast<unsigned char>(bytes[at]);
                return deep ? low | static_cast<unsigned char>(bytes[at + 1]) << 8 : low;
            };
            const int difference = std::abs(value(ours) - value(theirs));
            worst = std::max(worst, difference);
            total += difference;
        }
        // H.264 at its default quality loses more at a few edges than ProRes anywhere.
        EXPECT_LE(worst, movie.maxDifference);
        EXPECT_LE(total / static_cast<double>(ours.size() / (deep ? 2 : 1)), movie.meanDifference);
    }

    // A movie that can't be made leaves nothing behind, and a movie comes from one clip.
    const std::string source = folder.pathOf("take.mp4");
    EXPECT_EQ(render({"--lut-file", cube, "--codec", "no-such-codec", source, "-o",
                      folder.pathOf("failed.mov")})
                  .status,
              1);
    EXPECT_NE(readFile(folder.pathOf("err")).find("no video encoder named \"no-such-codec\""),
              std::string::npos);
    EXPECT_FALSE(fs::exists(folder.pathOf("failed.mov")));
    for (const auto& entry : fs::directory_iterator(folder.path()))
    {
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos);
    }
    EXPECT_EQ(render({"--lut-file", cube, source, source, "-o", folder.pathOf("two.mov")}).status,
              1);
    EXPECT_EQ(firstErrorLine().rfind(
                  "huecast: " + folder.pathOf("two.mov") + ": a movie is written from one clip", 0),
              0U)
        << firstErrorLine();
}

} // namespace
} // namespace huecast::test
