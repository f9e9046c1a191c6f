// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The render pass's observable GL behaviour on a real context: what it leaves as it found it,
// the program it leaves current, the uniforms it sets, and the frames it refuses untouched.
#include <array>
#include <new>
#include <stdexcept>

#include "cube/CubeKeys.h"
#include "host/FrameRenderer.h"
#include "tests/plugin/FilterFixture.h"

namespace huecast::test
{
namespace
{

/// A host image in memory, which the pass must refuse.
class BitmapImage final : public fx::FxImage
{
public:
    [[nodiscard]] fx::FxImageType imageType() const override { return fx::FxImageType::Bitmap; }
    [[nodiscard]] fx::FxImageInfo imageInfo() const override { return {4, 4, 16, 8}; }
};

GLint integerState(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

GLint textureEnvMode()
{
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    return mode;
}

/// A cube of the edge whose lattice is all zeros.
std::shared_ptr<ZRColourCube> zeroCube(std::int64_t edge, const foundation::Dictionary& extra = {})
{
    const auto points = static_cast<std::size_t>(edge * edge * edge);
    const std::vector<std::uint8_t> lattice(points * 12);
    const foundation::Dictionary dictionary = {
        {std::string(kCubeEdgeSizeKey), foundation::Value(edge)},
        {std::string(kCubeFileNameKey), foundation::Value("/luts/zero.cube")},
        {std::string(kCubeFormatKey), foundation::Value("3D")},
        {std::string(kCubeDataKey),
         foundation::Value(foundation::makeSharedBytes(lattice.data(), lattice.size()))}};
    foundation::Dictionary withExtra = extra;
    withExtra.insert(dictionary.begin(), dictionary.end());
    return ZRColourCube::initWithDictionary(&withExtra);
}

/// The identity lattice of the edge, as a file would give it (red fastest).
std::shared_ptr<ZRColourCube> identityCubeOfEdge(std::int64_t edge)
{
    std::vector<float> lattice;
    const auto last = static_cast<float>(edge - 1);
    for (std::int64_t b = 0; b < edge; ++b)
    {
        for (std::int64_t g = 0; g < edge; ++g)
        {
            for (std::int64_t r = 0; r < edge; ++r)
            {
                lattice.insert(lattice.end(),
                               {static_cast<float>(r) / last, static_cast<float>(g) / last,
                                static_cast<float>(b) / last});
            }
        }
    }
    const foundation::Dictionary dictionary = {
        {std::string(kCubeEdgeSizeKey), foundation::Value(edge)},
        {std::string(kCubeFileNameKey), foundation::Value("/luts/identity.cube")},
        {std::string(kCubeFormatKey), foundation::Value("3D")},
        {std::string(kCubeDataKey), foundation::Value(foundation::makeSharedBytes(
                                        lattice.data(), lattice.size() * sizeof(float)))}};
    return ZRColourCube::initWithDictionary(&dictionary);
}

/// A host whose every service throws once `failing` is set, as one running out of memory may.
class FailingHost final : public fx::PROAPIAccessing
{
public:
    explicit FailingHost(host::ParameterStore& store) : m_store(store) {}
    [[nodiscard]] fx::FxHostAPI* apiForProtocol(fx::FxProtocol protocol) override
    {
        if (failing)
        {
            throw std::bad_alloc();
        }
        return m_store.apiForProtocol(protocol);
    }
    bool failing = false;

private:
    host::ParameterStore& m_store;
};

/// The host's input texture, except that binding it throws.
class ThrowingTexture final : public fx::FxTexture
{
public:
    explicit ThrowingTexture(fx::FxTexture& texture) : m_texture(texture) {}
    [[nodiscard]] fx::FxImageType imageType() const override { return fx::FxImageType::Texture; }
    [[nodiscard]] fx::FxImageInfo imageInfo() const override { return m_texture.imageInfo(); }
    void getTextureCoords(double* left, double* right, double* bottom, double* top) const override
    {
        m_texture.getTextureCoords(left, right, bottom, top);
    }
    void bind() override { throw std::runtime_error("the texture is gone"); }
    void disable() override { m_texture.disable(); }
    [[nodiscard]] std::uint32_t target() const override { return m_texture.target(); }

private:
    fx::FxTexture& m_texture;
};

class RenderPass : public FilterFixture
{
protected:
    void SetUp() override
    {
        FilterFixture::SetUp();
        foundation::Error error;
        renderer = host::FrameRenderer::create(&error);
        ASSERT_TRUE(renderer) << error.localizedDescription();
        input.reshape(4, 4, host::PixelType::UInt8);
        std::fill(input.data(), input.data() + input.rowBytes() * 4, std::byte{0x80});
    }
    void TearDown() override
    {
        glUseProgram(0);
        renderer.reset();
        FilterFixture::TearDown();
    }

    /// A first frame through the host's path: the output texture and framebuffer exist, are
    /// bound, and the output holds a known colour.
    void prepareTarget(HuecastFxPlug& filter)
    {
        foundation::Error error;
        ASSERT_TRUE(renderer->renderFrame(filter, input, &output, &error))
            << error.localizedDescription();
        glClearColor(0.25F, 0.5F, 0.75F, 1.0F);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    std::vector<std::byte> outputPixels()
    {
        renderer->readBack(&output);
        return {output.data(), output.data() + output.rowBytes() * output.height()};
    }
    bool renderOutput(HuecastFxPlug& filter)
    {
        return filter.renderOutput(renderer->outputTexture(), renderer->inputTexture(), {});
    }

    std::unique_ptr<host::FrameRenderer> renderer;
    host::Frame input;
    host::Frame output;
};

TEST_F(RenderPass, RestoresTheTextureStateAndLeavesNoProgramCurrent)
{
    // The program built as stored, and the variant for tetrahedral at a partial amount.
    for (const bool controlled : {false, true})
    {
        SCOPED_TRACE(controlled);
        host::ParameterStore parameters;
        auto filter = makeFilter(parameters);
        host::ParameterStore otherParameters;
        auto other = makeFilter(otherParameters);
        ASSERT_TRUE(filter && other);
        if (controlled)
        {
            ASSERT_TRUE(parameters.setIntValue(kTetrahedralIndex, 4, 0.0)) << "Interpolation";
            ASSERT_TRUE(parameters.setFloatValue(0.5, 5, 0.0));
        }
        prepareTarget(*filter);

        GLuint textures[2] = {};
        glGenTextures(2, textures);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_RECTANGLE, textures[0]);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_3D, textures[1]);
        glEnable(GL_TEXTURE_3D);
        glActiveTexture(GL_TEXTURE2);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glUseProgram(other->programObject());

        EXPECT_TRUE(renderOutput(*filter));

        EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), 0) << "its own program installed, then 0";
        EXPECT_EQ(integerState(GL_ACTIVE_TEXTURE), GL_TEXTURE2);
        EXPECT_EQ(textureEnvMode(), GL_REPLACE);
        glActiveTexture(GL_TEXTURE0);
        EXPECT_EQ(integerState(GL_TEXTURE_BINDING_RECTANGLE), static_cast<GLint>(textures[0]));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_RECTANGLE));
        EXPECT_EQ(textureEnvMode(), GL_MODULATE) << "unit 0's mode was never set";
        glActiveTexture(GL_TEXTURE1);
        EXPECT_EQ(integerState(GL_TEXTURE_BINDING_3D), static_cast<GLint>(textures[1]));
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_3D));
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glDisable(GL_TEXTURE_3D);
        glDeleteTextures(2, textures);
    }
}

