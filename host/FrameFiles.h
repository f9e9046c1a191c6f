// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "host/Frame.h"
#include "platform/foundation/Error.h"

namespace huecast::host
{

/// The largest frame edge the host reads, in pixels (the most GL rectangle textures hold on
/// common drivers): a damaged header can't make it reserve more than such a frame needs.
inline constexpr int kMaxFrameEdge = 16384;

/// The channel type a frame is written with, when it should not be the source's.
enum class StoredDepth : std::uint8_t
{
    Kept,   ///< the source's own (a 10-bit DPX stays 10-bit)
    UInt8,  ///< 8-bit
    UInt16, ///< 16-bit
    Half,   ///< 16-bit float
    Float,  ///< 32-bit float
};

/// What a user asks of the written file beyond what the source gives.
struct FrameWriteOptions
{
    StoredDepth depth = StoredDepth::Kept;
    std::string compression; ///< the writer's compression name ("zip", "dwaa:45"); empty: its own
};

/// What a frame-file module kept of a file it read, to write the graded frame back the same way:
/// each module derives its own and writes only with its own, so a layout can't be taken for
/// another module's.
class StoredFrameLayout
{
public:
    /// The module that read the file.
    enum class Module : std::uint8_t
    {
        OpenImageIO,
        CommonFormats,
    };

    explicit StoredFrameLayout(Module reader) : module(reader) {}
    StoredFrameLayout(const StoredFrameLayout&) = default;
    StoredFrameLayout& operator=(const StoredFrameLayout&) = delete;
    virtual ~StoredFrameLayout() = default;

    const Module module;
};

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
    /// What the written file is asked for beyond the source's format.
    void setWriteOptions(FrameWriteOptions options) { m_options = std::move(options); }

private:
    friend bool readFrameFile(const std::string& path, Frame* frame, FrameFileFormat* format,
                              foundation::Error* error);
    friend bool writeFrameFile(const std::string& path, const Frame& frame,
                               const FrameFileFormat& format, foundation::Error* error);

    friend class ClipReader;
    friend class MovieWriter;

    /// Takes what a read gave back about the source; the write options stay as they were.
    void keepSource(std::shared_ptr<const StoredFrameLayout> stored, int channels,
                    std::string source = {})
    {
        m_stored = std::move(stored);
        m_channels = channels;
        m_source = std::move(source);
    }

    std::shared_ptr<const StoredFrameLayout> m_stored; // the reading module's own, or null
    int m_channels = 4;
    std::string m_source; // the file read, for OpenImageIO to describe when it writes instead
    std::int64_t m_clipTime = 0; // a clip's frame: its time in the clip's video stream
    FrameWriteOptions m_options;
};

/// Reads the first image of a frame file (PNG, JPEG, TIFF, OpenEXR, DPX, ...; the common PNG,
/// TIFF and OpenEXR layouts through their own libraries, with the same result) into the frame as
/// RGBA of the nearest pixel type (8-bit stays 8-bit, 10 to 16-bit become 16-bit, anything else
/// float); grey is spread over red, green and blue, a missing alpha is opaque. Colour comes
/// straight (unassociated): a file that stores it premultiplied (OpenEXR, associated-alpha
/// TIFF) is divided by alpha, except where alpha is 0: that colour is light the pixel emits,
/// kept as it is. The frame keeps its buffer when it is
/// big enough. False with a FrameUnreadable error on failure; the frame is then unspecified.
bool readFrameFile(const std::string& path, Frame* frame, FrameFileFormat* format,
                   foundation::Error* error);

/// Writes the frame (straight colour) to the path in the format its extension names, with the
/// source's stored pixel format and metadata (colour space included) unless the format's write
/// options say otherwise, and a Software tag naming Huecast. A format that stores premultiplied
/// colour (OpenEXR) gets the colour multiplied by alpha, except where alpha is 0. The file appears
/// whole or not at all: it is written beside the path under a temporary name and renamed over it.
/// False with a FrameNotWritten error, also when the format can't store the asked-for depth.
bool writeFrameFile(const std::string& path, const Frame& frame, const FrameFileFormat& format,
                    foundation::Error* error);

/// Loads what reading `input` and writing `output` will need (PNG, TIFF and OpenEXR through
/// their own libraries, in milliseconds; OpenImageIO, a few hundred, for the other formats and
/// for writing one format from another), so that the first read doesn't wait for it: a host
/// calls it on a worker thread while it brings up GL. Reads and writes load what they need
/// themselves otherwise.
void loadFrameFileModules(const std::string& input, const std::string& output);

/// Whether the format the path's extension names stores colour premultiplied (OpenEXR): there
/// the colour of a pixel of alpha 0 is light it emits, written as it is.
[[nodiscard]] bool storesPremultipliedColour(const std::string& path);

/// Gives every pixel that was read with neither alpha nor colour no colour after grading
/// either: a LUT that lifts black would otherwise make each empty pixel of a frame stored
/// premultiplied emit light. Both frames have the same size and pixel type.
void keepEmptyPixelsEmpty(const Frame& read, Frame* graded);

/// Refuses at once what can't be read as a frame or clip, before any library opens it: anything
/// but a regular file (or a link to one), and a file whose first bytes or declared size its
/// extension's format can't have. False with a FrameUnreadable error saying what it is.
bool checkFrameFile(const std::string& path, foundation::Error* error);

} // namespace huecast::host
