// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>

#include "host/Frame.h"
#include "host/FrameFiles.h"
#include "platform/foundation/Error.h"

namespace huecast::host
{

/// What the frame-file module offers: OpenImageIO and the hundreds of libraries it brings are
/// loaded only by the commands that read or write frames, not by every start of the tool.
/// The module and the host are built together, so C++ types cross the boundary.
struct FrameFileModule
{
    static constexpr int kVersion = 5;
    int version = kVersion;

    /// Reads the file into the frame; the stored layout (the module's own) and the source's
    /// channel count come back for writing the graded frame the same way.
    bool (*read)(const std::string& path, Frame* frame,
                 std::shared_ptr<const StoredFrameLayout>* layout, int* channels,
                 foundation::Error* error) = nullptr;
    /// Writes the frame with `channels` channels in the stored layout, or, without one, in the
    /// frame's own pixel type, as the options say, into the file `destination` (an existing
    /// temporary) in the format that the extension of `path` names. A layout another module
    /// made is refused.
    bool (*write)(const std::string& path, const std::string& destination, const Frame& frame,
                  const StoredFrameLayout* layout, int channels, const FrameWriteOptions& options,
                  foundation::Error* error) = nullptr;
    /// Reads only the file's header, for the stored layout `read` would give: for a frame that
    /// another module read, written in a format that only this module writes.
    bool (*readLayout)(const std::string& path, std::shared_ptr<const StoredFrameLayout>* layout,
                       foundation::Error* error) = nullptr;
};

/// The file name of the module, found beside the project's shared libraries.
inline constexpr const char* kFrameFileModuleName = "huecast-frame-files.so";

} // namespace huecast::host

/// The module's one entry point.
extern "C" [[gnu::visibility("default")]] const huecast::host::FrameFileModule*
HuecastFrameFileModule();