TEST_F(RenderPass, WithoutAProgramStillDrawsAndLeavesTheCurrentProgram)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    host::ParameterStore otherParameters;
    auto other = makeFilter(otherParameters);
    ASSERT_TRUE(filter && other);
    prepareTarget(*filter);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(filter->loadVertexShader("not a shader", nullptr));
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(filter->programObject(), 0U);

    // With no program current the fixed-function pipeline draws the input as it is.
    EXPECT_TRUE(renderOutput(*filter));
    EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), 0);
    std::vector<std::byte> grey(output.rowBytes() * output.height(), std::byte{0x80});
    EXPECT_EQ(outputPixels(), grey);

    glUseProgram(other->programObject());
    EXPECT_TRUE(renderOutput(*filter));
    EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), static_cast<GLint>(other->programObject()));
}

TEST_F(RenderPass, UniformsAddressTheCentresOfTheFirstAndLastTexels)
{
    struct Case
    {
        std::int64_t edge;
        float multiplier;
        float offset;
    };
    const float n33 = 33.0F;
    const Case cases[] = {{16, 0.9375F, 0.03125F},
                          {2, 0.5F, 0.25F},
                          {64, 0.984375F, 0.0078125F},
                          {33, (n33 - 1.0F) / n33, 1.0F / (n33 + n33)}};
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    ASSERT_TRUE(filter);
    prepareTarget(*filter);
    const GLuint program = filter->programObject();
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.edge);
        if (test.edge != 16) // 16 is the identity cube "CubeData" starts with
        {
            parameters.setCustomParameterValue(valueOf(zeroCube(test.edge)), kCubeData);
        }
        ASSERT_TRUE(renderOutput(*filter));
        GLfloat value = 0;
        glGetUniformfv(program, glGetUniformLocation(program, "multiplier"), &value);
        EXPECT_EQ(value, test.multiplier);
        glGetUniformfv(program, glGetUniformLocation(program, "offset"), &value);
        EXPECT_EQ(value, test.offset);
        GLint unit = -1;
        glGetUniformiv(program, glGetUniformLocation(program, "inputTexture"), &unit);
        EXPECT_EQ(unit, 0);
        glGetUniformiv(program, glGetUniformLocation(program, "lookup"), &unit);
        EXPECT_EQ(unit, 1);
        // Component 0 and 1 land on the first and last texel centres.
        EXPECT_FLOAT_EQ(0.0F * test.multiplier + test.offset, 0.5F / static_cast<float>(test.edge));
        EXPECT_FLOAT_EQ(1.0F * test.multiplier + test.offset,
                        (2.0F * static_cast<float>(test.edge) - 1.0F) /
                            (2.0F * static_cast<float>(test.edge)));
    }
}

