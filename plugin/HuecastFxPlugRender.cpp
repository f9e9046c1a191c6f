// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The per-frame GPU pass: the input through the cube's lattice into the host's render target.
#include <array>
#include <cmath>
#include <optional>
#include <string_view>

#include "cube/CubeKeys.h"
#include "plugin/HostCallGuard.h"
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

/// How the shader maps each input channel onto the lattice's 0..1: (c − min) × scale.
struct DomainMapping
{
    std::array<GLfloat, 3> min{0.0F, 0.0F, 0.0F};
    std::array<GLfloat, 3> scale{1.0F, 1.0F, 1.0F};

    /// Whether the mapping leaves every colour as it is: (c − 0) × 1 is c for every float, NaN
    /// included, up to the sign of a zero that the clamp to 0..1 drops; so the program as
    /// stored, which leaves the mapping out, draws the very same.
    [[nodiscard]] bool isIdentity() const
    {
        return min == std::array<GLfloat, 3>{0.0F, 0.0F, 0.0F} &&
               scale == std::array<GLfloat, 3>{1.0F, 1.0F, 1.0F};
    }
};

/// The three numbers of a domain entry, or nothing when it isn't three numbers.
std::optional<std::array<double, 3>> domainBound(const foundation::Dictionary& cube,
                                                 std::string_view key)
{
    const auto found = cube.find(key);
    const foundation::Array* values = found != cube.end() ? found->second.array() : nullptr;
    if (values == nullptr || values->size() != 3)
    {
        return std::nullopt;
    }
    std::array<double, 3> bound{};
    for (std::size_t i = 0; i < 3; ++i)
    {
        const std::optional<double> value = (*values)[i].doubleValue();
        if (!value)
        {
            return std::nullopt;
        }
        bound[i] = *value;
    }
    return bound;
}

/// The cube's DOMAIN_MIN..DOMAIN_MAX as the shader applies it. A cube without a domain maps as
/// 0..1 (scale 1, min 0: the colour passes unchanged, bit for bit), and so does a channel whose
/// range is empty or doesn't fit in floats, as a damaged project could hold.
DomainMapping domainOf(const ZRColourCube& cube)
{
    DomainMapping mapping;
    const auto dictionary = cube.colourCube();
    if (!dictionary)
    {
        return mapping;
    }
    const auto min = domainBound(*dictionary, kDomainMinKey);
    const auto max = domainBound(*dictionary, kDomainMaxKey);
    for (std::size_t i = 0; i < 3; ++i)
    {
        const double low = min ? (*min)[i] : 0.0;
        const double high = max ? (*max)[i] : 1.0;
        const auto lowAsFloat = static_cast<float>(low);
        const auto scale = static_cast<float>(1.0 / (high - low));
        if (std::isfinite(lowAsFloat) && std::isfinite(scale) && scale != 0.0F)
        {
            mapping.min[i] = lowAsFloat;
            mapping.scale[i] = scale;
        }
    }
    return mapping;
}

/// The grade controls as the host holds them for the frame's time.
struct GradeControls
{
    bool tetrahedral = false;
    GLfloat amount = 1.0F;
};

/// What "Interpolation" and "Amount" hold at the time. A host without them (one that restored
/// only the first three parameters) or a value out of range gives the defaults, which render
/// as the lattice alone did before the controls existed.
GradeControls controlsAt(fx::FxParameterRetrievalAPI& retrieval, double time)
{
    GradeControls controls;
    std::int32_t interpolation = kTrilinearIndex;
    if (retrieval.getIntValue(&interpolation, parmIdOf(HuecastParameter::Interpolation), time))
    {
        controls.tetrahedral = interpolation == kTetrahedralIndex;
    }
    double amount = kAmountDefault;
    if (retrieval.getFloatValue(&amount, parmIdOf(HuecastParameter::Amount), time) &&
        amount >= kAmountMin && amount < kAmountMax)
    {
        controls.amount = static_cast<GLfloat>(amount);
    }
    return controls;
}

void setUniforms(const PassUniforms& uniforms, std::int64_t edge, const DomainMapping& domain,
                 const GradeControls& controls)
{
    glUniform1i(uniforms.inputTexture, 0);
    glUniform1i(uniforms.lookup, 1);
    // Single precision throughout: 0 then addresses the first texel's centre, 1 the last's.
    const auto n = static_cast<float>(edge);
    glUniform1f(uniforms.multiplier, (n + (-1.0F)) / n);
    glUniform1f(uniforms.offset, 1.0F / (n + n));
    // Only the variants have these; elsewhere the location is −1, which GL ignores.
    glUniform3fv(uniforms.domainMin, 1, domain.min.data());
    glUniform3fv(uniforms.domainScale, 1, domain.scale.data());
    glUniform1f(uniforms.latticeEdge, n);
    glUniform1f(uniforms.amount, controls.amount);
}

