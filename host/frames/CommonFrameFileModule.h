// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "host/Frame.h"
#include "host/FrameFiles.h"

namespace huecast::host
{

/// What the common-format module offers: PNG, TIFF and OpenEXR frames read and written through
/// libpng, libtiff and OpenEXR, which load in milliseconds where OpenImageIO takes half a
/// second. It takes the files whose pixels and metadata it reads as the OpenImageIO module
/// does, and writes files from which OpenImageIO reads back the same pixels and metadata as
/// from that module's own write (not the same bytes); it declines the rest, which the host
/// then hands to that module, and errors keep OpenImageIO's messages.
struct CommonFrameFileModule
{
    static constexpr int kVersion = 3;
    int version = kVersion;

    /// Reads the file into the frame as the OpenImageIO module would; the stored layout (the
    /// module's own) and the source's channel count come back for writing. False, with
    /// the frame unspecified, for a file the module declines or can't read; `damage` then says
    /// what is wrong where the module found the file damaged (a PNG: libpng, under OpenImageIO,
    /// prints its errors itself, beside the host's message), and stays empty otherwise.
    bool (*read)(const std::string& path, Frame* frame,
                 std::shared_ptr<const StoredFrameLayout>* layout, int* channels,
                 std::string* damage) = nullptr;
    /// Writes the frame with `channels` channels into `destination` (an existing temporary) as
    /// the OpenImageIO module would write it to `path`, given what `read` kept of the source.
    /// False when it declines (another format, another module's layout, options it doesn't
    /// reproduce) or fails; the temporary is then rewritten from the start by the OpenImageIO
    /// module.
    bool (*write)(const std::string& path, const std::string& destination, const Frame& frame,
                  const StoredFrameLayout* layout, int channels,
                  const FrameWriteOptions& options) = nullptr;
};

namespace frames
{

enum class Family : std::uint8_t
{
    Png,
    Tiff,
    OpenExr,
};

/// The file name's extension in lower case, with its dot (".png"); empty without one.
inline std::string lowerExtension(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

/// The module's format that OpenImageIO would pick for the file name, if it is one.
inline std::optional<Family> familyOfName(const std::string& path)
{
    const std::string extension = lowerExtension(path);
    if (extension == ".png")
    {
        return Family::Png;
    }
    if (extension == ".tif" || extension == ".tiff")
    {
        return Family::Tiff;
    }
    if (extension == ".exr")
    {
        return Family::OpenExr;
    }
    return std::nullopt;
}

} // namespace frames

/// The file name of the module, found beside the OpenImageIO one.
inline constexpr const char* kCommonFrameFileModuleName = "huecast-common-frames.so";

} // namespace huecast::host

/// The module's one entry point.
extern "C" [[gnu::visibility("default")]] const huecast::host::CommonFrameFileModule*
HuecastCommonFrameFileModule();
