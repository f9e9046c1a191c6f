// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The host's frame path with the real bundle: frames of every pixel type, with and without
// row padding, graded through random steep lattices and compared with an independent CPU
// trilinear interpolation.
#include <cmath>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "host/FrameRenderer.h"
#include "host/RectangleTexture.h"
#include "host/ReferenceHost.h"
#include "plugin/HuecastParameters.h"
#include "tests/support/LatticeReference.h"
#include "tests/support/ScriptedPresenter.h"
#include "tests/support/TestSupport.h"

namespace huecast::test
{
namespace
{

constexpr std::uint32_t kLUT = parmIdOf(HuecastParameter::LUT);
constexpr std::uint32_t kLoadLUT = parmIdOf(HuecastParameter::LoadLUT);
// Single-precision texel addressing on steep lattices costs about 1.4e-5 at edge 65.
constexpr float kFloatTolerance = 5e-5F;

class FramePath : public testing::Test
{
protected:
    void SetUp() override
    {
        foundation::Error error;
        host = host::ReferenceHost::create(HUECAST_BUNDLE_DIR, &error);
        ASSERT_TRUE(host) << error.localizedDescription();
        renderer = host::FrameRenderer::create(&error);
        ASSERT_TRUE(renderer) << error.localizedDescription();
        kit::setModalPresenter(presenter);
    }
    void TearDown() override
    {
        kit::setModalPresenter(nullptr);
        (void)(host && host->makeCurrent());
        renderer.reset();
    }

    /// A new instance grading through the lattice, loaded as a user would: "External File",
    /// then the file through Browse.
    host::EffectInstance& instanceFor(const Lattice& lattice)
    {
        const std::string path = folder.pathOf("lut" + std::to_string(lattice.edge) + ".cube");
        std::ofstream(path) << lattice.cubeText();
        foundation::Error error;
        host::EffectInstance* instance = host->createInstance({}, &error);
        EXPECT_NE(instance, nullptr) << error.localizedDescription();
        instance->choosePopupEntry(kLUT, 1);
        presenter->answers.push_back(path);
        EXPECT_TRUE(instance->clickBrowse(kLoadLUT));
        EXPECT_TRUE(presenter->alerts.empty());
        return *instance;
    }

    host::Frame render(host::EffectInstance& instance, const host::Frame& input,
                       std::size_t outputRowBytes = 0)
    {
        host::Frame output(1, 1, input.type(), outputRowBytes);
        foundation::Error error;
        EXPECT_TRUE(renderer->renderFrame(instance.filter(), input, &output, &error))
            << error.localizedDescription();
        return output;
    }

