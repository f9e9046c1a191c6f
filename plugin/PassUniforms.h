// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include "platform/gl/GL.h"

namespace huecast
{

/// The render pass's uniform locations in one linked program, looked up once after it links
/// rather than on every frame. A uniform the program lacks (one only the variants have) is at
/// -1, which GL ignores.
struct PassUniforms
{
    GLint inputTexture = -1;
    GLint lookup = -1;
    GLint multiplier = -1;
    GLint offset = -1;
    GLint domainMin = -1;
    GLint domainScale = -1;
    GLint latticeEdge = -1;
    GLint amount = -1;

    /// The locations in `program`, a linked program of the current GL context.
    [[nodiscard]] static PassUniforms of(GLuint program);
};

/// What a frame asks of the pass beyond the program as stored; each choice is its own program.
struct PassVariant
{
    bool tetrahedral = false;
    bool partialAmount = false;
    bool mappedDomain = false; ///< the cube's domain is not 0..1

    /// 0 for the program as stored, else 1 + the variant's slot.
    [[nodiscard]] unsigned number() const
    {
        return (tetrahedral ? 1U : 0U) | (partialAmount ? 2U : 0U) | (mappedDomain ? 4U : 0U);
    }
};

/// One linked program of the pass, with its uniforms; program 0 is none.
struct PassProgram
{
    GLuint program = 0;
    PassUniforms uniforms;
};

} // namespace huecast
