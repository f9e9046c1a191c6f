// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Both frame-file modules side by side: the common-format one must read what the OpenImageIO
// one reads, and write files OpenImageIO reads as it reads its own, or decline the file.
#pragma once

#include <string>

#include "host/FrameFileModule.h"
#include "host/FrameFiles.h"
#include "host/frames/CommonFrameFileModule.h"
#include "tests/support/TestSupport.h"

namespace huecast::test
{

/// The two modules from the build tree, loaded once (null, with a gtest failure, when one
/// can't be).
const host::FrameFileModule* oiioModule();
const host::CommonFrameFileModule* commonModule();

/// What happened to one file taken through both modules.
enum class CommonModule
{
    Took,     ///< read and wrote it, as OpenImageIO does
    Declined, ///< declined to read it
};

/// Reads `source` through both modules and, when the common one takes it, expects the same
/// frame and channel count, then writes that frame through both to `output` (whose extension
/// names the format) in `dir` and expects OpenImageIO to read the same pixels and the same
/// metadata from both files (the resolution as the source stores it), and FFmpeg to decode both
/// alike (or neither).
/// Expects the common module to write whenever it read. Failures are reported through gtest.
CommonModule compareWithOpenImageIO(const std::string& source, const TempDir& dir,
                                    const std::string& output,
                                    const host::FrameWriteOptions& options = {});

/// The file's bytes with every "YYYY:MM:DD HH:MM:SS" time stamp set to one fixed time.
std::string withoutTimeStamps(const std::string& bytes);

} // namespace huecast::test
