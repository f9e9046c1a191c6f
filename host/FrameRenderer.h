// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>

#include "host/Frame.h"
#include "host/RectangleTexture.h"
#include "platform/foundation/Error.h"
#include "platform/fx/FxFilter.h"

namespace huecast::host
{

/// The host's frame path in the current GL context: the input frame goes up into a rectangle
/// texture, the filter renders into an output texture through a framebuffer, and the result
/// comes back into memory. Textures and the framebuffer are made once per frame size and type
/// and reused, so frames of one clip allocate nothing on the GPU or in memory.
class FrameRenderer
{
public:
    /// A renderer for the context current on the calling thread; null with an error when the
    /// context lacks what the frame path needs (framebuffer objects, rectangle and float
    /// textures: OpenGL 3.0).
    [[nodiscard]] static std::unique_ptr<FrameRenderer> create(foundation::Error* error);

    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;
    /// Deletes the GL objects; the context must be current.
    ~FrameRenderer();

    /// The whole path for one frame: upload, the filter's frame calls, read-back. The output
    /// takes the size the filter asks for and the input's pixel type.
    bool renderFrame(fx::FxFilter& filter, const Frame& input, Frame* output,
                     foundation::Error* error);

    // The same path step by step, so that each can be timed.

    /// Copies the frame into the input texture.
    void upload(const Frame& input);
    /// Runs the filter's frame calls in the host's order (frame set-up, output size, render,
    /// clean-up) with the framebuffer, viewport and projection over the output set up. False
    /// with an error when the filter refuses the frame or draws nothing.
    bool render(fx::FxFilter& filter, foundation::Error* error);
    /// Reads the rendered frame back, reshaping the output to the rendered size.
    void readBack(Frame* output) const;

    /// The render time the filter gets for the next frame; each frame after it gets one more.
    /// Frame-by-frame hosts leave it (frames 0, 1, 2 ...); hosts with a clock set it per frame.
    void setTime(double time) { m_time = time; }

    [[nodiscard]] RectangleTexture& inputTexture() { return m_input; }
    [[nodiscard]] RectangleTexture& outputTexture() { return m_output; }

private:
    FrameRenderer() = default;
    bool prepareOutput(std::uint64_t width, std::uint64_t height, foundation::Error* error);
    void setUpTarget() const;

    RectangleTexture m_input;
    RectangleTexture m_output;
    GLuint m_framebuffer = 0;
    GLint m_maxTextureSize = 0;
    double m_time = 0.0;
};

} // namespace huecast::host
