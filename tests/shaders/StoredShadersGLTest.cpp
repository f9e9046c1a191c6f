// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cube/ZRColourCube.h"
#include "platform/gl/EglContext.h"
#include "shaders/ShaderLoader.h"
#include "shaders/StoredShaders.h"

namespace huecast
{
namespace
{

constexpr int kEdge = 3;
constexpr int kWidth = 4;
// Linear filtering of a float texture on the GPU against the same interpolation in double.
constexpr float kTolerance = 2e-4F;

using Rgb = std::array<float, 3>;

// Lattice entries reaching below 0 and above 1, red fastest.
std::vector<float> makeLattice()
{
    std::vector<float> lattice(std::size_t{kEdge} * kEdge * kEdge * 3);
    for (std::size_t i = 0; i < lattice.size(); ++i)
    {
        lattice[i] = static_cast<float>(std::sin(static_cast<double>(i) * 1.7) * 1.2 + 0.3);
    }
    return lattice;
}

// What the fragment stage must compute: clamp the colour to 0..1, then interpolate the lattice
// trilinearly at colour × (N − 1).
Rgb reference(const std::vector<float>& lattice, const Rgb& colour)
{
    std::array<int, 3> base{};
    std::array<double, 3> fraction{};
    for (std::size_t c = 0; c < 3; ++c)
    {
        const double position = std::clamp(static_cast<double>(colour[c]), 0.0, 1.0) * (kEdge - 1);
        base[c] = std::min(static_cast<int>(position), kEdge - 2);
        fraction[c] = position - base[c];
    }
    Rgb out{};
    for (int corner = 0; corner < 8; ++corner)
    {
        double weight = 1.0;
        std::size_t index = 0;
        for (std::size_t c = 0, stride = 1; c < 3; ++c, stride *= kEdge)
        {
            const int step = (corner >> c) & 1;
            weight *= step != 0 ? fraction[c] : 1.0 - fraction[c];
            index += static_cast<std::size_t>(base[c] + step) * stride;
        }
        for (std::size_t c = 0; c < 3; ++c)
        {
            out[c] += static_cast<float>(weight * lattice[index * 3 + c]);
        }
    }
    return out;
}

std::shared_ptr<ZRColourCube> makeCube(const std::vector<float>& lattice)
{
    foundation::Dictionary dictionary;
    dictionary.emplace(kCubeEdgeSizeKey, foundation::Value(kEdge));
    dictionary.emplace(kCubeFileNameKey, foundation::Value("/luts/Waves.cube"));
    dictionary.emplace(kCubeFormatKey, foundation::Value(kIridasCubeFormat));
    dictionary.emplace(kCubeDataKey, foundation::Value(foundation::makeSharedBytes(
                                         lattice.data(), lattice.size() * sizeof(float))));
    return ZRColourCube::initWithDictionary(&dictionary);
}

GLuint makeTexture(GLenum target, const float* pixels)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(target, texture);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(target, 0, GL_RGBA32F, kWidth, 1, 0, GL_RGBA, GL_FLOAT, pixels);
    return texture;
}

// Draws one quad over a kWidth × 1 float target as the render pass will: input on unit 0 as a
// rectangle texture, the cube's lattice on unit 1, fixed-function position and coordinate.
std::vector<float> grade(GLuint program, ZRColourCube& cube, const std::vector<float>& input)
{
    const GLuint target = makeTexture(GL_TEXTURE_2D, nullptr);
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GL_FRAMEBUFFER_COMPLETE);
    glViewport(0, 0, kWidth, 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glActiveTexture(GL_TEXTURE0);
    const GLuint source = makeTexture(GL_TEXTURE_RECTANGLE, input.data());
    glActiveTexture(GL_TEXTURE1);
    cube.bind();

    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "inputTexture"), 0);
    glUniform1i(glGetUniformLocation(program, "lookup"), 1);
    glUniform1f(glGetUniformLocation(program, "multiplier"), (kEdge - 1.0F) / kEdge);
    glUniform1f(glGetUniformLocation(program, "offset"), 1.0F / (2.0F * kEdge));
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(kWidth, 0);
    glVertex2f(kWidth, 0);
    glTexCoord2f(kWidth, 1);
    glVertex2f(kWidth, 1);
    glTexCoord2f(0, 1);
    glVertex2f(0, 1);
    glEnd();

    std::vector<float> output(input.size());
    glReadPixels(0, 0, kWidth, 1, GL_RGBA, GL_FLOAT, output.data());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    glUseProgram(0);
    cube.disable();
    glDeleteTextures(1, &source);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &target);
    return output;
}

// Parameter: true for the highest compatibility context, false for a GL 2.1 request.
class StoredShadersGLTest : public testing::TestWithParam<bool>
{
};

TEST_P(StoredShadersGLTest, BuildOneProgramThatGradesLikeTheCpuReference)
{
    foundation::Error error;
    const auto context = GetParam()
                             ? gl::EglContext::createHighest(gl::EglPlatform::Automatic, &error)
                             : gl::EglContext::create(2, 1, gl::EglPlatform::Automatic, &error);
    ASSERT_NE(context, nullptr) << error.localizedDescription();

    GLuint program = 0;
    ASSERT_TRUE(GLSL_Init(&program));
    ASSERT_TRUE(GLSL_LoadVertexShader(&program, vsh));
    ASSERT_TRUE(GLSL_LoadFragmentShader(&program, fsh));
    ASSERT_TRUE(GLSL_LinkShaderProgram(&program));
    // The domain's uniforms come with the variant that maps a domain other than 0..1.
    for (const char* uniform : {"inputTexture", "lookup", "multiplier", "offset"})
    {
        EXPECT_GE(glGetUniformLocation(program, uniform), 0) << uniform;
    }

    // Inside the unit cube, outside it (clamped), and alpha of every kind.
    const std::vector<float> input = {0.2F, 0.5F, 0.8F, 1.0F, -0.5F, 1.5F, 0.25F, 0.5F,
                                      1.0F, 1.0F, 1.0F, 0.0F, 0.0F,  0.1F, 0.9F,  0.75F};
    const std::vector<float> lattice = makeLattice();
    const auto cube = makeCube(lattice);
    ASSERT_NE(cube, nullptr);
    const std::vector<float> output = grade(program, *cube, input);
    glDeleteProgram(program);

    for (std::size_t pixel = 0; pixel < kWidth; ++pixel)
    {
        const Rgb expected =
            reference(lattice, {input[pixel * 4], input[pixel * 4 + 1], input[pixel * 4 + 2]});
        for (std::size_t c = 0; c < 3; ++c)
        {
            EXPECT_NEAR(output[pixel * 4 + c], expected[c], kTolerance)
                << "pixel " << pixel << " channel " << c;
        }
        EXPECT_EQ(output[pixel * 4 + 3], input[pixel * 4 + 3]) << "alpha of pixel " << pixel;
    }
}

INSTANTIATE_TEST_SUITE_P(Contexts, StoredShadersGLTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param)
                         { return std::string(param.param ? "Highest" : "GL21"); });

} // namespace
} // namespace huecast
