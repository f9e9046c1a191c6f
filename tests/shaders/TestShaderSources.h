// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

namespace huecast::test
{

// Faulty GLSL texts for the loader's tests, scrambled at build time like the stored sources
// (tests/shaders/glsl), so that no test binary carries GLSL text either.
extern const char brokenVertex[];
extern const char brokenFragment[];
extern const char undefinedCallFragment[];

} // namespace huecast::test
