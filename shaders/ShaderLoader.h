// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include "platform/gl/GL.h"

namespace huecast
{

// Building one GLSL program from the two stored, scrambled sources (StoredShaders.h), on a
// program slot the caller owns: a GL program name, 0 for none. Run GLSL_Init, then the stage
// loaders, then GLSL_LinkShaderProgram. Every function that touches GL needs a current context
// on the calling thread.

/// The current context's GL version, read from GL_VERSION as "%d.%d" (text after the minor
/// number is ignored). 0.0 when the string is missing or unreadable; then writes "Invalid GL
/// Version Format!\n" to stderr.
void getGLVersion(int* major, int* minor);

/// The current context's GLSL version: 1.0 for GL 1.x with GL_ARB_shading_language_100, the
/// GL_SHADING_LANGUAGE_VERSION string from GL 2.0 on, 0.0 when there is no GLSL. An unreadable
/// shading-language string gives 0.0 and writes "Invalid GLSL Version Format!\n" to stderr.
void getGLSLVersion(int* major, int* minor);

/// Empties the slot for a new program: false when the context offers no GLSL (the slot and the
/// program it names are left alone); otherwise deletes the program the slot names, sets it to
/// 0 and returns true.
[[nodiscard]] bool GLSL_Init(GLuint* programObject);

/// Descrambles and compiles the vertex stage, and attaches it to the slot's program, made here
/// when the slot is 0. A null source attaches nothing, still makes the program, and is true.
/// False when the stage does not compile, or does not descramble to ASCII text: the shader is
/// deleted and the slot is not touched.
[[nodiscard]] bool GLSL_LoadVertexShader(GLuint* programObject, const char* source);

/// As GLSL_LoadVertexShader, for the fragment stage; a failed compile also writes the info log
/// to the system log as "Compile Log: %s" when there is one. A program an earlier stage made
/// stays named in the slot, unlinked, for the caller to delete.
[[nodiscard]] bool GLSL_LoadFragmentShader(GLuint* programObject, const char* source);

/// As GLSL_LoadFragmentShader, with `defines` (plain text, lines such as "#define NAME\n")
/// compiled ahead of the descrambled source: one stored source, built in variants.
[[nodiscard]] bool GLSL_LoadFragmentShaderVariant(GLuint* programObject, const char* source,
                                                  const char* defines);

/// Links the slot's program. False when it does not link: the program is deleted and the slot
/// set to 0.
[[nodiscard]] bool GLSL_LinkShaderProgram(GLuint* programObject);

// The parsing behind the probes, for any strings; they need no context.

/// getGLVersion's reading of a GL_VERSION string (null for a missing one), message included.
void parseGLVersion(const char* versionString, int* major, int* minor);

/// getGLSLVersion's reading of a context's GL_VERSION, GL_EXTENSIONS and
/// GL_SHADING_LANGUAGE_VERSION strings (each null when missing), messages included.
void parseGLSLVersion(const char* versionString, const char* extensions,
                      const char* shadingLanguageVersion, int* major, int* minor);

/// GLSL_Init for a context whose GLSL major version is known: false when it is 0 or less.
/// Needs a current context when the slot names a program.
[[nodiscard]] bool resetProgramSlot(GLuint* programObject, int glslMajor);

} // namespace huecast
