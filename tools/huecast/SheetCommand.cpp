// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/SheetCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>

#include <cairo.h>
#include <fmt/format.h>

#include "host/FileReplacement.h"
#include "host/FrameFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Text.h"
#include "platform/kit/NSAttributedString.h"
#include "platform/kit/NSGraphicsContext.h"
#include "tools/huecast/GradingSession.h"

namespace huecast::tool
{
namespace
{

constexpr int kUsageError = 2;
constexpr int kGap = 8;          // pixels around and between tiles
constexpr int kLabelHeight = 24; // the band under a tile that holds its name
constexpr int kMaxSheetPixels = 16384;
// The host inspector's panel grey behind the tiles, as `inspector` draws it.
constexpr double kBackgroundWhite = 0.19;
constexpr double kLabelWhite = 0.88;
constexpr double kNameSize = 12;
constexpr double kMessageSize = 11;
constexpr double kMessageInset = 6;

struct Look
{
    std::string name;
    LutChoice choice;
};

// One tile: the graded frame, or why there is none.
struct Tile
{
    std::string name;
    std::optional<host::Frame> frame;
    std::string failure;
};

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

// The looks in sheet order: the named entries, then the files; with neither, the library.
std::vector<Look> looksOf(const SheetOptions& options, const GradingSession& session)
{
    std::vector<Look> looks;
    std::vector<std::string> names = options.luts;
    if (options.luts.empty() && options.lutFiles.empty())
    {
        names = session.libraryNames();
    }
    for (const std::string& name : names)
    {
        looks.push_back({name, {LutChoice::Kind::LibraryEntry, name}});
    }
    for (const std::string& file : options.lutFiles)
    {
        const std::string name(
            foundation::deletingPathExtension(foundation::lastPathComponent(file)));
        looks.push_back({name, {LutChoice::Kind::File, file}});
    }
    return looks;
}

// Collects what the session prints, so that a look's message goes on its tile as well as on
// the error stream.
class CapturedMessages
{
public:
    CapturedMessages() : m_stream(::open_memstream(&m_buffer, &m_size)) {}
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;
    ~CapturedMessages()
    {
        if (m_stream != nullptr)
        {
            std::fclose(m_stream);
        }
        std::free(m_buffer); // NOLINT(cppcoreguidelines-no-malloc): open_memstream's buffer
    }

    [[nodiscard]] std::FILE* stream() const { return m_stream; }

