// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cube/ZRColourCube.h"
#include "platform/gl/EglContext.h"
#include "platform/gl/GL.h"

namespace huecast
{
namespace
{

using foundation::Dictionary;
using foundation::Value;

GLint boundTexture3D()
{
    GLint name = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_3D, &name);
    return name;
}

GLint parameter(GLenum name)
{
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_3D, name, &value);
    return value;
}

GLint levelParameter(GLint level, GLenum name)
{
    GLint value = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_3D, level, name, &value);
    return value;
}

// The bound 3D texture's level 0 as RGB floats, for an edge the caller expects.
std::vector<float> readBack(int edge)
{
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_WIDTH), edge);
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_HEIGHT), edge);
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_DEPTH), edge);
    std::vector<float> texels(static_cast<std::size_t>(edge * edge * edge * 3), -999.0F);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RGB, GL_FLOAT, texels.data());
    return texels;
}

std::vector<float> identityLattice(int edge)
{
    std::vector<float> lattice;
    const float last = edge > 1 ? static_cast<float>(edge - 1) : 1.0F;
    for (int b = 0; b < edge; ++b)
    {
        for (int g = 0; g < edge; ++g)
        {
            for (int r = 0; r < edge; ++r)
            {
                lattice.insert(lattice.end(),
                               {static_cast<float>(r) / last, static_cast<float>(g) / last,
                                static_cast<float>(b) / last});
            }
        }
    }
    return lattice;
}

Value bytesOf(const std::vector<float>& floats)
{
    return {foundation::makeSharedBytes(floats.data(), floats.size() * sizeof(float))};
}

class ZRColourCubeGLTest : public testing::Test
{
protected:
    void SetUp() override
    {
        foundation::Error error;
        m_context = gl::EglContext::createHighest(gl::EglPlatform::Automatic, &error);
        ASSERT_NE(m_context, nullptr) << error.localizedDescription();
    }

    std::unique_ptr<gl::EglContext> m_context;
};

TEST_F(ZRColourCubeGLTest, BindUploadsExactlyTheLatticeFloatsAndDisableUnbinds)
{
    constexpr int kEdge = 3;
    // Steps of 1/8 from -2.5 up: exact in any float format, and far outside 0..1 both ways.
    std::vector<float> lattice(std::size_t{kEdge} * kEdge * kEdge * 3);
    for (std::size_t i = 0; i < lattice.size(); ++i)
    {
        lattice[i] = (static_cast<float>(i) - 20.0F) * 0.125F;
    }
    const Dictionary dictionary = {{std::string(kCubeEdgeSizeKey), Value(kEdge)},
                                   {std::string(kCubeFileNameKey), Value("/luts/Wide.cube")},
                                   {std::string(kCubeFormatKey), Value(kIridasCubeFormat)},
                                   {std::string(kCubeDataKey), bytesOf(lattice)}};
    const auto cube = ZRColourCube::initWithDictionary(&dictionary);
    ASSERT_NE(cube, nullptr);

    glActiveTexture(GL_TEXTURE1);
    cube->bind();
    const GLint texture = boundTexture3D();
    ASSERT_GT(texture, 0);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_CLAMP);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_R), GL_CLAMP);
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(levelParameter(0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA32F) << "full floats";
    EXPECT_EQ(levelParameter(1, GL_TEXTURE_WIDTH), 0) << "no mipmap levels";
    EXPECT_EQ(readBack(kEdge), lattice);

    // Bound in the active unit only.
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(boundTexture3D(), 0);
    glActiveTexture(GL_TEXTURE1);

    cube->disable();
    EXPECT_EQ(boundTexture3D(), 0);
    EXPECT_FALSE(glIsTexture(static_cast<GLuint>(texture)));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

struct UnusableCase
{
    const char* name;
    std::optional<std::int64_t> edge; // none: no edge entry
    std::optional<int> latticeFloats; // none: no lattice entry
    bool archiveHoldsCube;
    int uploadedEdge;
};

class UnusableLatticeGLTest : public ZRColourCubeGLTest,
                              public testing::WithParamInterface<UnusableCase>
{
};

// A project may hand back a cube whose lattice does not match its edge. Its lattice holds 9s,
// so the read-back shows that bind uploaded an identity lattice instead of the buffer, and
// AddressSanitizer sees any read past the buffer.
TEST_P(UnusableLatticeGLTest, UploadsAnIdentityLatticeThroughTheArchive)
{
    const UnusableCase& c = GetParam();
    foundation::KeyedArchiver archiver;
    if (c.archiveHoldsCube)
    {
        Dictionary dictionary = {{std::string(kCubeFileNameKey), Value("/luts/Short.cube")},
                                 {std::string(kCubeFormatKey), Value(kIridasCubeFormat)}};
        if (c.edge)
        {
            dictionary.emplace(kCubeEdgeSizeKey, Value(*c.edge));
        }
        if (c.latticeFloats)
        {
            dictionary.emplace(
                kCubeDataKey,
                bytesOf(std::vector<float>(static_cast<std::size_t>(*c.latticeFloats), 9.0F)));
        }
        archiver.encodeObject(Value(dictionary), kColourCubeKey);
    }
    foundation::Error error;
    const auto coder = foundation::KeyedUnarchiver::create(archiver.encodedData(), &error);
    ASSERT_NE(coder, nullptr) << error.localizedDescription();
    const auto cube = ZRColourCube::initWithCoder(*coder);

    cube->bind();
    EXPECT_EQ(readBack(c.uploadedEdge), identityLattice(c.uploadedEdge));
    cube->disable();
    EXPECT_EQ(boundTexture3D(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, UnusableLatticeGLTest,
    testing::Values(UnusableCase{"OneEntryShort", 4, 4 * 4 * 4 * 3 - 3, true, 4},
                    UnusableCase{"EmptyLattice", 2, 0, true, 2},
                    UnusableCase{"NoLattice", 5, std::nullopt, true, 5},
                    UnusableCase{"NoEdge", std::nullopt, 16 * 16 * 16 * 3, true, 16},
                    UnusableCase{"EdgeZero", 0, 3, true, 16},
                    UnusableCase{"EdgeAboveMaximum", 257, 3, true, 16},
                    UnusableCase{"EdgeWrappingTo32Bits", (std::int64_t{1} << 32) + 2, 24, true, 16},
                    UnusableCase{"EdgeOneWithoutEntries", 1, 0, true, 1},
                    UnusableCase{"NoDictionary", std::nullopt, std::nullopt, false, 16}),
    [](const testing::TestParamInfo<UnusableCase>& param)
    { return std::string(param.param.name); });

} // namespace
} // namespace huecast
