// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// `huecast apply` end to end: number for number against CPU trilinear and tetrahedral
// references, the amount against its formula, and against ffmpeg's lut3d on LUTs that
// OpenColorIO baked.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/LatticeReference.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

namespace huecast::test
{
namespace
{

std::string colourLines(const std::vector<Rgb>& colours)
{
    std::string text;
    char line[96];
    for (const Rgb& colour : colours)
    {
        std::snprintf(line, sizeof line, "%.9g %.9g %.9g\n", static_cast<double>(colour[0]),
                      static_cast<double>(colour[1]), static_cast<double>(colour[2]));
        text += line;
    }
    return text;
}

std::vector<Rgb> parseColours(const std::string& text)
{
    std::vector<Rgb> colours;
    std::istringstream lines(text);
    for (Rgb colour{}; lines >> colour[0] >> colour[1] >> colour[2];)
    {
        colours.push_back(colour);
    }
    return colours;
}

float worstDifference(const std::vector<Rgb>& a, const std::vector<Rgb>& b)
{
    float worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        for (std::size_t c = 0; c < 3; ++c)
        {
            worst = std::max(worst, std::abs(a[i][c] - b[i][c]));
        }
    }
    return worst;
}

/// The colours graded by ffmpeg's lut3d (trilinear) on one float planar frame.
std::vector<Rgb> gradedByFfmpeg(const TempDir& folder, const std::string& cube,
                                const std::vector<Rgb>& colours)
{
    // gbrpf32: the green plane, then blue, then red.
    std::vector<float> planes(colours.size() * 3);
    for (std::size_t i = 0; i < colours.size(); ++i)
    {
        planes[i] = colours[i][1];
        planes[colours.size() + i] = colours[i][2];
        planes[2 * colours.size() + i] = colours[i][0];
    }
    const std::string in = folder.write(
        "in.raw", {reinterpret_cast<const char*>(planes.data()), planes.size() * sizeof(float)});
    const std::string out = folder.pathOf("out.raw");
    const std::string command = "ffmpeg -v error -nostdin -y -f rawvideo -pix_fmt gbrpf32le -s " +
                                std::to_string(colours.size()) + "x1 -i '" + in +
                                "' -vf 'lut3d=file=" + cube +
                                ":interp=trilinear' -f rawvideo -pix_fmt gbrpf32le '" + out + "'";
    if (std::system(command.c_str()) != 0)
    {
        ADD_FAILURE() << "ffmpeg failed: " << command;
        return {};
    }
    const std::string bytes = readFile(out);
    if (bytes.size() != planes.size() * sizeof(float))
    {
        ADD_FAILURE() << "ffmpeg wrote " << bytes.size() << " bytes";
        return {};
    }
    std::memcpy(planes.data(), bytes.data(), bytes.size());
    std::vector<Rgb> graded(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i)
    {
        graded[i] = {planes[2 * colours.size() + i], planes[i], planes[colours.size() + i]};
    }
    return graded;
}

class Apply : public testing::Test
{
protected:
    /// Runs `huecast apply` on the colours; the graded colours, or none with a failure.
    std::vector<Rgb> apply(const std::string& cube, const std::vector<Rgb>& colours,
                           const std::vector<std::string>& controls = {})
    {
        const std::string input = folder.write("colours.txt", colourLines(colours));
        std::vector<std::string> arguments{"apply", "--lut-file", cube};
        arguments.insert(arguments.end(), controls.begin(), controls.end());
        const ToolRun run = runTool(arguments, folder.pathOf("err"), input);
        EXPECT_EQ(run.status, 0) << readFile(folder.pathOf("err"));
        std::vector<Rgb> graded = parseColours(run.out);
        EXPECT_EQ(graded.size(), colours.size());
        graded.resize(colours.size());
        return graded;
    }

    TempDir folder;
    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path()};
};

TEST_F(Apply, AgreesWithTrilinearInterpolationForEveryEdge)
{
    const std::vector<Rgb> colours = probeColours(3000, 21);
    for (const int edge : {2, 17, 33, 65})
    {
        SCOPED_TRACE(edge);
        const Lattice lattice = randomLattice(edge, static_cast<unsigned>(100 + edge));
        const std::string cube = folder.write("steep.cube", lattice.cubeText());
        std::vector<Rgb> expected;
        expected.reserve(colours.size());
        for (const Rgb& colour : colours)
        {
            expected.push_back(trilinear(lattice, colour));
        }
        EXPECT_LE(worstDifference(apply(cube, colours), expected), 5e-5F);
    }
}

