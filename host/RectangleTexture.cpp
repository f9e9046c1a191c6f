// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/RectangleTexture.h"

#include <algorithm>

namespace huecast::host
{
namespace
{

struct PixelFormat
{
    GLint internalFormat;
    GLenum type;
};

PixelFormat formatOf(PixelType type)
{
    switch (type)
    {
    case PixelType::UInt8:
        return {GL_RGBA8, GL_UNSIGNED_BYTE};
    case PixelType::UInt16:
        return {GL_RGBA16, GL_UNSIGNED_SHORT};
    case PixelType::Float:
        return {GL_RGBA32F, GL_FLOAT};
    }
    return {GL_RGBA8, GL_UNSIGNED_BYTE};
}

/// The row length in pixels that GL's pixel-store state can express for the frame's row
/// stride, or 0 when none can (the stride is not a whole number of pixels).
GLint rowLengthOf(const Frame& frame)
{
    if (frame.rowBytes() % frame.bytesPerPixel() != 0)
    {
        return 0;
    }
    return static_cast<GLint>(frame.rowBytes() / frame.bytesPerPixel());
}

/// How many rows one transfer call moves: as many as fit in `bandBytes`, at least one. A
/// stride GL's pixel-store state can't describe moves one row a call.
std::uint32_t rowsPerCall(const Frame& frame, std::size_t bandBytes)
{
    if (rowLengthOf(frame) == 0)
    {
        return 1;
    }
    const std::size_t rows = std::max<std::size_t>(bandBytes / frame.rowBytes(), 1);
    return static_cast<std::uint32_t>(std::min<std::size_t>(rows, frame.height()));
}

} // namespace

RectangleTexture::~RectangleTexture()
{
    if (m_name != 0)
    {
        glDeleteTextures(1, &m_name);
    }
}

bool RectangleTexture::allocate(std::uint32_t width, std::uint32_t height, PixelType type)
{
    if (m_name != 0 && width == m_width && height == m_height && type == m_type)
    {
        return false;
    }
    if (m_name == 0)
    {
        glGenTextures(1, &m_name);
    }
    m_width = width;
    m_height = height;
    m_type = type;
    const PixelFormat format = formatOf(type);
    glBindTexture(GL_TEXTURE_RECTANGLE, m_name);
    // Texel centres are sampled exactly, and the filter must see each pixel as it is.
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, format.internalFormat, static_cast<GLsizei>(width),
                 static_cast<GLsizei>(height), 0, GL_RGBA, format.type, nullptr);
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
    return true;
}

void RectangleTexture::upload(const Frame& frame, std::size_t bandBytes)
{
    allocate(frame.width(), frame.height(), frame.type());
    const PixelFormat format = formatOf(frame.type());
    glBindTexture(GL_TEXTURE_RECTANGLE, m_name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLengthOf(frame));
    const auto width = static_cast<GLsizei>(frame.width());
    const std::uint32_t band = rowsPerCall(frame, bandBytes);
    for (std::uint32_t y = 0; y < frame.height(); y += band)
    {
        const std::uint32_t rows = std::min(band, frame.height() - y);
        glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, static_cast<GLint>(y), width,
                        static_cast<GLsizei>(rows), GL_RGBA, format.type, frame.row(y));
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_RECTANGLE, 0);
}

void RectangleTexture::readBack(Frame* frame, std::size_t bandBytes) const
{
    const PixelFormat format = formatOf(frame->type());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, rowLengthOf(*frame));
    const auto width = static_cast<GLsizei>(frame->width());
    const std::uint32_t band = rowsPerCall(*frame, bandBytes);
    for (std::uint32_t y = 0; y < frame->height(); y += band)
    {
        const std::uint32_t rows = std::min(band, frame->height() - y);
        glReadPixels(0, static_cast<GLint>(y), width, static_cast<GLsizei>(rows), GL_RGBA,
                     format.type, frame->row(y));
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

fx::FxImageInfo RectangleTexture::imageInfo() const
{
    return {m_width, m_height, m_width * Frame::kChannels * bytesPerChannel(m_type),
            depthOf(m_type)};
}

void RectangleTexture::getTextureCoords(double* left, double* right, double* bottom,
                                        double* top) const
{
    *left = 0.0;
    *right = static_cast<double>(m_width);
    *bottom = 0.0;
    *top = static_cast<double>(m_height);
}

void RectangleTexture::bind()
{
    glBindTexture(GL_TEXTURE_RECTANGLE, m_name);
    glEnable(GL_TEXTURE_RECTANGLE);
}

void RectangleTexture::disable()
{
    glDisable(GL_TEXTURE_RECTANGLE);
}

} // namespace huecast::host
