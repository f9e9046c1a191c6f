// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/ClipFiles.h"
#include "host/FrameFiles.h"
#include "tools/huecast/FrameSequence.h"
#include "tools/huecast/GradingSession.h"

namespace huecast::tool
{

struct RenderOptions
{
    LutChoice lut;
    GradeControls controls;  ///< --interpolation, --amount
    std::string saveProject; ///< empty: none
    std::vector<std::string> inputs;
    std::string output;
    std::optional<FrameRange> frames; ///< --frames A-B; nothing: every frame
    bool progress = false;            ///< show a progress bar (a terminal, more than one frame)
    bool quiet = false;               ///< -q: no progress and no notes, errors only
    host::FrameWriteOptions written;  ///< --depth, --compression
    host::MovieOptions movie;         ///< --codec, --crf
};

/// `huecast render`: grades each frame (of files, sequences and clips) through the plug-in in
/// the reference host and writes it with the input's bit depth, or the one asked for. Stops at
/// the first frame that fails, naming it; frames written before stay, and no partial file is
/// left. A single frame's destination is noted on `errors` unless quiet. Returns the exit
/// status: 0, or 1 after printing why on `errors`.
int runRender(const std::string& bundlePath, const RenderOptions& options, std::FILE* errors);

} // namespace huecast::tool