// Colours inside the unit cube, and a quarter of them spread beyond it on every side.
std::vector<Rgb> coloursInAndAround(std::size_t count, unsigned seed)
{
    std::vector<Rgb> colours = probeColours(count, seed);
    for (std::size_t i = 0; i < colours.size(); i += 4)
    {
        for (float& component : colours[i])
        {
            component = component * 1.6F - 0.3F;
        }
    }
    return colours;
}

TEST_F(Apply, TetrahedralAgreesWithItsReferenceForEveryEdgeAndIsNotTrilinear)
{
    const std::vector<Rgb> colours = coloursInAndAround(3000, 31);
    for (const int edge : {2, 5, 17, 33, 65})
    {
        SCOPED_TRACE(edge);
        const Lattice lattice = randomLattice(edge, static_cast<unsigned>(200 + edge));
        const std::string cube = folder.write("steep.cube", lattice.cubeText());
        std::vector<Rgb> expected;
        for (const Rgb& colour : colours)
        {
            expected.push_back(tetrahedral(lattice, colour));
        }
        const std::vector<Rgb> graded = apply(cube, colours, {"--interpolation", "tetrahedral"});
        const float worst = worstDifference(graded, expected);
        EXPECT_LE(worst, 2e-5F);
        RecordProperty("worst_error_edge_" + std::to_string(edge), testing::PrintToString(worst));
        if (edge == 5)
        {
            EXPECT_GT(worstDifference(graded, apply(cube, colours)), 0.05F)
                << "tetrahedral must not read the lattice as trilinear does";
        }
    }
}

TEST_F(Apply, TheAmountMixesTheGradeWithTheInputAndIsExactAtItsEnds)
{
    const std::vector<Rgb> colours = coloursInAndAround(1000, 41);
    const std::string cube = folder.write("steep.cube", randomLattice(17, 8).cubeText());
    const std::string input = folder.write("colours.txt", colourLines(colours));
    for (const char* interpolation : {"trilinear", "tetrahedral"})
    {
        SCOPED_TRACE(interpolation);
        const std::vector<std::string> how{"--interpolation", interpolation};
        const std::vector<Rgb> full = apply(cube, colours, how);
        std::vector<Rgb> expected = colours;
        for (std::size_t i = 0; i < colours.size(); ++i)
        {
            for (std::size_t c = 0; c < 3; ++c)
            {
                expected[i][c] += 0.37F * (full[i][c] - colours[i][c]);
            }
        }
        std::vector<std::string> partly = how;
        partly.insert(partly.end(), {"--amount", "0.37"});
        EXPECT_LE(worstDifference(apply(cube, colours, partly), expected), 3e-5F);
        std::vector<std::string> none = how;
        none.insert(none.end(), {"--amount", "0"});
        EXPECT_EQ(worstDifference(apply(cube, colours, none), colours), 0.0F);

        // The full amount is the grade itself, bit for bit.
        const ToolRun graded = runTool(
            {"apply", "--lut-file", cube, "--interpolation", interpolation}, "/dev/null", input);
        const ToolRun atOne = runTool(
            {"apply", "--lut-file", cube, "--interpolation", interpolation, "--amount", "1"},
            "/dev/null", input);
        EXPECT_EQ(atOne.out, graded.out);
    }
    for (const char* amount : {"1.5", "-0.1", "nan", "half"})
    {
        EXPECT_EQ(
            runTool({"apply", "--lut-file", cube, "--amount", amount}, "/dev/null", input).status,
            2)
            << amount;
    }
    EXPECT_EQ(runTool({"apply", "--lut-file", cube, "--interpolation", "cubic"}, "/dev/null", input)
                  .status,
              2);
}

