// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/foundation/Memory.h"

namespace huecast::host
{

/// How one channel of a frame's pixels is stored.
enum class PixelType : std::uint8_t
{
    UInt8 = 1,  ///< 0..255
    UInt16 = 2, ///< 0..65535
    Float = 4,  ///< 32-bit float, 0..1 nominal, any value kept
};

[[nodiscard]] constexpr std::size_t bytesPerChannel(PixelType type)
{
    return static_cast<std::size_t>(type);
}

/// Bits per channel, as the host reports a frame's depth to the filter: 8, 16 or 32.
[[nodiscard]] constexpr std::uint32_t depthOf(PixelType type)
{
    return static_cast<std::uint32_t>(bytesPerChannel(type) * 8);
}

/// One frame in memory: RGBA pixels, the top row first, each row `rowBytes` long (at least
/// width × 4 channels, and a whole number of channels so every value stays aligned; any padding
/// after a row's pixels is never read or written).
class Frame
{
public:
    static constexpr std::size_t kChannels = 4;

    Frame() = default;
    /// A frame of the size and type, zeroed; rowBytes 0 means rows without padding.
    Frame(std::uint32_t width, std::uint32_t height, PixelType type, std::size_t rowBytes = 0)
    {
        reshape(width, height, type, rowBytes);
    }

    /// Gives the frame a new size and type, keeping the buffer's memory where it is big enough
    /// (the pixels are then unspecified). rowBytes below a row's pixels counts as none; it is
    /// rounded up to a whole number of channels.
    void reshape(std::uint32_t width, std::uint32_t height, PixelType type,
                 std::size_t rowBytes = 0)
    {
        m_width = width;
        m_height = height;
        m_type = type;
        const std::size_t channel = bytesPerChannel(type);
        m_rowBytes = std::max((rowBytes + channel - 1) / channel * channel, pixelRowBytes());
        if (m_pixels.capacity() < m_rowBytes * height)
        {
            std::vector<std::byte>().swap(m_pixels); // its pixels are unspecified anyway
            m_pixels.reserve(m_rowBytes * height);
            foundation::adviseHugePages(m_pixels.data(), m_pixels.capacity());
        }
        m_pixels.resize(m_rowBytes * height);
    }

    [[nodiscard]] std::uint32_t width() const { return m_width; }
    [[nodiscard]] std::uint32_t height() const { return m_height; }
    [[nodiscard]] PixelType type() const { return m_type; }
    [[nodiscard]] std::size_t rowBytes() const { return m_rowBytes; }
    [[nodiscard]] std::size_t bytesPerPixel() const { return kChannels * bytesPerChannel(m_type); }
    /// The bytes of a row's pixels, padding excluded.
    [[nodiscard]] std::size_t pixelRowBytes() const { return m_width * bytesPerPixel(); }

    [[nodiscard]] std::byte* data() { return m_pixels.data(); }
    [[nodiscard]] const std::byte* data() const { return m_pixels.data(); }
    [[nodiscard]] std::byte* row(std::uint32_t y) { return m_pixels.data() + y * m_rowBytes; }
    [[nodiscard]] const std::byte* row(std::uint32_t y) const
    {
        return m_pixels.data() + y * m_rowBytes;
    }

    /// The pixels as values of the channel type (T must match type()).
    template <typename T> [[nodiscard]] std::span<T> rowAs(std::uint32_t y)
    {
        return {reinterpret_cast<T*>(row(y)), m_width * kChannels};
    }
    template <typename T> [[nodiscard]] std::span<const T> rowAs(std::uint32_t y) const
    {
        return {reinterpret_cast<const T*>(row(y)), m_width * kChannels};
    }

private:
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    PixelType m_type = PixelType::UInt8;
    std::size_t m_rowBytes = 0;
    std::vector<std::byte> m_pixels;
};

} // namespace huecast::host
