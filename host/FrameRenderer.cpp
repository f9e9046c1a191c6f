// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/FrameRenderer.h"

#include <new>

#include <fmt/format.h>

#include "host/HostError.h"

namespace huecast::host
{
std::unique_ptr<FrameRenderer> FrameRenderer::create(foundation::Error* error)
{
    if (epoxy_gl_version() < 30)
    {
        hostError(error, HostError::GLUnsupported,
                  fmt::format("The GL context offers OpenGL {}.{}; rendering frames needs 3.0 "
                              "(framebuffer objects and float textures)",
                              epoxy_gl_version() / 10, epoxy_gl_version() % 10));
        return nullptr;
    }
    auto renderer = std::unique_ptr<FrameRenderer>(new FrameRenderer());
    glGetIntegerv(GL_MAX_RECTANGLE_TEXTURE_SIZE, &renderer->m_maxTextureSize);
    glGenFramebuffers(1, &renderer->m_framebuffer);
    return renderer;
}

FrameRenderer::~FrameRenderer()
{
    glDeleteFramebuffers(1, &m_framebuffer);
}

namespace
{

// Whether GL ran out of memory since the last look: a texture it couldn't make says so only
// through the error flag (llvmpipe holds at most 2 GiB in one). Bounded, since a lost context
// may report for ever.
bool glRanOutOfMemory()
{
    bool outOfMemory = false;
    for (int i = 0; i < 32; ++i)
    {
        const GLenum code = glGetError();
        if (code == GL_NO_ERROR)
        {
            break;
        }
        outOfMemory = outOfMemory || code == GL_OUT_OF_MEMORY;
    }
    return outOfMemory;
}

} // namespace

bool FrameRenderer::renderFrame(fx::FxFilter& filter, const Frame& input, Frame* output,
                                foundation::Error* error)
{
    if (input.width() == 0 || input.height() == 0 ||
        input.width() > static_cast<std::uint32_t>(m_maxTextureSize) ||
        input.height() > static_cast<std::uint32_t>(m_maxTextureSize))
    {
        return hostError(error, HostError::FrameNotRendered,
                         fmt::format("A frame of {}×{} pixels is outside what this GL context can "
                                     "hold (1 to {} pixels each way)",
                                     input.width(), input.height(), m_maxTextureSize));
    }
    const auto outOfGLMemory = [&]
    {
        return hostError(error, HostError::FrameNotRendered,
                         fmt::format("The GL couldn't hold a frame of {}×{} pixels of this type "
                                     "(out of memory)",
                                     input.width(), input.height()));
    };
    try
    {
        (void)glRanOutOfMemory(); // what came before this frame
        upload(input);
        if (glRanOutOfMemory())
        {
            return outOfGLMemory();
        }
        if (!render(filter, error))
        {
            return false;
        }
        if (glRanOutOfMemory())
        {
            return outOfGLMemory();
        }
        readBack(output);
    }
    catch (const std::bad_alloc&)
    {
        return hostError(error, HostError::FrameNotRendered,
                         fmt::format("There was not enough memory to render a frame of {}×{} "
                                     "pixels",
                                     input.width(), input.height()));
    }
    return true;
}

void FrameRenderer::upload(const Frame& input)
{
    m_input.upload(input);
}

bool FrameRenderer::render(fx::FxFilter& filter, foundation::Error* error)
{
    const fx::FxRenderInfo info{m_time, 0, 1.0, 1.0};
    const fx::FxImageInfo inputInfo = m_input.imageInfo();
    bool hardware = false;
    bool software = false;
    if (!filter.frameSetup(info, inputInfo, &hardware, &software) || !hardware)
    {
        return hostError(error, HostError::FrameNotRendered,
                         "The plug-in can't render this frame on the GPU");
    }
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    if (!filter.getOutputWidth(&width, &height, inputInfo, info))
    {
        filter.frameCleanup();
        return hostError(error, HostError::FrameNotRendered,
                         "The plug-in gave no output size for this frame");
    }
    if (!prepareOutput(width, height, error))
    {
        filter.frameCleanup();
        return false;
    }
    setUpTarget();
    const bool drawn = filter.renderOutput(m_output, m_input, info);
    filter.frameCleanup();
    m_time += 1.0;
    if (!drawn)
    {
        return hostError(error, HostError::FrameNotRendered,
                         "The plug-in drew nothing for this frame");
    }
    return true;
}

void FrameRenderer::readBack(Frame* output) const
{
    output->reshape(m_output.width(), m_output.height(), m_output.type(), output->rowBytes());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
    m_output.readBack(output);
}

bool FrameRenderer::prepareOutput(std::uint64_t width, std::uint64_t height,
                                  foundation::Error* error)
{
    const auto limit = static_cast<std::uint64_t>(m_maxTextureSize);
    if (width == 0 || height == 0 || width > limit || height > limit)
    {
        return hostError(
            error, HostError::FrameNotRendered,
            fmt::format("The plug-in asked for an output of {}×{} pixels, outside 1 to {}", width,
                        height, limit));
    }
    if (m_output.allocate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                          m_input.type()))
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_RECTANGLE,
                               m_output.name(), 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        {
            return hostError(error, HostError::GLUnsupported,
                             "The GL context can't render into a texture of this frame's type");
        }
    }
    return true;
}

void FrameRenderer::setUpTarget() const
{
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glViewport(0, 0, static_cast<GLsizei>(m_output.width()),
               static_cast<GLsizei>(m_output.height()));
    // Vertex positions are the output's texture coordinates; map them onto the viewport.
    double left = 0;
    double right = 0;
    double bottom = 0;
    double top = 0;
    m_output.getTextureCoords(&left, &right, &bottom, &top);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

} // namespace huecast::host
