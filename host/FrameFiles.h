// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>

#include "host/Frame.h"
#include "platform/foundation/Error.h"

namespace huecast::host
{

/// The largest frame edge the host reads, in pixels (the most GL rectangle textures hold on
/// common drivers): a damaged header can't make it reserve more than such a frame needs.
inline constexpr int kMaxFrameEdge = 16384;

/// How a frame file stored its pixels beyond the RGBA the host works on: its channels, its
/// stored pixel format (10-bit DPX, half-float EXR, ...) and its metadata, so that a graded
/// frame is written back the way its source was.
class FrameFileFormat
{
public:
    /// RGBA in the frame's own pixel type, no metadata.
    FrameFileFormat() = default;

    /// The source's channel count (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA).
    [[nodiscard]] int channels() const { return m_channels; }
    /// The channels written back: colour always, alpha when the source had it.
    [[nodiscard]] int writtenChannels() const { return m_channels == 2 || m_channels >= 4 ? 4 : 3; }

private:
    friend bool readFrameFile(const std::string& path, Frame* frame, FrameFileFormat* format,
                              foundation::Error* error);
    friend bool writeFrameFile(const std::string& path, const Frame& frame,
                               const FrameFileFormat& format, foundation::Error* error);

    std::shared_ptr<const void> m_stored; // the reader's own description, or null
    int m_channels = 4;
};

/// Reads the first image of a frame file (PNG, JPEG, TIFF, OpenEXR, DPX, ...) into the frame as
/// RGBA of the nearest pixel type (8-bit stays 8-bit, 10 to 16-bit become 16-bit, anything else
/// float); grey is spread over red, green and blue, a missing alpha is opaque. The frame keeps
/// its buffer when it is big enough. False with a FrameUnreadable error on failure; the frame is
/// then unspecified.
bool readFrameFile(const std::string& path, Frame* frame, FrameFileFormat* format,
                   foundation::Error* error);

/// Writes the frame to the path in the format its extension names, with the source's stored
/// pixel format and metadata. The file appears whole or not at all: it is written beside the
/// path under a temporary name and renamed over it. False with a FrameNotWritten error.
bool writeFrameFile(const std::string& path, const Frame& frame, const FrameFileFormat& format,
                    foundation::Error* error);

} // namespace huecast::host