    // What was printed since the last call.
    std::string takeNew()
    {
        if (m_stream == nullptr || std::fflush(m_stream) != 0)
        {
            return {};
        }
        std::string text(m_buffer + m_taken, m_size - m_taken);
        m_taken = m_size;
        return text;
    }

private:
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::size_t m_taken = 0;
    std::FILE* m_stream;
};

// One channel as 0..255, from the frame's channel type.
std::uint8_t byteAt(const host::Frame& frame, std::uint32_t y, std::size_t index)
{
    switch (frame.type())
    {
    case host::PixelType::UInt8:
        return frame.rowAs<std::uint8_t>(y)[index];
    case host::PixelType::UInt16:
        return static_cast<std::uint8_t>((frame.rowAs<std::uint16_t>(y)[index] * 255U + 32767U) /
                                         65535U);
    case host::PixelType::Float:
        break;
    }
    // Float frames show clamped, as an 8-bit PNG of them would.
    const float value = std::clamp(frame.rowAs<float>(y)[index], 0.0F, 1.0F);
    return static_cast<std::uint8_t>(std::lround(value * 255.0F));
}

// The frame as a cairo image: premultiplied ARGB in native words.
Surface surfaceOf(const host::Frame& frame)
{
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(frame.width()),
                                               static_cast<int>(frame.height())),
                    &cairo_surface_destroy);
    cairo_surface_flush(surface.get());
    unsigned char* pixels = cairo_image_surface_get_data(surface.get());
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
    for (std::uint32_t y = 0; y < frame.height() && pixels != nullptr; ++y)
    {
        auto* row = reinterpret_cast<std::uint32_t*>(pixels + y * stride);
        for (std::uint32_t x = 0; x < frame.width(); ++x)
        {
            const std::size_t at = std::size_t{x} * host::Frame::kChannels;
            const std::uint32_t alpha = byteAt(frame, y, at + 3);
            const auto premultiplied = [&](std::size_t channel)
            { return (byteAt(frame, y, at + channel) * alpha + 127U) / 255U; };
            row[x] =
                alpha << 24U | premultiplied(0) << 16U | premultiplied(1) << 8U | premultiplied(2);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

void drawText(const std::string& text, kit::NSRect rect, double size,
              kit::NSTextAlignment alignment, kit::NSLineBreakMode lineBreak)
{
    kit::NSParagraphStyle style;
    style.alignment = alignment;
    style.lineBreakMode = lineBreak;
    const kit::NSAttributes attributes = {
        {std::string(kit::NSFontAttributeName), kit::NSFont::systemFontOfSize(size)},
        {std::string(kit::NSForegroundColorAttributeName),
         kit::NSColor::colorWithCalibratedWhite(kLabelWhite, 1.0)},
        {std::string(kit::NSParagraphStyleAttributeName), style}};
    (void)kit::NSAttributedString(foundation::escapeForTerminal(text), attributes).drawInRect(rect);
}

// Draws one tile at (x, y): its picture (or its failure) and its name under it.
void drawTile(cairo_t* cairo, const Tile& tile, int x, int y, int width, int height)
{
    cairo_save(cairo);
    cairo_translate(cairo, x, y);
    if (tile.frame)
    {
        const Surface picture = surfaceOf(*tile.frame);
        cairo_save(cairo);
        cairo_scale(cairo, width / double(tile.frame->width()),
                    height / double(tile.frame->height()));
        cairo_set_source_surface(cairo, picture.get(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
        cairo_paint(cairo);
        cairo_restore(cairo);
    }
    else
    {
        cairo_set_source_rgb(cairo, 0.35, 0.08, 0.08);
        cairo_rectangle(cairo, 0, 0, width, height);
        cairo_fill(cairo);
        drawText(
            tile.failure,
            {kMessageInset, kMessageInset, width - 2 * kMessageInset, height - 2 * kMessageInset},
            kMessageSize, kit::NSTextAlignment::Left, kit::NSLineBreakMode::ByWordWrapping);
    }
    drawText(tile.name, {0, double(height) + 4, double(width), kLabelHeight - 4.0}, kNameSize,
             kit::NSTextAlignment::Center, kit::NSLineBreakMode::ByTruncatingTail);
    cairo_restore(cairo);
}

// The tiles laid out in rows, as PNG bytes; empty with the reason when the sheet can't be made.
std::string drawSheet(const std::vector<Tile>& tiles, int columns, int width, int height,
                      std::string* reason)
{
    const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
    const int sheetWidth = kGap + columns * (width + kGap);
    const int sheetHeight = kGap + rows * (height + kLabelHeight + kGap);
    if (sheetWidth > kMaxSheetPixels || sheetHeight > kMaxSheetPixels)
    {
        *reason = fmt::format("the sheet would be {} x {} pixels, more than {} a side; give a "
                              "smaller --width or other --columns",
                              sheetWidth, sheetHeight, kMaxSheetPixels);
        return {};
    }
    const Surface sheet(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, sheetWidth, sheetHeight),
                        &cairo_surface_destroy);
    cairo_t* cairo = cairo_create(sheet.get());
    cairo_set_source_rgb(cairo, kBackgroundWhite, kBackgroundWhite, kBackgroundWhite);
    cairo_paint(cairo);
    kit::NSGraphicsContext context(cairo);
    context.setFlipped(true); // image rows run downwards
    {
        const kit::NSGraphicsContext::Scope current(context);
        for (std::size_t i = 0; i < tiles.size(); ++i)
        {
            const auto column = static_cast<int>(i) % columns;
            const auto row = static_cast<int>(i) / columns;
            drawTile(cairo, tiles[i], kGap + column * (width + kGap),
                     kGap + row * (height + kLabelHeight + kGap), width, height);
        }
    }
    cairo_destroy(cairo);
    std::string bytes;
    const cairo_status_t status = cairo_surface_write_to_png_stream(
        sheet.get(),
        [](void* closure, const unsigned char* data, unsigned int length)
        {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    if (status != CAIRO_STATUS_SUCCESS)
    {
        *reason = cairo_status_to_string(status);
        return {};
    }
    return bytes;
}

// A session's message for the tile: without the tool's prefix, one line.
std::string tileMessage(std::string message)
{
    while (!message.empty() && message.back() == '\n')
    {
        message.pop_back();
    }
    constexpr std::string_view kPrefix = "huecast: ";
    return message.starts_with(kPrefix) ? message.substr(kPrefix.size()) : message;
}

} // namespace

int runSheet(const std::string& bundlePath, const SheetOptions& options, std::FILE* errors)
{
    if (!options.output.ends_with(".png"))
    {
        fmt::print(errors, "huecast sheet: -o takes a .png file, not {}\n",
                   foundation::escapeForTerminal(options.output));
        return kUsageError;
    }
    host::Frame frame;
    host::FrameFileFormat format;
    foundation::Error error;
    if (!host::readFrameFile(options.frame, &frame, &format, &error))
    {
        fmt::print(errors, "huecast: {}\n",
                   foundation::escapeForTerminal(error.localizedDescription()));
        return 1;
    }
    CapturedMessages messages;
    std::FILE* sessionErrors = messages.stream() != nullptr ? messages.stream() : errors;
    const std::unique_ptr<GradingSession> session = GradingSession::open(bundlePath, sessionErrors);
    std::fputs(messages.takeNew().c_str(), errors);
    if (!session)
    {
        return 1;
    }
    const std::vector<Look> looks = looksOf(options, *session);
    if (looks.empty())
    {
        fmt::print(errors, "huecast sheet: the LUT library folders hold no LUT (`huecast library` "
                           "shows them); name some with --lut or --lut-file\n");
        return kUsageError;
    }

    std::vector<Tile> tiles = {{"No LUT", frame, {}}};
    bool allGraded = true;
    for (const Look& look : looks)
    {
        Tile tile{look.name, std::nullopt, {}};
        host::Frame graded;
        if (session->chooseLut(look.choice) && session->render(frame, &graded, &error))
        {
            tile.frame = std::move(graded);
        }
        else
        {
            std::string message = messages.takeNew();
            if (message.empty())
            {
                message = fmt::format("huecast: {}: {}\n", look.name, error.localizedDescription());
            }
            std::fputs(message.c_str(), errors);
            tile.failure = tileMessage(message);
            allGraded = false;
        }
        tiles.push_back(std::move(tile));
    }

    const int columns = options.columns > 0
                            ? std::min(options.columns, static_cast<int>(tiles.size()))
                            : static_cast<int>(std::ceil(std::sqrt(double(tiles.size()))));
    const int height = std::max(
        1, static_cast<int>(std::lround(double(options.width) * frame.height() / frame.width())));
    std::string reason;
    const std::string png = drawSheet(tiles, columns, options.width, height, &reason);
    if (png.empty() || !host::replaceFileWithBytes(options.output, png, &reason))
    {
        fmt::print(errors, "huecast: {}: {}\n", foundation::escapeForTerminal(options.output),
                   reason);
        return 1;
    }
    return allGraded ? 0 : 1;
}

} // namespace huecast::tool
