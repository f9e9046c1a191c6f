// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The cube's 3D texture: the only part of the cube that talks to GL.
#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "cube/ZRColourCube.h"
#include "platform/gl/GL.h"

namespace huecast
{
namespace
{

// The texture of each cube's latest bind, kept per thread rather than in the cube: cubes are
// shared (the cache, the identity cube) by filter instances that render at the same time on
// other threads, each in its own context, where the same GL name means another texture. A
// render's bind and disable both run on its thread, with its context current.
thread_local std::vector<std::pair<const ZRColourCube*, GLuint>> t_boundTextures;

constexpr std::size_t kEntryBytes = 3 * sizeof(float);

// GL_RGB would keep 8 bits a channel and clamp to 0..1, losing every value outside that range.
bool hasFloatTextures()
{
    return epoxy_gl_version() >= 30 || epoxy_has_gl_extension("GL_ARB_texture_float");
}

std::vector<float> identityLattice(GLsizei edge)
{
    const auto points = static_cast<std::size_t>(edge);
    // An edge of 1 is the single point 0.
    const float last = edge > 1 ? static_cast<float>(edge - 1) : 1.0F;
    std::vector<float> lattice;
    lattice.reserve(points * points * points * 3);
    for (std::size_t b = 0; b < points; ++b)
    {
        for (std::size_t g = 0; g < points; ++g)
        {
            for (std::size_t r = 0; r < points; ++r)
            {
                lattice.insert(lattice.end(),
                               {static_cast<float>(r) / last, static_cast<float>(g) / last,
                                static_cast<float>(b) / last});
            }
        }
    }
    return lattice;
}

// The pixel-unpack state the lattice upload relies on: tightly packed rows and images read from
// client memory. The host's values (any alignment, skips, row length, a bound unpack buffer)
// are put back when the upload is done, also when it ends early.
class TightUnpacking
{
public:
    TightUnpacking()
    {
        for (std::size_t i = 0; i < kStates.size(); ++i)
        {
            glGetIntegerv(kStates[i].name, &m_saved[i]);
            glPixelStorei(kStates[i].name, kStates[i].tight);
        }
        if (m_hasBuffers)
        {
            glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &m_buffer);
            glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        }
    }
    ~TightUnpacking()
    {
        for (std::size_t i = 0; i < kStates.size(); ++i)
        {
            glPixelStorei(kStates[i].name, m_saved[i]);
        }
        if (m_hasBuffers)
        {
            glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(m_buffer));
        }
    }
    TightUnpacking(const TightUnpacking&) = delete;
    TightUnpacking& operator=(const TightUnpacking&) = delete;

private:
    struct State
    {
        GLenum name;
        GLint tight;
    };
    static constexpr std::array<State, 8> kStates = {{
        {GL_UNPACK_ALIGNMENT, 4},
        {GL_UNPACK_ROW_LENGTH, 0},
        {GL_UNPACK_IMAGE_HEIGHT, 0},
        {GL_UNPACK_SKIP_PIXELS, 0},
        {GL_UNPACK_SKIP_ROWS, 0},
        {GL_UNPACK_SKIP_IMAGES, 0},
        {GL_UNPACK_SWAP_BYTES, GL_FALSE},
        {GL_UNPACK_LSB_FIRST, GL_FALSE},
    }};
    std::array<GLint, kStates.size()> m_saved{};
    // Pixel buffer objects came with GL 2.1.
    bool m_hasBuffers =
        epoxy_gl_version() >= 21 || epoxy_has_gl_extension("GL_ARB_pixel_buffer_object");
    GLint m_buffer = 0;
};

} // namespace

void ZRColourCube::bind()
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_3D, texture);

    // The dictionary never changes once made, so the edge and the lattice belong together.
    const DictionaryPtr dictionary = colourCube();
    foundation::SharedBytes lattice;
    if (dictionary)
    {
        if (const auto found = dictionary->find(kCubeDataKey); found != dictionary->end())
        {
            lattice = found->second.bytes();
        }
    }

    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    // A cube restored from an archive may carry any edge and any buffer: anything that does
    // not hold N³ entries uploads an identity lattice, so GL never reads past the buffer.
    const auto edge = static_cast<GLsizei>(textureEdge());
    const auto points = static_cast<std::size_t>(edge);
    std::vector<float> identity;
    const void* texels = nullptr;
    if (edge == cubeSize() && lattice && lattice->size() >= points * points * points * kEntryBytes)
    {
        texels = lattice->data();
    }
    else
    {
        identity = identityLattice(edge);
        texels = identity.data();
    }
    // Rows are 12·N bytes, a multiple of the unpack alignment of 4 set here. The texture keeps
    // four channels although the lattice has three: drivers sample 16-byte float texels on
    // their fast path, while 12-byte ones can take a generic fetch that, on llvmpipe, made the
    // whole draw over twice as slow. The floats are the same either way.
    const TightUnpacking unpacking;
    glTexImage3D(GL_TEXTURE_3D, 0, hasFloatTextures() ? GL_RGBA32F : GL_RGB, edge, edge, edge, 0,
                 GL_RGB, GL_FLOAT, texels);
    glBindTexture(GL_TEXTURE_3D, texture);
    t_boundTextures.emplace_back(this, texture);
}

void ZRColourCube::disable()
{
    // The latest bind of this cube on this thread; a disable without a bind deletes nothing.
    const auto found = std::find_if(t_boundTextures.rbegin(), t_boundTextures.rend(),
                                    [this](const auto& bound) { return bound.first == this; });
    if (found != t_boundTextures.rend())
    {
        glDeleteTextures(1, &found->second);
        t_boundTextures.erase(std::next(found).base());
    }
    glBindTexture(GL_TEXTURE_3D, 0);
}

} // namespace huecast
