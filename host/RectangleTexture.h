// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/Frame.h"
#include "platform/fx/FxImage.h"
#include "platform/gl/GL.h"

namespace huecast::host
{

/// The most bytes one GL transfer call moves in or out: a frame larger than this (a 16384 ×
/// 8192 half-float RGBA frame is 2 GiB as float) goes in bands of whole rows, since Mesa's
/// llvmpipe crashes reading back 2 GiB or more in one call.
inline constexpr std::size_t kTransferBandBytes = std::size_t{1} << 30;

/// A host image in a GL_TEXTURE_RECTANGLE texture of the current context: RGBA of 8 or 16
/// bits a channel, or 32-bit float, addressed in texels (0..width, 0..height). Storage is
/// made once per size and type and reused for every frame after that.
class RectangleTexture final : public fx::FxTexture
{
public:
    RectangleTexture() = default;
    RectangleTexture(const RectangleTexture&) = delete;
    RectangleTexture& operator=(const RectangleTexture&) = delete;
    /// Deletes the texture; the context it was made in must be current.
    ~RectangleTexture() override;

    /// Gives the texture storage of the size and type; nothing happens when it has it already.
    /// Returns whether new storage was made (anything attached to the old one must re-attach).
    bool allocate(std::uint32_t width, std::uint32_t height, PixelType type);
    /// Copies the frame's pixels in, allocating first when the frame's size or type differ; at
    /// most `bandBytes` a call.
    void upload(const Frame& frame, std::size_t bandBytes = kTransferBandBytes);
    /// Reads the texture's pixels into the frame, which must have its size and type, from the
    /// framebuffer the texture is attached to as its colour attachment; at most `bandBytes` a
    /// call.
    void readBack(Frame* frame, std::size_t bandBytes = kTransferBandBytes) const;

    [[nodiscard]] GLuint name() const { return m_name; }
    [[nodiscard]] std::uint32_t width() const { return m_width; }
    [[nodiscard]] std::uint32_t height() const { return m_height; }
    [[nodiscard]] PixelType type() const { return m_type; }

    [[nodiscard]] fx::FxImageType imageType() const override { return fx::FxImageType::Texture; }
    [[nodiscard]] fx::FxImageInfo imageInfo() const override;
    void getTextureCoords(double* left, double* right, double* bottom, double* top) const override;
    /// Binds and enables the texture on the active unit.
    void bind() override;
    /// Disables the rectangle target on the active unit.
    void disable() override;
    [[nodiscard]] std::uint32_t target() const override { return GL_TEXTURE_RECTANGLE; }

private:
    GLuint m_name = 0;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    PixelType m_type = PixelType::UInt8;
};

} // namespace huecast::host