    TempDir folder;
    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path()};
    std::shared_ptr<ScriptedPresenter> presenter = std::make_shared<ScriptedPresenter>();
    std::unique_ptr<host::ReferenceHost> host;
    std::unique_ptr<host::FrameRenderer> renderer;
};

/// The colours as one float frame, `width` pixels a row, alpha counting up.
host::Frame floatFrame(const std::vector<Rgb>& colours, std::uint32_t width,
                       std::size_t rowBytes = 0)
{
    const auto height = static_cast<std::uint32_t>((colours.size() + width - 1) / width);
    host::Frame frame(width, height, host::PixelType::Float, rowBytes);
    for (std::size_t i = 0; i < colours.size(); ++i)
    {
        float* pixel = &frame.rowAs<float>(static_cast<std::uint32_t>(i / width))[i % width * 4];
        std::copy(colours[i].begin(), colours[i].end(), pixel);
        pixel[3] = static_cast<float>(i % 7) / 7.0F;
    }
    return frame;
}

TEST_F(FramePath, FloatFramesMatchTrilinearInterpolationForEveryEdge)
{
    const std::vector<Rgb> colours = probeColours(2000, 11);
    for (const int edge : {2, 17, 33, 65})
    {
        SCOPED_TRACE(edge);
        const Lattice lattice = randomLattice(edge, static_cast<unsigned>(edge));
        const host::Frame output = render(instanceFor(lattice), floatFrame(colours, 97));
        ASSERT_EQ(output.width(), 97U);
        float worst = 0;
        for (std::size_t i = 0; i < colours.size(); ++i)
        {
            const float* pixel =
                &output.rowAs<float>(static_cast<std::uint32_t>(i / 97))[i % 97 * 4];
            const Rgb expected = trilinear(lattice, colours[i]);
            for (std::size_t c = 0; c < 3; ++c)
            {
                worst = std::max(worst, std::abs(pixel[c] - expected[c]));
            }
            ASSERT_EQ(pixel[3], static_cast<float>(i % 7) / 7.0F) << "alpha passes through";
        }
        EXPECT_LE(worst, kFloatTolerance);
        RecordProperty("worst_error_edge_" + std::to_string(edge), testing::PrintToString(worst));
    }
}

TEST_F(FramePath, IntegerFramesMatchWithinACodeValue)
{
    const Lattice lattice = randomLattice(33, 5);
    host::EffectInstance& instance = instanceFor(lattice);
    struct Case
    {
        host::PixelType type;
        double scale;
        double tolerance;
    };
    for (const Case& test :
         {Case{host::PixelType::UInt8, 255.0, 1.0}, Case{host::PixelType::UInt16, 65535.0, 1.0}})
    {
        SCOPED_TRACE(host::depthOf(test.type));
        host::Frame input(64, 48, test.type);
        std::mt19937 random(3);
        for (std::uint32_t y = 0; y < input.height(); ++y)
        {
            for (std::uint32_t x = 0; x < input.width() * 4; ++x)
            {
                const auto code = static_cast<std::uint16_t>(
                    random() % (static_cast<unsigned long>(test.scale) + 1));
                if (test.type == host::PixelType::UInt8)
                {
                    input.rowAs<std::uint8_t>(y)[x] = static_cast<std::uint8_t>(code);
                }
                else
                {
                    input.rowAs<std::uint16_t>(y)[x] = code;
                }
            }
        }
        const host::Frame output = render(instance, input);
        double worst = 0;
        for (std::uint32_t y = 0; y < input.height(); ++y)
        {
            for (std::uint32_t x = 0; x < input.width(); ++x)
            {
                const auto code = [&](const host::Frame& frame, std::uint32_t channel)
                {
                    return test.type == host::PixelType::UInt8
                               ? double(frame.rowAs<std::uint8_t>(y)[x * 4 + channel])
                               : double(frame.rowAs<std::uint16_t>(y)[x * 4 + channel]);
                };
                const Rgb colour = {float(code(input, 0) / test.scale),
                                    float(code(input, 1) / test.scale),
                                    float(code(input, 2) / test.scale)};
                const Rgb expected = trilinear(lattice, colour);
                for (std::uint32_t c = 0; c < 3; ++c)
                {
                    const double want = std::clamp(double(expected[c]), 0.0, 1.0) * test.scale;
                    worst = std::max(worst, std::abs(code(output, c) - want));
                }
                ASSERT_EQ(code(output, 3), code(input, 3)) << "alpha passes through";
            }
        }
        EXPECT_LE(worst, test.tolerance);
        RecordProperty("worst_codes_" + std::to_string(host::depthOf(test.type)) + "_bit",
                       testing::PrintToString(worst));
    }
}

TEST_F(FramePath, PaddedRowsAreReadAndWrittenWithoutTouchingThePadding)
{
    const Lattice lattice = randomLattice(17, 8);
    host::EffectInstance& instance = instanceFor(lattice);
    const std::vector<Rgb> colours = probeColours(300, 4);
    const host::Frame packed = render(instance, floatFrame(colours, 31));
    EXPECT_EQ(host::Frame(31, 1, host::PixelType::Float, 31 * 16 + 6).rowBytes(), 31U * 16 + 8)
        << "rows hold whole channels, so every float stays aligned";
    // Padding of whole pixels (GL's row length) and of one float (row by row).
    for (const std::size_t padding : {std::size_t{64}, std::size_t{4}})
    {
        SCOPED_TRACE(padding);
        const std::size_t rowBytes = std::size_t{31} * 16 + padding;
        host::Frame input = floatFrame(colours, 31, rowBytes);
        host::Frame output(31, input.height(), host::PixelType::Float, rowBytes);
        std::fill(output.data(), output.data() + rowBytes * output.height(), std::byte{0xAB});
        foundation::Error error;
        ASSERT_TRUE(renderer->renderFrame(instance.filter(), input, &output, &error));
        ASSERT_EQ(output.rowBytes(), rowBytes);
        for (std::uint32_t y = 0; y < output.height(); ++y)
        {
            ASSERT_EQ(std::memcmp(output.row(y), packed.row(y), packed.pixelRowBytes()), 0) << y;
            for (std::size_t b = packed.pixelRowBytes(); b < rowBytes; ++b)
            {
                ASSERT_EQ(output.row(y)[b], std::byte{0xAB}) << "padding of row " << y;
            }
        }
    }
}

TEST_F(FramePath, AFrameMovesInBandsOfRowsExactlyAsWhole)
{
    // Frames of a gigabyte or more go in and out in bands of rows; small bands move this one
    // the same way: a row a call, three rows a call (the last band shorter), and whole.
    const host::Frame input = floatFrame(probeColours(500, 6), 23);
    ASSERT_NE(input.height() % 3, 0U);
    for (const std::size_t band : {std::size_t{1}, input.rowBytes() * 3, host::kTransferBandBytes})
    {
        SCOPED_TRACE(band);
        host::RectangleTexture texture;
        texture.upload(input, band);
        GLuint framebuffer = 0;
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE,
                               texture.name(), 0);
        host::Frame output(input.width(), input.height(), input.type());
        texture.readBack(&output, band);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(std::memcmp(output.data(), input.data(), input.rowBytes() * input.height()), 0);
    }
}

