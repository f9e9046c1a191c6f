// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>

namespace huecast::fx
{

/// What kind of image the host hands over.
enum class FxImageType : std::uint32_t
{
    Bitmap = 1,  ///< pixels in memory
    Texture = 2, ///< a GPU texture (FxTexture)
};

/// Describes an image; width and height come first and are in pixels.
struct FxImageInfo
{
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t rowBytes = 0;
    std::uint32_t depth = 8; ///< bits per channel: 8, 16 or 32 (float)
};

/// What the host tells a filter about one render.
struct FxRenderInfo
{
    double time = 0.0;
    std::uint32_t quality = 0;
    double scaleX = 1.0;
    double scaleY = 1.0;
};

/// A host image.
class FxImage
{
public:
    virtual ~FxImage() = default;
    [[nodiscard]] virtual FxImageType imageType() const = 0;
    [[nodiscard]] virtual FxImageInfo imageInfo() const = 0;
};

/// A host image that lives in a GL texture of the current context.
class FxTexture : public FxImage
{
public:
    /// The texture coordinates of the image's edges; for a rectangle texture they address
    /// texels (0..width, 0..height).
    virtual void getTextureCoords(double* left, double* right, double* bottom,
                                  double* top) const = 0;
    /// Binds the texture on the active texture unit.
    virtual void bind() = 0;
    /// Unbinds it again.
    virtual void disable() = 0;
    /// The GL texture target (GL_TEXTURE_RECTANGLE for the reference host).
    [[nodiscard]] virtual std::uint32_t target() const = 0;
};

} // namespace huecast::fx