TEST_F(RenderPass, DomainUniformsMapTheDomainOntoTheLatticeAndIgnoreWhatCantBeOne)
{
    const auto triple = [](foundation::Value a, foundation::Value b, foundation::Value c) {
        return foundation::Value(foundation::Array{std::move(a), std::move(b), std::move(c)});
    };
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    ASSERT_TRUE(filter);
    prepareTarget(*filter);
    const GLuint mapping = filter->programFor({.mappedDomain = true}).program;
    ASSERT_NE(mapping, 0U);
    const auto uniform = [&](const char* name)
    {
        std::array<GLfloat, 3> value{};
        glGetUniformfv(mapping, glGetUniformLocation(mapping, name), value.data());
        return value;
    };
    using Floats = std::array<GLfloat, 3>;

    // No domain, or 0..1: the program as stored, which has no mapping to set.
    for (const char* name : {"domainMin", "domainScale"})
    {
        EXPECT_EQ(glGetUniformLocation(filter->programObject(), name), -1) << name;
        EXPECT_GE(glGetUniformLocation(mapping, name), 0) << name;
    }

    parameters.setCustomParameterValue(
        valueOf(zeroCube(2, {{std::string(kDomainMinKey), triple(-0.25, 0.0, 0.5)},
                             {std::string(kDomainMaxKey), triple(1.75, 4.0, 1.0)}})),
        kCubeData);
    ASSERT_TRUE(renderOutput(*filter));
    EXPECT_EQ(uniform("domainMin"), (Floats{-0.25F, 0.0F, 0.5F}));
    EXPECT_EQ(uniform("domainScale"), (Floats{0.5F, 0.25F, 2.0F}));

    // A damaged project: an empty range, a range beyond floats; such a channel grades as 0..1.
    parameters.setCustomParameterValue(
        valueOf(zeroCube(2, {{std::string(kDomainMinKey), triple(0.5, 0.0, -1e300)},
                             {std::string(kDomainMaxKey), triple(0.5, 2.0, 1e300)}})),
        kCubeData);
    ASSERT_TRUE(renderOutput(*filter));
    EXPECT_EQ(uniform("domainMin"), (Floats{0.0F, 0.0F, 0.0F}));
    EXPECT_EQ(uniform("domainScale"), (Floats{1.0F, 0.5F, 1.0F}));
}