TEST_F(Apply, MapsEachChannelThroughTheCubesDomain)
{
    const Lattice lattice = randomLattice(17, 7);
    const std::string body = lattice.cubeText();
    const std::string domain = "DOMAIN_MIN -0.25 0 0.5\nDOMAIN_MAX 1.5 2 1\n";
    const std::string cube = folder.write("domain.cube", domain + body);
    const Rgb low{-0.25F, 0.0F, 0.5F};
    const Rgb high{1.5F, 2.0F, 1.0F};

    // Colours from below each minimum to beyond each maximum.
    std::vector<Rgb> colours = probeColours(2000, 9);
    for (Rgb& colour : colours)
    {
        for (std::size_t c = 0; c < 3; ++c)
        {
            colour[c] = colour[c] * 3.0F - 0.75F;
        }
    }
    std::vector<Rgb> expected;
    for (const Rgb& colour : colours)
    {
        Rgb unit{};
        for (std::size_t c = 0; c < 3; ++c)
        {
            unit[c] = static_cast<float>((static_cast<double>(colour[c]) - low[c]) /
                                         (static_cast<double>(high[c]) - low[c]));
        }
        expected.push_back(trilinear(lattice, unit));
    }
    EXPECT_LE(worstDifference(apply(cube, colours), expected), 5e-5F);

    // A 0..1 domain grades exactly as no domain at all.
    const std::string unit =
        folder.write("unit.cube", "DOMAIN_MIN 0 0 0\nDOMAIN_MAX 1 1 1\n" + body);
    const std::string plain = folder.write("plain.cube", body);
    const std::string input = folder.write("colours.txt", colourLines(colours));
    const ToolRun withUnit = runTool({"apply", "--lut-file", unit}, "/dev/null", input);
    const ToolRun withNone = runTool({"apply", "--lut-file", plain}, "/dev/null", input);
    EXPECT_EQ(withUnit.status, 0);
    EXPECT_EQ(withUnit.out, withNone.out);

    // Resolve's LUT_3D_INPUT_RANGE is the same domain on all three channels.
    const std::string ranged = folder.write("ranged.cube", "LUT_3D_INPUT_RANGE -0.25 1.5\n" + body);
    const std::string domained = folder.write(
        "domained.cube", "DOMAIN_MIN -0.25 -0.25 -0.25\nDOMAIN_MAX 1.5 1.5 1.5\n" + body);
    const ToolRun withRange = runTool({"apply", "--lut-file", ranged}, "/dev/null", input);
    EXPECT_EQ(withRange.status, 0);
    EXPECT_EQ(withRange.out, runTool({"apply", "--lut-file", domained}, "/dev/null", input).out);
    EXPECT_NE(withRange.out, withNone.out);
}

TEST_F(Apply, NonFiniteNumbersNeverReachTheOutput)
{
    // 1e39 overflows a float: it is held at the largest one, so no colour becomes NaN.
    const std::string cube =
        folder.write("huge.cube", "LUT_3D_SIZE 2\n1e39 -1e39 0.5\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n"
                                  "1 0 1\n0 1 1\n-1e39 1e39 1e39\n");
    for (const Rgb& graded : apply(cube, {{0, 0, 0}, {0.5F, 0.5F, 0.5F}, {1, 1, 1}}))
    {
        for (const float value : graded)
        {
            EXPECT_TRUE(std::isfinite(value)) << value;
        }
    }

    // NaN takes the lattice's low edge, infinities the edge of their sign.
    const std::string steep = folder.write("steep.cube", randomLattice(5, 4).cubeText());
    const std::string odd = folder.write("odd.txt", "nan 0.5 inf\n-inf -nan 0.25\n");
    const std::string plain = folder.write("plain.txt", "0 0.5 1\n0 0 0.25\n");
    const ToolRun oddRun = runTool({"apply", "--lut-file", steep}, "/dev/null", odd);
    const ToolRun plainRun = runTool({"apply", "--lut-file", steep}, "/dev/null", plain);
    EXPECT_EQ(oddRun.status, 0);
    EXPECT_FALSE(plainRun.out.empty());
    EXPECT_EQ(oddRun.out, plainRun.out);
}

