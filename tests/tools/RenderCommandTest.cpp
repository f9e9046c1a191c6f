// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// `huecast render` end to end: LUTs chosen as a user would, projects that carry the cube,
// sequences, bit depths, and errors that name the file and leave nothing half-written.
#include <array>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "host/FrameFiles.h"
#include "tests/support/LatticeReference.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

namespace huecast::test
{
namespace
{

namespace fs = std::filesystem;

host::Frame noiseFrame(host::PixelType type, unsigned seed)
{
    host::Frame frame(40, 24, type);
    std::mt19937 random(seed);
    auto* bytes = reinterpret_cast<unsigned char*>(frame.data());
    for (std::size_t i = 0; i < frame.rowBytes() * frame.height(); ++i)
    {
        bytes[i] = static_cast<unsigned char>(random());
    }
    if (type == host::PixelType::Float)
    {
        std::uniform_real_distribution<float> value(0.0F, 1.0F);
        for (std::uint32_t y = 0; y < frame.height(); ++y)
        {
            for (float& channel : frame.rowAs<float>(y))
            {
                channel = value(random);
            }
        }
    }
    return frame;
}

class Render : public testing::Test
{
protected:
    std::string writeFrame(const std::string& name, const host::Frame& frame)
    {
        std::string path = folder.pathOf(name);
        foundation::Error error;
        EXPECT_TRUE(host::writeFrameFile(path, frame, host::FrameFileFormat(), &error))
            << error.localizedDescription();
        return path;
    }
    host::Frame readFrame(const std::string& path)
    {
        host::Frame frame;
        foundation::Error error;
        EXPECT_TRUE(host::readFrameFile(path, &frame, nullptr, &error))
            << error.localizedDescription();
        return frame;
    }
    ToolRun render(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> all{"render"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runTool(all, folder.pathOf("err"));
    }
    [[nodiscard]] std::string errors() const { return readFile(folder.pathOf("err")); }

    TempDir folder;
    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path()};
};

TEST_F(Render, AProjectRendersTheSameFrameOnceTheCubeIsGone)
{
    const std::string cube = folder.write("x.cube", randomLattice(17, 3).cubeText());
    const std::string input = writeFrame("in.png", noiseFrame(host::PixelType::UInt8, 1));
    const std::string project = folder.pathOf("p.json");
    ASSERT_EQ(
        render({"--save-project", project, "--lut-file", cube, input, "-o", folder.pathOf("a.png")})
            .status,
        0)
        << errors();
    fs::remove(cube);
    ASSERT_EQ(render({"--project", project, input, "-o", folder.pathOf("b.png")}).status, 0)
        << errors();
    const std::string a = readFile(folder.pathOf("a.png"));
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, readFile(folder.pathOf("b.png")));
    EXPECT_NE(a, readFile(input)) << "the frame was graded";
}

TEST_F(Render, AProjectKeepsTheGradeControlsAndAnEarlierOneLoadsTheDefaults)
{
    const std::string cube = folder.write("x.cube", randomLattice(9, 5).cubeText());
    const std::string input = writeFrame("in.png", noiseFrame(host::PixelType::UInt8, 2));
    const std::string project = folder.pathOf("p.json");
    const auto run = [&](std::vector<std::string> arguments, const std::string& output)
    {
        arguments.insert(arguments.end(), {input, "-o", folder.pathOf(output)});
        EXPECT_EQ(render(arguments).status, 0) << errors();
        return readFile(folder.pathOf(output));
    };
    const std::string controlled = run({"--save-project", project, "--lut-file", cube,
                                        "--interpolation", "tetrahedral", "--amount", "0.5"},
                                       "controlled.png");
    const std::string plain = run({"--lut-file", cube}, "plain.png");
    EXPECT_NE(controlled, plain);
    EXPECT_EQ(run({"--project", project}, "restored.png"), controlled);
    // Controls given beside a project replace what it saved.
    EXPECT_EQ(run({"--project", project, "--interpolation", "trilinear", "--amount", "1"},
                  "replaced.png"),
              plain);

    // A project saved before the controls existed: version 1, three parameters.
    auto earlier = nlohmann::ordered_json::parse(readFile(project));
    earlier["version"] = 1;
    auto& parameters = earlier["instances"][0]["parameters"];
    parameters.erase(parameters.begin() + 3, parameters.end());
    const std::string earlierProject = folder.write("earlier.json", earlier.dump(1));
    EXPECT_EQ(run({"--project", earlierProject}, "earlier.png"), plain);
}

TEST_F(Render, SequencesGoIntoAFolderKeepingNamesAndBitDepth)
{
    const std::string library =
        home.pathOf("Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay");
    fs::create_directories(library);
    std::ofstream(library + "/Steep.cube") << randomLattice(9, 4).cubeText();
    const std::vector<std::pair<std::string, host::PixelType>> frames = {
        {"shot.0001.exr", host::PixelType::Float},
        {"shot.0002.exr", host::PixelType::Float},
        {"plate.tif", host::PixelType::UInt16},
        {"still.png", host::PixelType::UInt8}};
    std::vector<std::string> arguments = {"--lut", "Steep", folder.pathOf("shot.####.exr")};
    for (std::size_t i = 1; i < frames.size(); ++i)
    {
        const std::string path =
            writeFrame(frames[i].first, noiseFrame(frames[i].second, static_cast<unsigned>(i)));
        if (i > 1)
        {
            arguments.push_back(path);
        }
    }
    writeFrame(frames[0].first, noiseFrame(frames[0].second, 0));
    arguments.insert(arguments.end(), {"-o", folder.pathOf("graded")});

    ASSERT_EQ(render(arguments).status, 0) << errors();
    EXPECT_EQ(
        namesIn(folder.pathOf("graded")),
        (std::vector<std::string>{"plate.tif", "shot.0001.exr", "shot.0002.exr", "still.png"}));
    for (const auto& [name, type] : frames)
    {
        SCOPED_TRACE(name);
        const host::Frame graded = readFrame(folder.pathOf("graded/" + name));
        const host::Frame source = readFrame(folder.pathOf(name));
        EXPECT_EQ(graded.type(), type);
        EXPECT_EQ(graded.width(), source.width());
        EXPECT_NE(std::memcmp(graded.data(), source.data(), source.rowBytes() * source.height()),
                  0);
    }
}

TEST_F(Render, ABadLutIsNamedWithTheReadersMessageAndNothingIsWritten)
{
    const std::string bad = folder.write("bad.cube", "LUT_3D_SIZE 2\n0 0 0\n1 0\n");
    const std::string input = writeFrame("in.png", noiseFrame(host::PixelType::UInt8, 1));
    EXPECT_EQ(render({"--lut-file", bad, input, "-o", folder.pathOf("out.png")}).status, 1);
    EXPECT_EQ(errors(), "huecast: " + bad + ": Huecast Error: Malformed data Line:3\n");
    EXPECT_FALSE(fs::exists(folder.pathOf("out.png")));

    EXPECT_EQ(render({"--lut", "Nowhere", input, "-o", folder.pathOf("out.png")}).status, 1);
    EXPECT_EQ(errors(),
              "huecast: \"Nowhere\" is not in the LUT library (`huecast list` shows what is)\n");
}

TEST_F(Render, ABadFrameIsNamedAndLeavesNoPartialFile)
{
    const std::string good = writeFrame("good.png", noiseFrame(host::PixelType::UInt8, 1));
    const std::string broken = folder.write("broken.png", "\x89PNG\r\n\x1a\nnot really");
    const std::string out = folder.pathOf("out");
    EXPECT_EQ(render({"--lut", "No LUT", good, broken, "-o", out}).status, 1);
    // (the PNG decoder also prints its own complaint)
    EXPECT_NE(("\n" + errors()).find("\nhuecast: " + broken + ": "), std::string::npos) << errors();
    EXPECT_EQ(namesIn(out), std::vector<std::string>{"good.png"}) << "no partial frame";

    // A frame that can't be written leaves nothing behind either.
    EXPECT_EQ(render({"--lut", "No LUT", good, "-o", folder.pathOf("graded.nosuchformat")}).status,
              1);
    EXPECT_EQ(errors().rfind("huecast: " + folder.pathOf("graded.nosuchformat") + ": ", 0), 0U)
        << errors();
    EXPECT_EQ(namesIn(folder.path()),
              (std::vector<std::string>{"broken.png", "err", "good.png", "out"}));

    // A TIFF whose strips lie past its end: the reader complains and reads black; the frame
    // fails with its complaint.
    std::string tiff = readFile(writeFrame("whole.tif", noiseFrame(host::PixelType::UInt8, 3)));
    ASSERT_EQ(tiff.substr(0, 4), std::string("II*\0", 4));
    const auto u16 = [&](std::size_t at)
    { return std::uint16_t(std::uint8_t(tiff[at]) | std::uint8_t(tiff[at + 1]) << 8); };
    const auto u32 = [&](std::size_t at)
    { return std::uint32_t(u16(at) | std::uint32_t(u16(at + 2)) << 16); };
    const std::uint32_t directory = u32(4);
    for (std::size_t entry = directory + 2; entry < directory + 2 + 12U * u16(directory);
         entry += 12)
    {
        if (u16(entry) == 273 && u16(entry + 2) == 4) // StripOffsets, as LONGs
        {
            const std::uint32_t count = u32(entry + 4);
            const std::size_t offsets = count == 1 ? entry + 8 : u32(entry + 8);
            for (std::uint32_t strip = 0; strip < count; ++strip)
            {
                const std::uint32_t past = static_cast<std::uint32_t>(tiff.size()) + 4096 + strip;
                std::memcpy(&tiff[offsets + 4 * strip], &past, sizeof past);
            }
        }
    }
    const std::string strips = folder.write("strips.tif", tiff);
    EXPECT_EQ(render({"--lut", "No LUT", strips, "-o", folder.pathOf("strips-out.tif")}).status, 1);
    EXPECT_EQ(errors().rfind("huecast: " + strips + ": ", 0), 0U) << errors();
    EXPECT_NE(errors().find("Read error"), std::string::npos) << errors();

    // What is no regular file is refused at once, never opened; a name that promises a format
    // its bytes don't hold is refused without trying every other format on them.
    const std::string pipe = folder.pathOf("pipe.png");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string device = folder.pathOf("zero.exr");
    fs::create_symlink("/dev/zero", device);
    const std::string zeros = folder.write("zeros.tif", std::string(4096, '\0'));
    for (const auto& [input, message] :
         {std::pair{pipe, "It is a named pipe (FIFO), not a regular file"},
          std::pair{device, "It is a character device, not a regular file"},
          std::pair{zeros, "Not a TIFF file: it doesn't begin as TIFF files do"}})
    {
        EXPECT_EQ(render({"--lut", "No LUT", input, "-o", folder.pathOf("x.png")}).status, 1);
        EXPECT_EQ(errors(), "huecast: " + input + ": " + message + "\n");
    }
}

TEST_F(Render, TwoWritesOfOneTiledFrameAreTheSameBytes)
{
    // Edge tiles reach past the frame: what fills them must not be stray memory.
    const std::string input = folder.pathOf("tiled.tif");
    ASSERT_EQ(std::system(("oiiotool --pattern noise:type=uniform 100x70 4 -d uint16 --tile 64 64 "
                           "--compression none -o '" +
                           input + "'")
                              .c_str()),
              0);
    std::array<std::string, 2> written;
    for (std::size_t run = 0; run < written.size(); ++run)
    {
        const std::string output = folder.pathOf("out" + std::to_string(run) + ".tif");
        ASSERT_EQ(render({"--lut", "No LUT", input, "-o", output}).status, 0) << errors();
        // The time of writing is the one run of bytes that may differ.
        written[run] = std::regex_replace(readFile(output),
                                          std::regex(R"(\d{4}:\d\d:\d\d \d\d:\d\d:\d\d)"), "");
    }
    EXPECT_EQ(written[0], written[1]);
}

TEST_F(Render, NeverWritesOverAFileItReadsOrAnotherItWrites)
{
    const std::string cube = folder.write("x.cube", randomLattice(3, 2).cubeText());
    const std::string input = writeFrame("in.png", noiseFrame(host::PixelType::UInt8, 1));
    const std::string project = folder.pathOf("p.json");
    ASSERT_EQ(
        render({"--save-project", project, "--lut-file", cube, input, "-o", folder.pathOf("a.png")})
            .status,
        0)
        << errors();
    fs::create_symlink(input, folder.pathOf("link.png"));
    fs::create_hard_link(cube, folder.pathOf("hard.cube"));
    const std::string relative = fs::relative(folder.pathOf("in.png"), fs::current_path()).string();
    const std::string relativeB =
        fs::relative(folder.path(), fs::current_path()).string() + "/b.png";
    std::vector<std::vector<std::string>> runs = {
        {"--save-project", input, "--lut-file", cube, input, "-o", folder.pathOf("b.png")},
        {"--save-project", folder.pathOf("hard.cube"), "--lut-file", cube, input, "-o",
         folder.pathOf("b.png")},
        {"--save-project", relativeB, "--lut-file", cube, input, "-o", "./" + relativeB},
        {"--save-project", project, "--project", project, input, "-o", folder.pathOf("b.png")},
        {"--lut-file", cube, folder.pathOf("link.png"), folder.pathOf("a.png"), "-o",
         folder.pathOf("b.png") + "/", "--save-project", "./" + relative},
    };
    // Frames of one name from two folders into one folder; a frame over its input, named as a
    // file or through its folder.
    fs::create_directories(folder.pathOf("c"));
    fs::copy_file(input, folder.pathOf("c/in.png"));
    runs.push_back(
        {"--lut-file", cube, input, folder.pathOf("c/in.png"), "-o", folder.pathOf("b.png") + "/"});
    runs.push_back({"--lut-file", cube, input, "-o", input});
    runs.push_back({"--lut-file", cube, input, "-o", folder.path()});
    const std::string library =
        home.pathOf("Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay");
    fs::create_directories(library);
    fs::copy_file(cube, library + "/Mine.cube");
    runs.push_back({"--save-project", library + "/Mine.cube", "--lut", "Mine", input, "-o",
                    folder.pathOf("b.png")});
    const std::string inputBytes = readFile(input);
    const std::string cubeBytes = readFile(cube);
    const std::string projectBytes = readFile(project);
    for (const auto& run : runs)
    {
        const std::string command = testing::PrintToString(run);
        EXPECT_EQ(render(run).status, 1) << command;
        EXPECT_NE(errors().find("is the same file as"), std::string::npos) << errors();
        EXPECT_EQ(readFile(input), inputBytes) << command;
        EXPECT_EQ(readFile(cube), cubeBytes) << command;
        EXPECT_EQ(readFile(project), projectBytes) << command;
        EXPECT_EQ(readFile(library + "/Mine.cube"), cubeBytes) << command;
        EXPECT_FALSE(fs::exists(folder.pathOf("b.png"))) << command;
    }
}

TEST_F(Render, ConflictingOrMissingArgumentsAreUsageErrors)
{
    const std::string input = writeFrame("in.png", noiseFrame(host::PixelType::UInt8, 1));
    EXPECT_EQ(render({"--lut", "A", "--lut-file", "b.cube", input, "-o", "x.png"}).status, 2);
    EXPECT_EQ(render({"--lut-file", "b.cube", "--project", "p.json", input, "-o", "x.png"}).status,
              2);
    EXPECT_EQ(render({input}).status, 2) << "no output";
    EXPECT_EQ(render({"-o", "x.png"}).status, 2) << "no input";
    EXPECT_EQ(render({"--lut-file", "b.cube", "--amount", "2", input, "-o", "x.png"}).status, 2);
    EXPECT_EQ(
        render({"--lut-file", "b.cube", "--interpolation", "cubic", input, "-o", "x.png"}).status,
        2);
}

} // namespace
} // namespace huecast::test