// Tetrahedral weights are taken in the fragment stage from four entries read at texel centres;
// the texture unit must hand each back alone. The texture is the cube's for this frame only.
void fetchLatticeEntriesAlone()
{
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

// Pushes the attribute groups the pass changes and pops them on every way out.
class SavedAttributes
{
public:
    SavedAttributes() { glPushAttrib(kSavedAttributeGroups); }
    ~SavedAttributes() { glPopAttrib(); }
    SavedAttributes(const SavedAttributes&) = delete;
    SavedAttributes& operator=(const SavedAttributes&) = delete;
};

// What the pass binds that the attribute stack doesn't hold: its own program (then 0 is left
// current), the input texture and the cube's texture. Released in the units the pass used, before
// the attributes are popped.
class PassBindings
{
public:
    PassBindings(fx::FxTexture& input, ZRColourCube& cube) : m_input(input), m_cube(cube) {}
    PassBindings(const PassBindings&) = delete;
    PassBindings& operator=(const PassBindings&) = delete;
    ~PassBindings()
    {
        if (m_programUsed)
        {
            glUseProgram(0);
        }
        if (m_cubeBound)
        {
            glActiveTexture(GL_TEXTURE1);
            m_cube.disable();
            glBindTexture(GL_TEXTURE_3D, 0);
        }
        if (m_inputBound)
        {
            glActiveTexture(GL_TEXTURE0);
            m_input.disable();
            glBindTexture(m_input.target(), 0);
        }
    }

    void bindInput()
    {
        m_inputBound = true;
        m_input.bind();
    }
    void bindCube()
    {
        m_cubeBound = true;
        m_cube.bind();
    }
    void useProgram(GLuint program)
    {
        m_programUsed = true;
        glUseProgram(program);
    }

private:
    fx::FxTexture& m_input;
    ZRColourCube& m_cube;
    bool m_inputBound = false;
    bool m_cubeBound = false;
    bool m_programUsed = false;
};

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
                                 const fx::FxRenderInfo& info)
{
    if (input.imageType() != fx::FxImageType::Texture ||
        output.imageType() != fx::FxImageType::Texture)
    {
        return false;
    }
    return guardHostCall("renderOutput", false,
                         [&]
                         {
                             return drawOutput(static_cast<fx::FxTexture&>(output),
                                               static_cast<fx::FxTexture&>(input), info.time);
                         });
}

bool HuecastFxPlug::drawOutput(fx::FxTexture& outputTexture, fx::FxTexture& inputTexture,
                               double time)
{
    auto* retrieval = fx::apiFor<fx::FxParameterRetrievalAPI>(m_apiManager);
    if (retrieval == nullptr)
    {
        return false;
    }
    fx::FxCustomValuePtr value;
    (void)retrieval->getCustomParameterValue(&value, parmIdOf(HuecastParameter::CubeData));
    // "CubeData" always holds a cube; should a host hand back none, the frame passes unchanged.
    std::shared_ptr<ZRColourCube> cube = cubeOf(value);
    if (!cube)
    {
        cube = ZRColourCube::identityCube();
    }
    const GradeControls controls = controlsAt(*retrieval, time);
    const DomainMapping domain = domainOf(*cube);
    // Made before any state changes: a variant that can't be built draws nothing.
    const PassProgram pass =
        programFor({controls.tetrahedral, controls.amount < 1.0F, !domain.isIdentity()});
    const GLuint program = pass.program;
    if (program == 0 && _program_object != 0)
    {
        return false;
    }

    // Declared in this order so that, also when something throws half-way, the program and
    // textures are released before the attribute groups are popped.
    const SavedAttributes saved;
    PassBindings bindings(inputTexture, *cube);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    const TextureRect inRect = coordsOf(inputTexture);
    const TextureRect outRect = coordsOf(outputTexture);

    glActiveTexture(GL_TEXTURE0);
    bindings.bindInput();
    // Unit 1 stays active from here on; the pop restores the unit of entry.
    glActiveTexture(GL_TEXTURE1);
    bindings.bindCube();
    if (controls.tetrahedral && program != 0)
    {
        fetchLatticeEntriesAlone();
    }
    // A cube restored from a damaged project may carry no usable edge; bind then uploads the
    // 16-point identity, and the uniforms must address that lattice.
    const std::int64_t edge = cube->textureEdge();

    if (program != 0)
    {
        // The current program is not part of the attribute stack: the bindings reset it.
        bindings.useProgram(program);
        setUniforms(pass.uniforms, edge, domain, controls);
    }
    drawQuad(inRect, outRect);
    return true;
}

} // namespace huecast
