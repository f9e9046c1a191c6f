// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Inside the TIFF reader and writer: what a read keeps of a file, and the libtiff helpers both
// sides use.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <tiffio.h>

#include "host/frames/CommonFormats.h"

namespace huecast::host::frames
{

/// What OpenImageIO's reader keeps of a source that its writer puts back in the file.
struct TiffLayout final : StoredLayout
{
    TiffLayout() : StoredLayout(Family::Tiff) {}

    std::uint16_t bits = 8;                      ///< stored depth: 1 (grey only), 8, 16 or 32
    std::uint16_t photometric = PHOTOMETRIC_RGB; ///< as stored; the writer stores RGB
    bool floats = false;                         ///< IEEE samples: 16-bit half or 32-bit float
    std::uint16_t compression = 1;  ///< the source's compression, which the writer keeps
    std::uint32_t rowsPerStrip = 0; ///< as libtiff reports it; 0: none given
    std::uint32_t tileWidth = 0;    ///< 0: strips
    std::uint32_t tileHeight = 0;
    bool separate = false; ///< a plane per channel
    std::optional<std::uint32_t> subfileType;
    std::optional<float> xResolution; ///< both or neither
    std::optional<float> yResolution;
    std::optional<std::uint16_t> resolutionUnit;
    bool software = false;               ///< the source named its software
    std::optional<std::string> dateTime; ///< kept as the source's, not the time of writing
    bool exifSrgb = false;               ///< an Exif directory saying sRGB
    std::vector<std::pair<ttag_t, std::string>> texts; ///< the descriptive tags, kept
    std::vector<std::uint8_t> profile;                 ///< an ICC profile, kept
};

/// Reads the pixels, packed as stored (`samples` a pixel at the layout's depth), to the start of
/// the frame, whose size and type are set: strips or tiles, in one plane or a plane per channel,
/// from `fd`, the file libtiff reads. False where the blocks don't hold what the tags say.
[[nodiscard]] bool readPackedPixels(TIFF* tif, int fd, const TiffLayout& layout, Frame* frame,
                                    int samples);

/// Packs `rows` rows of the frame from `top`, one after the other, as the file stores them.
using PackRows = void (*)(const Frame& frame, std::uint32_t top, std::uint32_t rows, int channels,
                          std::byte* into);

/// Writes the frame's pixels, packed by `pack` into `sampleBytes` a sample, in the layout's
/// tiles, or strips of `rowsPerStrip`, and planes; false where libtiff fails.
[[nodiscard]] bool writePixels(TIFF* tif, const Frame& frame, const TiffLayout& layout,
                               std::uint32_t rowsPerStrip, PackRows pack, int channels,
                               std::size_t sampleBytes);

// ---- libtiff, quiet ----

inline int ignoreTiffMessage(TIFF* /*tif*/, void* /*user*/, const char* /*module*/,
                             const char* /*format*/, va_list /*arguments*/)
{
    return 1; // handled: nothing reaches libtiff's global handlers (stderr)
}

struct TiffCloser
{
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct TiffOptionsFree
{
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

/// Options that keep libtiff's errors and warnings from stderr: OpenImageIO gives the message.
inline std::unique_ptr<TIFFOpenOptions, TiffOptionsFree> quietTiffOptions()
{
    std::unique_ptr<TIFFOpenOptions, TiffOptionsFree> options(TIFFOpenOptionsAlloc());
    if (options)
    {
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ignoreTiffMessage, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreTiffMessage, nullptr);
    }
    return options;
}

} // namespace huecast::host::frames
