// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <string>

#include "tools/huecast/GradingSession.h"

namespace huecast::tool
{

/// `huecast apply --lut-file PATH [--interpolation I] [--amount A]`: reads lines of three numbers
/// "r g b" from `in`, grades them as the pixels of float frames through the plug-in's render pass,
/// in batches of 131072 lines so that memory stays flat however long the input is, and prints one
/// line "r g b" (%.9g) a line of input, in order. Returns the exit status: 0, or 1 after printing
/// why (the LUT's error, or the first line that isn't three numbers) on `errors`; the lines of the
/// batches before a bad line have been printed by then, nothing of its own batch.
int runApply(const std::string& bundlePath, const std::string& lutFile,
             const GradeControls& controls, std::FILE* in, std::FILE* out, std::FILE* errors);

} // namespace huecast::tool
