// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

namespace huecast
{

/// The vertex and fragment stages' GLSL texts, scrambled with kSourceKey (SourceScrambling.h)
/// and NUL-terminated; no byte before the terminator is zero, and every array is valid UTF-8.
/// Generated at build time from shaders/vsh.glsl and shaders/fsh.glsl, so the plain text is in
/// no binary. Hand them to GLSL_LoadVertexShader and GLSL_LoadFragmentShader as they are.
extern const char vsh[];
extern const char fsh[];

} // namespace huecast
