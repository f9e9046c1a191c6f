// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// PNG frames through libpng: every layout libpng reads, with the metadata OpenImageIO reports
// for it (colour space, ICC profile, time, text, pixel density, Exif block) kept for the written
// frame.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "host/frames/CommonFormats.h"
#include "host/frames/PngLayout.h"

namespace huecast::host::frames
{
namespace
{

/// Closes the file however the function that opened it ends.
struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// libpng reports errors by longjmp; the functions that call it hold no objects with
// destructors between setjmp and their last libpng call.
[[noreturn]] void jumpOut(png_structp png, png_const_charp /*message*/)
{
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

/// OpenImageIO's name for the colour space, which it writes as a text chunk: "sRGB", or for a
/// gamma its reciprocal rounded to hundredths ("Gamma1.8"), 1 being "linear".
std::string nameOf(const std::optional<png_fixed_point>& gamma)
{
    if (!gamma)
    {
        return "sRGB";
    }
    auto exponent = static_cast<float>(1.0 / (static_cast<double>(*gamma) / 100000.0));
    exponent = std::round(100.0F * exponent) / 100.0F;
    if (exponent == 1.0F)
    {
        return "linear";
    }
    std::array<char, 32> name{};
    std::snprintf(name.data(), name.size(), "Gamma%.2g", static_cast<double>(exponent));
    return name.data();
}

/// Keys OpenImageIO reads into something other than one attribute of that name (an XMP or
/// Exif packet, the time, the density, its own settings), or writes in ways of its own: a file
/// holding one is left to it.
bool isSpecialKey(std::string_view key)
{
    constexpr std::array<std::string_view, 10> kSpecial{
        "XML:com.adobe.xmp", "Raw profile type exif", "DateTime",
        "ResolutionUnit",    "XResolution",           "YResolution",
        "PixelAspectRatio",  "planarconfig",          "compression",
        "ICCProfile"};
    return std::any_of(kSpecial.begin(), kSpecial.end(),
                       [&](std::string_view special)
                       { return equalsIgnoringCase(key, special); }) ||
           key.starts_with("oiio:") || key.starts_with("ICCProfile:");
}

/// Keeps the text chunks, but for Software, which every written frame replaces, and
/// OpenImageIO's colour-space tag where it says what the chunks say. False for a key read in
/// a way of its own.
bool keepTexts(png_structp png, png_infop info, PngLayout* layout)
{
    // More text than any tool writes is left to OpenImageIO rather than copied again here.
    constexpr std::size_t kMaxKeptText = std::size_t{16} << 20U;
    std::size_t kept = 0;
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    const std::string colourSpace = nameOf(layout->gamma);
    for (int i = 0; i < count; ++i)
    {
        const png_text& text = texts[i];
        const std::string_view key = text.key;
        const std::string_view value(text.text, text.compression > PNG_TEXT_COMPRESSION_zTXt
                                                    ? text.itxt_length
                                                    : text.text_length);
        if (equalsIgnoringCase(key, "Software") ||
            (key == "oiio:ColorSpace" && value == colourSpace))
        {
            continue;
        }
        kept += key.size() + value.size();
        if (isSpecialKey(key) || value.find('\0') != std::string_view::npos || kept > kMaxKeptText)
        {
            return false;
        }
        layout->texts.push_back({text.compression, std::string(key), std::string(value),
                                 text.lang != nullptr ? text.lang : "",
                                 text.lang_key != nullptr ? text.lang_key : ""});
    }
    return true;
}

/// What the file's chunks before the pixels say, an Exif block last, as OpenImageIO reads it
/// after the others; false when one of them is read by OpenImageIO in a way not kept here.
bool layoutOf(png_structp png, png_infop info, PngLayout* layout)
{
    if (png_get_valid(png, info, PNG_INFO_sRGB) == 0)
    {
        png_fixed_point gamma = 0;
        if (png_get_gAMA_fixed(png, info, &gamma) != 0 && gamma > 0)
        {
            layout->gamma = gamma;
        }
    }
    PixelDensity density;
    if (png_get_pHYs(png, info, &density.x, &density.y, &density.unit) != 0)
    {
        layout->density = density;
    }
    png_timep time = nullptr;
    if (png_get_tIME(png, info, &time) != 0 && time != nullptr)
    {
        layout->time = *time;
    }
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0 && length > 0)
    {
        layout->profileName = name != nullptr ? name : "";
        layout->profile.assign(profile, profile + length);
    }
    png_bytep exif = nullptr;
    png_uint_32 exifLength = 0;
    return keepTexts(png, info, layout) &&
           (png_get_eXIf_1(png, info, &exifLength, &exif) == 0 || exif == nullptr ||
            keepExif({exif, exifLength}, layout));
}

/// Where a check keeps libpng's message before the jump out.
struct CheckState
{
    std::jmp_buf jump{};
    std::string message;
};

[[noreturn]] void keepMessageAndJumpOut(png_structp png, png_const_charp message)
{
    auto* state = static_cast<CheckState*>(png_get_error_ptr(png));
    state->message = message != nullptr ? message : "unknown error";
    std::longjmp(state->jump, 1);
}

/// How a read ended.
enum class PngRead : std::uint8_t
{
    Taken,
    Declined, ///< a layout read only by OpenImageIO
    TooLarge, ///< no memory for the frame: OpenImageIO says how much it needed
    Damaged,  ///< libpng failed, with its message kept
};

/// Reads the pixels as the OpenImageIO module hands them over: RGBA, grey spread over colour,
/// a missing alpha opaque, 16-bit in the machine's order. False when libpng fails or the file
/// is not one taken here.
PngRead readPixels(std::FILE* file, Frame* frame, PngLayout* layout, int* channels,
                   CheckState* state)
{
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, state, keepMessageAndJumpOut, ignoreWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr)
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRead::TooLarge;
    }
    if (setjmp(state->jump) != 0)
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRead::Damaged;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width > static_cast<png_uint_32>(kMaxFrameEdge) ||
        height > static_cast<png_uint_32>(kMaxFrameEdge) || !layoutOf(png, info, layout))
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRead::Declined;
    }
    // As OpenImageIO reads it: a palette expanded to RGB, fewer than 8 bits to 8, a
    // transparent colour to alpha.
    const int colour = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const int depth = png_get_bit_depth(png, info) == 16 ? 16 : 8;
    const bool colourful = (colour & (PNG_COLOR_MASK_COLOR | PNG_COLOR_MASK_PALETTE)) != 0;
    const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
    *channels = (colourful ? 3 : 1) + (alpha ? 1 : 0);
    layout->bitDepth = depth;
    try
    {
        frame->reshape(width, height, depth == 16 ? PixelType::UInt16 : PixelType::UInt8);
    }
    catch (const std::bad_alloc&)
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRead::TooLarge;
    }
    png_set_expand(png);
    if (depth == 16)
    {
        png_set_swap(png);
    }
    if (!colourful)
    {
        png_set_gray_to_rgb(png);
    }
    if (!alpha)
    {
        png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
    }
    // Interlaced rows are read once a pass, each pass filling in its pixels.
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != frame->pixelRowBytes())
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRead::Declined;
    }
    for (int pass = 0; pass < passes; ++pass)
    {
        for (png_uint_32 y = 0; y < height; ++y)
        {
            png_read_row(png, reinterpret_cast<png_bytep>(frame->row(y)), nullptr);
        }
    }
    // What follows the pixels is checked but not kept: OpenImageIO doesn't read it either.
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return PngRead::Taken;
}