TEST_F(Apply, AgreesWithFfmpegOnLutsBakedByOpenColorIO)
{
    struct Bake
    {
        const char* arguments;
        int size;
    };
    // Each mixes the channels (saturation), so OpenColorIO bakes a 3D table, not a 1D one.
    const Bake bakes[] = {{"--slope 1.2 0.9 1.1 --power 0.8 1.1 1.3 --sat 1.3", 33},
                          {"--offset 0.02 -0.01 0.03 --power 2.2 2.2 2.2 --sat 1.2", 17},
                          {"--sat 0.6 --slope 0.9 1.05 1.0", 65}};
    std::vector<Rgb> colours = probeColours(2000, 5);
    for (const Bake& bake : bakes)
    {
        SCOPED_TRACE(bake.arguments);
        const std::string cube = folder.pathOf("baked" + std::to_string(bake.size) + ".cube");
        const std::string command = std::string("ociobakelut ") + bake.arguments +
                                    " --format resolve_cube --cubesize " +
                                    std::to_string(bake.size) + " '" + cube + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::vector<Rgb> reference = gradedByFfmpeg(folder, cube, colours);
        ASSERT_EQ(reference.size(), colours.size());
        const float worst = worstDifference(apply(cube, colours), reference);
        EXPECT_LE(worst, 2e-5F);
        RecordProperty("worst_error_edge_" + std::to_string(bake.size),
                       testing::PrintToString(worst));
    }
}

TEST_F(Apply, ReportsTheLutsErrorOrTheBadLineAndPrintsNothing)
{
    const std::string bad = folder.write("bad.cube", "LUT_3D_SIZE 2\n0 0 0\n1 0\n");
    const std::string colours = folder.write("colours.txt", "0.5 0.5 0.5\n");
    ToolRun run = runTool({"apply", "--lut-file", bad}, folder.pathOf("err"), colours);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(readFile(folder.pathOf("err")),
              "huecast: " + bad + ": Huecast Error: Malformed data Line:3\n");

    const std::string good =
        folder.write("good.cube", Lattice{2, randomLattice(2, 1).entries}.cubeText());
    const std::string lines = folder.write("lines.txt", "0 0 0\n0.5 0.5\n");
    run = runTool({"apply", "--lut-file", good}, folder.pathOf("err"), lines);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(
        readFile(folder.pathOf("err")),
        "huecast: standard input line 2: expected three numbers \"r g b\", got \"0.5 0.5\"\n");

    EXPECT_EQ(runTool({"apply"}).status, 2) << "--lut-file is required";
}

TEST_F(Apply, AFileNamedLikeACacheKeyIsReadAsTheFile)
{
    // "kIdentityCube" is also the name the cube cache keeps the identity cube under.
    std::string quarter = "LUT_3D_SIZE 2\n";
    for (int i = 0; i < 8; ++i)
    {
        quarter += "0.25 0.25 0.25\n";
    }
    folder.write("kIdentityCube", quarter);
    const std::string colours = folder.write("colours.txt", "0.5 0.5 0.5\n");
    const std::string before = std::filesystem::current_path().string();
    std::filesystem::current_path(folder.path());
    const ToolRun run = runTool({"apply", "--lut-file", "kIdentityCube"}, "err", colours);
    std::filesystem::current_path(before);
    EXPECT_EQ(run.status, 0) << readFile(folder.pathOf("err"));
    EXPECT_EQ(run.out, "0.25 0.25 0.25\n");
}

TEST_F(Apply, AnswersEachBatchBeforeTheInputEnds)
{
    // One full batch, then the input stays open: an apply that held all its input before
    // grading would print nothing until the end, and its memory would grow with the input.
    constexpr std::size_t kBatch = 131072;
    const std::string cube =
        folder.write("x.cube", Lattice{2, randomLattice(2, 1).entries}.cubeText());
    int in[2];
    int out[2];
    ASSERT_EQ(::pipe(in), 0);
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[1]);
        ::close(out[0]);
        ::execl(HUECAST_TOOL, HUECAST_TOOL, "apply", "--lut-file", cube.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    std::string lines;
    for (std::size_t i = 0; i < kBatch; ++i)
    {
        lines += "0.5 0.25 0.75\n";
    }
    ASSERT_EQ(::write(in[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    pollfd ready{out[0], POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 60000), 1) << "nothing graded while the input is open";
    ::close(in[1]);
    std::string printed;
    char buffer[65536];
    for (ssize_t count = 0; (count = ::read(out[0], buffer, sizeof buffer)) > 0;)
    {
        printed.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), static_cast<long>(kBatch));
}

} // namespace
} // namespace huecast::test