TEST_F(RenderPass, RefusesFramesItCannotDrawWithoutTouchingGL)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    host::ParameterStore bareParameters;
    auto bareFilter = makeFilter(bareParameters);
    ASSERT_TRUE(filter && bareFilter);
    bareParameters.leaveOut(fx::FxProtocol::ParameterRetrieval);
    prepareTarget(*filter);
    const std::vector<std::byte> before = outputPixels();
    glActiveTexture(GL_TEXTURE3);
    glUseProgram(filter->programObject());

    BitmapImage bitmap;
    EXPECT_FALSE(filter->renderOutput(renderer->outputTexture(), bitmap, {}))
        << "an input in memory";
    EXPECT_FALSE(bareFilter->renderOutput(renderer->outputTexture(), renderer->inputTexture(), {}))
        << "a host without the retrieval service";

    EXPECT_EQ(integerState(GL_ACTIVE_TEXTURE), GL_TEXTURE3);
    EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), static_cast<GLint>(filter->programObject()));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(outputPixels(), before) << "nothing drawn";
}

TEST_F(RenderPass, AFailureInsideAnyHostCallIsThatCallsFailureWithGLStateBalanced)
{
    host::ParameterStore parameters;
    FailingHost host(parameters);
    auto filter = HuecastFxPlug::initWithAPIManager(host);
    ASSERT_TRUE(filter && filter->addParameters());
    prepareTarget(*filter);
    const std::shared_ptr<kit::NSView> control = filter->createViewForParm(kLoadLUT);
    ASSERT_TRUE(control);
    auto* browse = dynamic_cast<kit::NSButton*>(control->subviews().front().get());
    ASSERT_NE(browse, nullptr);
    const GLint depth = integerState(GL_ATTRIB_STACK_DEPTH);
    glActiveTexture(GL_TEXTURE2);

    // Thrown with the attributes pushed and the cube not yet bound.
    ThrowingTexture lostInput(renderer->inputTexture());
    EXPECT_FALSE(filter->renderOutput(renderer->outputTexture(), lostInput, {}));

    host.failing = true;
    EXPECT_FALSE(filter->renderOutput(renderer->outputTexture(), renderer->inputTexture(), {}));
    EXPECT_FALSE(filter->parameterChanged(kLUT));
    bool hardware = false;
    bool software = false;
    EXPECT_FALSE(
        filter->frameSetup({}, renderer->inputTexture().imageInfo(), &hardware, &software));
    EXPECT_EQ(filter->createViewForParm(kLoadLUT), nullptr);
    EXPECT_FALSE(filter->addParameters());
    presenter->answers = {home.write("a.cube", smallCube())};
    EXPECT_NO_THROW(browse->performClick());

    EXPECT_EQ(integerState(GL_ATTRIB_STACK_DEPTH), depth);
    EXPECT_EQ(integerState(GL_ACTIVE_TEXTURE), GL_TEXTURE2);
    EXPECT_EQ(integerState(GL_CURRENT_PROGRAM), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glActiveTexture(GL_TEXTURE0);
}

TEST_F(RenderPass, TheLatticeUploadSetsTheUnpackStateItNeedsAndKeepsTheHosts)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    ASSERT_TRUE(filter);
    prepareTarget(*filter);
    // An edge of 3 makes 36-byte rows: alignment 8 would pad them and read past the lattice,
    // and a skipped pixel would shift every entry.
    parameters.setCustomParameterValue(valueOf(identityCubeOfEdge(3)), kCubeData);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 1);
    ASSERT_TRUE(renderOutput(*filter));
    EXPECT_EQ(integerState(GL_UNPACK_ALIGNMENT), 8);
    EXPECT_EQ(integerState(GL_UNPACK_SKIP_PIXELS), 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    for (const std::byte value : outputPixels())
    {
        ASSERT_NEAR(std::to_integer<int>(value), 0x80, 1) << "the identity keeps every channel";
    }
}

} // namespace
} // namespace huecast::test
