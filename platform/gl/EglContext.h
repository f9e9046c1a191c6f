// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/foundation/Error.h"

namespace huecast::gl
{

/// Domain of EglContext's errors.
inline constexpr std::string_view kEglErrorDomain = "HuecastEGLErrorDomain";
enum class EglError : std::int64_t
{
    NoDisplay = 1, ///< no EGL display could be initialised on the platforms tried
    NoOpenGL = 2,  ///< the display offers no desktop OpenGL, or no config for it
    NoContext = 3, ///< no context of the requested version and profile could be made
    NotCurrent = 4 ///< the context could not be made current on the calling thread
};

/// Which EGL platform a context's display comes from.
enum class EglPlatform : std::uint8_t
{
    /// The platform named by the environment variable HUECAST_EGL_PLATFORM ("surfaceless" or
    /// "device") when it is set; otherwise Mesa's surfaceless platform, then the device platform.
    Automatic = 0,
    /// EGL_MESA_platform_surfaceless: Mesa's drivers, llvmpipe where there is no GPU.
    Surfaceless = 1,
    /// EGL_EXT_platform_device, on the first device EGL lists (an NVIDIA GPU, for one).
    Device = 2,
};

/// A headless desktop-OpenGL context with no window and no display server, for hosts and tests.
/// Move-only; destroying it destroys the context and, with the last context on its display,
/// terminates the display; the driver libraries that EGL loaded stay loaded for the rest of the
/// process. The plug-in itself never makes one: it uses whatever is current.
class EglContext
{
public:
    /// A compatibility-profile context of at least GL major.minor, made current on the calling
    /// thread. The driver may give a later version that keeps every feature of the requested one
    /// (Mesa answers 2.1 with its highest compatibility version). Null on failure, with an error
    /// in kEglErrorDomain. Never Automatic in platform() of the result.
    [[nodiscard]] static std::unique_ptr<EglContext>
    create(int major, int minor, EglPlatform platform, foundation::Error* error);

    /// The context of the highest compatibility-profile version the driver offers, made
    /// current on the calling thread. Null on failure, as create().
    [[nodiscard]] static std::unique_ptr<EglContext> createHighest(EglPlatform platform,
                                                                   foundation::Error* error);

    EglContext(const EglContext&) = delete;
    EglContext& operator=(const EglContext&) = delete;
    EglContext(EglContext&& other) noexcept;
    EglContext& operator=(EglContext&& other) noexcept;
    ~EglContext();

    /// Makes this context current on the calling thread. False (EglError::NotCurrent) when EGL
    /// refuses or the context was moved from.
    [[nodiscard]] bool makeCurrent(foundation::Error* error);

    /// The platform the display came from: Surfaceless or Device.
    [[nodiscard]] EglPlatform platform() const { return m_platform; }

private:
    EglContext(void* display, void* context, void* surface, EglPlatform platform)
        : m_display(display), m_context(context), m_surface(surface), m_platform(platform)
    {
    }

    // Takes ownership of the handles and makes the context current; null when that fails.
    static std::unique_ptr<EglContext> adopt(void* display, void* context, void* surface,
                                             EglPlatform platform, foundation::Error* error);
    void destroy() noexcept;

    // EGL handles, kept opaque so that this header does not pull <EGL/egl.h> in beside epoxy.
    void* m_display = nullptr;
    void* m_context = nullptr;
    void* m_surface = nullptr;
    EglPlatform m_platform = EglPlatform::Automatic;
};

} // namespace huecast::gl
