// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// PNG frames through libpng, for the files whose metadata OpenImageIO carries across in a way
// known here: colour space, pixel density and the Software tag.
#include <array>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "host/frames/CommonFormats.h"

namespace huecast::host::frames
{
namespace
{

/// The colour spaces OpenImageIO names for what the file says: the sRGB chunk (or nothing at
/// all), or a lone gamma of 1/2.2.
enum class ColourSpace : std::uint8_t
{
    Srgb,
    Gamma22,
};

/// pHYs: OpenImageIO keeps it as a resolution and writes the same numbers back.
struct PixelDensity
{
    png_uint_32 x = 0;
    png_uint_32 y = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
};

struct PngLayout final : StoredLayout
{
    PngLayout() : StoredLayout(Family::Png) {}

    int bitDepth = 8;
    ColourSpace colourSpace = ColourSpace::Srgb;
    std::optional<PixelDensity> density;
};

constexpr png_uint_32 kGamma22 = 45455; // 1/2.2 as PNG stores it

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

/// OpenImageIO's name for the colour space, which it writes as a text chunk.
const char* nameOf(ColourSpace colourSpace)
{
    return colourSpace == ColourSpace::Srgb ? "sRGB" : "Gamma2.2";
}

/// The text chunks OpenImageIO reads in a way known here: its own colour-space tag when it says
/// what the chunks say, and Software, which every written frame replaces.
bool knownTexts(png_structp png, png_infop info, ColourSpace colourSpace)
{
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count; ++i)
    {
        const std::string key = texts[i].key;
        const std::string value(texts[i].text, texts[i].text_length);
        const bool ownColourSpace = key == "oiio:ColorSpace" && value == nameOf(colourSpace);
        if (key != "Software" && !ownColourSpace)
        {
            return false;
        }
    }
    return true;
}

/// What the file's chunks before the pixels say; false when one of them is not known here.
bool layoutOf(png_structp png, png_infop info, PngLayout* layout)
{
    constexpr png_uint_32 kUnknown = PNG_INFO_PLTE | PNG_INFO_tRNS | PNG_INFO_bKGD | PNG_INFO_hIST |
                                     PNG_INFO_iCCP | PNG_INFO_sBIT | PNG_INFO_sPLT | PNG_INFO_tIME |
                                     PNG_INFO_pCAL | PNG_INFO_sCAL | PNG_INFO_eXIf;
    png_unknown_chunkp unknown = nullptr;
    if (png_get_valid(png, info, kUnknown) != 0 || png_get_unknown_chunks(png, info, &unknown) != 0)
    {
        return false;
    }
    layout->bitDepth = png_get_bit_depth(png, info);
    png_fixed_point gamma = 0;
    const bool hasGamma = png_get_gAMA_fixed(png, info, &gamma) != 0;
    if (hasGamma && gamma != static_cast<png_fixed_point>(kGamma22))
    {
        return false;
    }
    layout->colourSpace = png_get_valid(png, info, PNG_INFO_sRGB) == 0 && hasGamma
                              ? ColourSpace::Gamma22
                              : ColourSpace::Srgb;
    PixelDensity density;
    if (png_get_pHYs(png, info, &density.x, &density.y, &density.unit) != 0)
    {
        layout->density = density;
    }
    return knownTexts(png, info, layout->colourSpace);
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
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int colour = png_get_color_type(png, info);
    const bool plain = (depth == 8 || depth == 16) &&
                       png_get_interlace_type(png, info) == PNG_INTERLACE_NONE &&
                       (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA ||
                        colour == PNG_COLOR_TYPE_RGB || colour == PNG_COLOR_TYPE_RGB_ALPHA);
    if (!plain || width > static_cast<png_uint_32>(kMaxFrameEdge) ||
        height > static_cast<png_uint_32>(kMaxFrameEdge))
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRead::Declined;
    }
    if (!layoutOf(png, info, layout))
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRead::Declined;
    }
    *channels = png_get_channels(png, info);
    try
    {
        frame->reshape(width, height, depth == 16 ? PixelType::UInt16 : PixelType::UInt8);
    }
    catch (const std::bad_alloc&)
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRead::TooLarge;
    }
    if (depth == 16)
    {
        png_set_swap(png);
    }
    if ((colour & PNG_COLOR_MASK_COLOR) == 0)
    {
        png_set_gray_to_rgb(png);
    }
    if ((colour & PNG_COLOR_MASK_ALPHA) == 0)
    {
        png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
    }
    png_read_update_info(png, info);
    for (png_uint_32 y = 0; y < height; ++y)
    {
        png_read_row(png, reinterpret_cast<png_bytep>(frame->row(y)), nullptr);
    }
    // What follows the pixels is checked but not kept: OpenImageIO doesn't read it either.
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return PngRead::Taken;
}

/// Writes what OpenImageIO's PNG writer writes for such a source: the colour space as chunks
/// and as its own text tag, a zero offset, the source's pixel density, then Software.
bool writePixels(std::FILE* file, const Frame& frame, const PngLayout& layout, int channels)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOut, ignoreWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
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
    std::array<char, 16> colourSpaceKey{"oiio:ColorSpace"};
    std::array<char, 9> softwareKey{"Software"};
    std::array<char, 16> colourSpace{};
    std::snprintf(colourSpace.data(), colourSpace.size(), "%s", nameOf(layout.colourSpace));
    std::array<char, 64> software{};
    std::snprintf(software.data(), software.size(), "%s", kSoftware);
    if (layout.colourSpace == ColourSpace::Srgb)
    {
        png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_ABSOLUTE);
    }
    else
    {
        png_set_gAMA_fixed(png, info, static_cast<png_fixed_point>(kGamma22));
    }
    png_set_oFFs(png, info, 0, 0, PNG_OFFSET_PIXEL);
    if (layout.density)
    {
        png_set_pHYs(png, info, layout.density->x, layout.density->y, layout.density->unit);
    }
    std::array<png_text, 2> texts{};
    texts[0].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[0].key = colourSpaceKey.data();
    texts[0].text = colourSpace.data();
    texts[1].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[1].key = softwareKey.data();
    texts[1].text = software.data();
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
