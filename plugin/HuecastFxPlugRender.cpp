// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The per-frame GPU pass: the input through the cube's lattice into the host's render target.
#include "plugin/HuecastFxPlug.h"
#include "plugin/ZRColourCubeValue.h"

namespace huecast
{
namespace
{

// The attribute groups of bits 0 to 19, GL_CURRENT_BIT to GL_SCISSOR_BIT.
constexpr GLbitfield kSavedAttributeGroups = 0xFFFFF;

struct TextureRect
{
    double left = 0;
    double right = 0;
    double bottom = 0;
    double top = 0;
};

TextureRect coordsOf(const fx::FxTexture& texture)
{
    TextureRect rect;
    texture.getTextureCoords(&rect.left, &rect.right, &rect.bottom, &rect.top);
    return rect;
}

void setUniforms(GLuint program, std::int64_t edge)
{
    glUniform1i(glGetUniformLocation(program, "inputTexture"), 0);
    glUniform1i(glGetUniformLocation(program, "lookup"), 1);
    // Single precision throughout: 0 then addresses the first texel's centre, 1 the last's.
    const auto n = static_cast<float>(edge);
    glUniform1f(glGetUniformLocation(program, "multiplier"), (n + (-1.0F)) / n);
    glUniform1f(glGetUniformLocation(program, "offset"), 1.0F / (n + n));
}

void drawQuad(const TextureRect& in, const TextureRect& out)
{
    const auto f = [](double value) { return static_cast<GLfloat>(value); };
    glBegin(GL_QUADS);
    glTexCoord2f(f(in.left), f(in.bottom));
    glVertex2f(f(out.left), f(out.bottom));
    glTexCoord2f(f(in.right), f(in.bottom));
    glVertex2f(f(out.right), f(out.bottom));
    glTexCoord2f(f(in.right), f(in.top));
    glVertex2f(f(out.right), f(out.top));
    glTexCoord2f(f(in.left), f(in.top));
    glVertex2f(f(out.left), f(out.top));
    glEnd();
}

} // namespace

bool HuecastFxPlug::renderOutput(fx::FxImage& output, fx::FxImage& input,
                                 const fx::FxRenderInfo& /*info*/)
{
    auto* retrieval = fx::apiFor<fx::FxParameterRetrievalAPI>(m_apiManager);
    if (retrieval == nullptr)
    {
        return false;
    }
    fx::FxCustomValuePtr value;
    (void)retrieval->getCustomParameterValue(
        &value, static_cast<std::uint32_t>(HuecastParameter::CubeData));
    if (input.imageType() != fx::FxImageType::Texture ||
        output.imageType() != fx::FxImageType::Texture)
    {
        return false;
    }
    // "CubeData" always holds a cube; should a host hand back none, the frame passes unchanged.
    std::shared_ptr<ZRColourCube> cube = cubeOf(value);
    if (!cube)
    {
        cube = ZRColourCube::identityCube();
    }
    auto& inputTexture = static_cast<fx::FxTexture&>(input);
    auto& outputTexture = static_cast<fx::FxTexture&>(output);

    glPushAttrib(kSavedAttributeGroups);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    const TextureRect inRect = coordsOf(inputTexture);
    const TextureRect outRect = coordsOf(outputTexture);

    glActiveTexture(GL_TEXTURE0);
    inputTexture.bind();
    // Unit 1 stays active from here on; the pop below restores the unit of entry.
    glActiveTexture(GL_TEXTURE1);
    cube->bind();
    // A cube restored from a damaged project may carry no usable edge; bind then uploads the
    // 16-point identity, and the uniforms must address that lattice.
    const std::int64_t edge = cube->textureEdge();

    if (_program_object != 0)
    {
        glUseProgram(_program_object);
        setUniforms(_program_object, edge);
    }
    drawQuad(inRect, outRect);
    if (_program_object != 0)
    {
        // The current program is not part of the attribute stack.
        glUseProgram(0);
    }

    inputTexture.disable();
    glBindTexture(inputTexture.target(), 0);
    cube->disable();
    glBindTexture(GL_TEXTURE_3D, 0);
    glPopAttrib();
    return true;
}

} // namespace huecast