TEST_F(FramePath, FramesOfAnotherSizeOrTypeFollowEachOther)
{
    const Lattice lattice = randomLattice(2, 1);
    host::EffectInstance& instance = instanceFor(lattice);
    const host::Frame small = render(instance, floatFrame(probeColours(10, 1), 5));
    const host::Frame wide = render(instance, host::Frame(300, 2, host::PixelType::UInt8));
    const host::Frame again = render(instance, floatFrame(probeColours(10, 1), 5));
    EXPECT_EQ(wide.width(), 300U);
    EXPECT_EQ(wide.type(), host::PixelType::UInt8);
    ASSERT_EQ(again.height(), small.height());
    EXPECT_EQ(std::memcmp(again.data(), small.data(), small.rowBytes() * small.height()), 0);
}

TEST_F(FramePath, AFilterThatDrawsNothingIsAnError)
{
    foundation::Error error;
    host::EffectInstance* instance =
        host->createInstance({fx::FxProtocol::ParameterRetrieval}, &error);
    ASSERT_NE(instance, nullptr);
    host::Frame output;
    EXPECT_FALSE(renderer->renderFrame(instance->filter(),
                                       host::Frame(4, 4, host::PixelType::UInt8), &output, &error));
    EXPECT_EQ(error.code(), static_cast<std::int64_t>(host::HostError::FrameNotRendered));
    EXPECT_EQ(error.localizedDescription(), "The plug-in drew nothing for this frame");

    EXPECT_FALSE(renderer->renderFrame(instance->filter(),
                                       host::Frame(0, 4, host::PixelType::UInt8), &output, &error));
    EXPECT_NE(error.localizedDescription().find("0×4"), std::string::npos);
}

} // namespace
} // namespace huecast::test