/// The colour space, profile, offset, density and time chunks, as the source had them. Holds
/// nothing that libpng's jump out would have to destroy.
void setChunksBeforePixels(png_structp png, png_infop info, const PngLayout& layout)
{
    if (!layout.gamma)
    {
        png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_ABSOLUTE);
    }
    else
    {
        png_set_gAMA_fixed(png, info, *layout.gamma);
    }
    if (!layout.profile.empty())
    {
        png_set_iCCP(png, info, layout.profileName.c_str(), PNG_COMPRESSION_TYPE_BASE,
                     layout.profile.data(), static_cast<png_uint_32>(layout.profile.size()));
    }
    png_set_oFFs(png, info, 0, 0, PNG_OFFSET_PIXEL);
    if (layout.density)
    {
        png_set_pHYs(png, info, layout.density->x, layout.density->y, layout.density->unit);
    }
    if (layout.time)
    {
        png_set_tIME(png, info, &*layout.time);
    }
}

/// Writes the frame with what OpenImageIO reported of the source: the colour space as chunks
/// and as its own text tag, the ICC profile, a zero offset, the pixel density, the time, the
/// text chunks, then Software.
bool writePixels(std::FILE* file, const Frame& frame, const PngLayout& layout, int channels)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOut, ignoreWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    // libpng keeps pointers to these until the info is written.
    const std::string colourSpace = nameOf(layout.gamma);
    std::string colourSpaceKey = "oiio:ColorSpace";
    std::string softwareKey = "Software";
    std::string software = kSoftware;
    std::vector<png_text> texts;
    texts.reserve(layout.texts.size() + 2);
    const auto addText = [&texts](int compression, const std::string& key, const std::string& text,
                                  const std::string& language = {},
                                  const std::string& translatedKey = {})
    {
        png_text entry{};
        entry.compression = compression;
        entry.key = const_cast<char*>(key.c_str());
        entry.text = const_cast<char*>(text.c_str());
        entry.text_length = text.size();
        entry.lang = const_cast<char*>(language.c_str());
        entry.lang_key = const_cast<char*>(translatedKey.c_str());
        texts.push_back(entry);
    };
    addText(PNG_TEXT_COMPRESSION_NONE, colourSpaceKey, colourSpace);
    for (const PngText& text : layout.texts)
    {
        addText(text.compression, text.key, text.text, text.language, text.translatedKey);
    }
    addText(PNG_TEXT_COMPRESSION_NONE, softwareKey, software);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0)
    {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 6);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY); // libpng would pick Z_FILTERED
    png_set_IHDR(png, info, frame.width(), frame.height(), layout.bitDepth,
                 channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    setChunksBeforePixels(png, info, layout);
    png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));
    png_write_info(png, info);
    if (layout.bitDepth == 16)
    {
        png_set_swap(png);
    }
    if (channels == 3)
    {
        png_set_filler(png, 0, PNG_FILLER_AFTER); // the frame's alpha is not written
    }
    for (std::uint32_t y = 0; y < frame.height(); ++y)
    {
        png_write_row(png, reinterpret_cast<png_const_bytep>(frame.row(y)));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

/// Decodes every row through one row's buffer, with every transformation that makes any PNG
/// 8- or 16-bit RGBA, so no layout is left unchecked and nothing large is allocated.
bool decodeAllRows(std::FILE* file, CheckState* state)
{
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, state, keepMessageAndJumpOut, ignoreWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr)
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return true; // no memory for libpng is not damage
    }
    std::vector<png_byte> row;
    if (setjmp(state->jump) != 0)
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    row.resize(png_get_rowbytes(png, info));
    for (int pass = 0; pass < passes; ++pass)
    {
        for (png_uint_32 y = 0; y < height; ++y)
        {
            png_read_row(png, row.data(), nullptr);
        }
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

bool readPng(const std::string& path, Frame* frame, std::shared_ptr<const StoredLayout>* layout,
             int* channels, std::string* damage)
{
    const File file(std::fopen(path.c_str(), "rb"));
    auto read = std::make_shared<PngLayout>();
    CheckState state;
    const PngRead result =
        file ? readPixels(file.get(), frame, read.get(), channels, &state) : PngRead::Declined;
    // libpng under OpenImageIO prints its errors itself, beside the host's message: damage is
    // found here, in a layout OpenImageIO would read by decoding it first.
    if (result == PngRead::Declined && file)
    {
        std::rewind(file.get());
        state.message.clear();
        if (!decodeAllRows(file.get(), &state))
        {
            *damage = "PNG read error: " + state.message;
        }
    }
    if (result == PngRead::Damaged)
    {
        *damage = "PNG read error: " + state.message;
    }
    if (result != PngRead::Taken)
    {
        return false;
    }
    *layout = std::move(read);
    return true;
}

bool writePng(const std::string& destination, const Frame& frame, const StoredLayout& layout,
              int channels, const FrameWriteOptions& options)
{
    const auto& png = static_cast<const PngLayout&>(layout);
    const PixelType stored = png.bitDepth == 16 ? PixelType::UInt16 : PixelType::UInt8;
    if (options.depth != StoredDepth::Kept || !options.compression.empty() ||
        frame.type() != stored || (channels != 3 && channels != 4))
    {
        return false; // OpenImageIO converts and maps these
    }
    File file(std::fopen(destination.c_str(), "wb"));
    if (!file || !writePixels(file.get(), frame, png, channels))
    {
        return false;
    }
    return std::fclose(file.release()) == 0;
}

} // namespace huecast::host::frames
