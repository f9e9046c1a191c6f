// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "plugin/PassUniforms.h"

namespace huecast
{

PassUniforms PassUniforms::of(GLuint program)
{
    PassUniforms uniforms;
    uniforms.inputTexture = glGetUniformLocation(program, "inputTexture");
    uniforms.lookup = glGetUniformLocation(program, "lookup");
    uniforms.multiplier = glGetUniformLocation(program, "multiplier");
    uniforms.offset = glGetUniformLocation(program, "offset");
    uniforms.domainMin = glGetUniformLocation(program, "domainMin");
    uniforms.domainScale = glGetUniformLocation(program, "domainScale");
    uniforms.latticeEdge = glGetUniformLocation(program, "latticeEdge");
    uniforms.amount = glGetUniformLocation(program, "amount");
    return uniforms;
}

} // namespace huecast
