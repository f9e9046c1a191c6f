// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/gl/EglContext.h"

#include <array>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <dlfcn.h>
#include <fmt/format.h>
#include <link.h>

namespace huecast::gl
{
namespace
{

struct Version
{
    int major;
    int minor;
};

// Tried newest first for the highest context. 3.1 is left out: it has no profiles, and Mesa
// answers a 3.1 request with a core context.
constexpr std::array<Version, 11> kCompatibilityVersions = {
    {{4, 6}, {4, 5}, {4, 4}, {4, 3}, {4, 2}, {4, 1}, {4, 0}, {3, 3}, {3, 2}, {3, 0}, {2, 1}}};

// The profile attribute exists from 3.2 on; older versions have only one profile.
constexpr Version kFirstVersionWithProfiles = {3, 2};

constexpr int kMaxDevices = 16;

void fail(foundation::Error* error, EglError code, std::string_view message)
{
    foundation::setError(error, kEglErrorDomain, static_cast<std::int64_t>(code), message);
}

std::string withEglError(std::string_view what)
{
    return fmt::format("{} (EGL error {:#06x})", what, eglGetError());
}

bool hasExtension(const char* extensions, std::string_view name)
{
    if (extensions == nullptr)
    {
        return false;
    }
    // A whole space-separated token: one name may be the start of another.
    std::string_view rest(extensions);
    while (!rest.empty())
    {
        const std::size_t end = rest.find(' ');
        if (rest.substr(0, end) == name)
        {
            return true;
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return false;
}

// EGL hands out one display handle per platform and device, and eglTerminate ends it for every
// user at once. So each display counts the contexts made on it and ends with the last of them.
std::mutex& displayMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<EGLDisplay, int>& displayUsers()
{
    static std::map<EGLDisplay, int> users;
    return users;
}

void acquireDisplay(EGLDisplay display)
{
    const std::lock_guard lock(displayMutex());
    ++displayUsers()[display];
}

void releaseDisplay(EGLDisplay display)
{
    const std::lock_guard lock(displayMutex());
    auto& users = displayUsers();
    const auto found = users.find(display);
    if (found == users.end() || --found->second > 0)
    {
        return;
    }
    users.erase(found);
    eglTerminate(display);
}

std::set<std::string> loadedModules()
{
    std::set<std::string> names;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t /*size*/, void* out)
        {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
            {
                static_cast<std::set<std::string>*>(out)->emplace(info->dlpi_name);
            }
            return 0;
        },
        &names);
    return names;
}

// Mesa loads its driver in eglInitialize and unloads it in eglTerminate, while the driver's
// globals still hold caches it built on the first draw: every unload loses that memory, and
// LeakSanitizer can no longer even name the library it came from. So whatever opening a display
// loaded (the vendor's EGL library and its driver) stays mapped for the rest of the process; the
// handles are never closed.
void keepNewModulesLoaded(const std::set<std::string>& before)
{
    for (const std::string& name : loadedModules())
    {
        if (!before.contains(name))
        {
            dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
        }
    }
}

EGLDisplay surfacelessDisplay(std::string& why)
{
    if (!hasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS),
                      "EGL_MESA_platform_surfaceless"))
    {
        why = "surfaceless: EGL_MESA_platform_surfaceless is missing";
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display =
        eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY)
    {
        why = withEglError("surfaceless: no display");
    }
    return display;
}

EGLDisplay deviceDisplay(std::string& why)
{
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (!hasExtension(clientExtensions, "EGL_EXT_platform_device") || queryDevices == nullptr)
    {
        why = "device: EGL_EXT_platform_device is missing";
        return EGL_NO_DISPLAY;
    }
    std::array<EGLDeviceEXT, kMaxDevices> devices{};
    EGLint count = 0;
    if (queryDevices(kMaxDevices, devices.data(), &count) != EGL_TRUE || count < 1)
    {
        why = "device: EGL lists no device";
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[0], nullptr);
    if (display == EGL_NO_DISPLAY)
    {
        why = withEglError("device: no display");
    }
    return display;
}

std::optional<std::vector<EglPlatform>> platformsToTry(EglPlatform platform,
                                                       foundation::Error* error)
{
    if (platform != EglPlatform::Automatic)
    {
        return std::vector{platform};
    }
    const char* chosen = std::getenv("HUECAST_EGL_PLATFORM");
    const std::string_view name = chosen != nullptr ? chosen : "";
    if (name.empty())
    {
        return std::vector{EglPlatform::Surfaceless, EglPlatform::Device};
    }
    if (name == "surfaceless")
    {
        return std::vector{EglPlatform::Surfaceless};
    }
    if (name == "device")
    {
        return std::vector{EglPlatform::Device};
    }
    fail(error, EglError::NoDisplay,
         fmt::format(R"(HUECAST_EGL_PLATFORM is "{}"; expected "surfaceless" or "device")", name));
    return std::nullopt;
}

struct OpenDisplay
{
    EGLDisplay display;
    EglPlatform platform;
};

// The first display that initialises, counted as used; the error lists why each one failed.
std::optional<OpenDisplay> openDisplay(EglPlatform platform, foundation::Error* error)
{
    // Taken before the first EGL call: libglvnd loads the vendor's own EGL library then, and
    // unloads it at exit before leak checks run.
    const std::set<std::string> before = loadedModules();
    const auto platforms = platformsToTry(platform, error);
    if (!platforms)
    {
        return std::nullopt;
    }
    std::string reasons;
    for (const EglPlatform candidate : *platforms)
    {
        std::string why;
        EGLDisplay display =
            candidate == EglPlatform::Surfaceless ? surfacelessDisplay(why) : deviceDisplay(why);
        if (display != EGL_NO_DISPLAY)
        {
            EGLint major = 0;
            EGLint minor = 0;
            if (eglInitialize(display, &major, &minor) == EGL_TRUE)
            {
                keepNewModulesLoaded(before);
                acquireDisplay(display);
                return OpenDisplay{display, candidate};
            }
            why = withEglError(candidate == EglPlatform::Surfaceless
                                   ? "surfaceless: eglInitialize failed"
                                   : "device: eglInitialize failed");
        }
        reasons += reasons.empty() ? why : "; " + why;
    }
    fail(error, EglError::NoDisplay, "No EGL display: " + reasons);
    return std::nullopt;
}

EGLContext createContext(EGLDisplay display, EGLConfig config, Version version)
{
    const bool hasProfiles = version.major > kFirstVersionWithProfiles.major ||
                             (version.major == kFirstVersionWithProfiles.major &&
                              version.minor >= kFirstVersionWithProfiles.minor);
    std::vector<EGLint> attributes = {EGL_CONTEXT_MAJOR_VERSION, version.major,
                                      EGL_CONTEXT_MINOR_VERSION, version.minor};
    if (hasProfiles)
    {
        attributes.insert(attributes.end(), {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                             EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT});
    }
    attributes.push_back(EGL_NONE);
    return eglCreateContext(display, config, EGL_NO_CONTEXT, attributes.data());
}

struct Handles
{
    EGLDisplay display;
    EGLContext context;
    EGLSurface surface;
    EglPlatform platform;
};

// Opens a display and tries each version in turn; the first context made wins.
std::optional<Handles> makeHandles(std::span<const Version> versions, EglPlatform platform,
                                   foundation::Error* error)
{
    const std::optional<OpenDisplay> opened = openDisplay(platform, error);
    if (!opened)
    {
        return std::nullopt;
    }
    EGLDisplay display = opened->display;
    const auto giveUp = [&](EglError code, const std::string& message)
    {
        releaseDisplay(display);
        fail(error, code, message);
        return std::optional<Handles>();
    };

    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE)
    {
        return giveUp(EglError::NoOpenGL, withEglError("EGL offers no desktop OpenGL"));
    }
    const std::array<EGLint, 5> configAttributes = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                                    EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (eglChooseConfig(display, configAttributes.data(), &config, 1, &configCount) != EGL_TRUE ||
        configCount < 1)
    {
        return giveUp(EglError::NoOpenGL, withEglError("No EGL config renders desktop OpenGL"));
    }

    EGLContext context = EGL_NO_CONTEXT;
    for (const Version version : versions)
    {
        context = createContext(display, config, version);
        if (context != EGL_NO_CONTEXT)
        {
            break;
        }
    }
    if (context == EGL_NO_CONTEXT)
    {
        const Version wanted = versions.front();
        return giveUp(EglError::NoContext,
                      withEglError(versions.size() == 1
                                       ? fmt::format("No OpenGL {}.{} compatibility context",
                                                     wanted.major, wanted.minor)
                                       : std::string("No OpenGL compatibility context")));
    }

    // Without EGL_KHR_surfaceless_context a context needs a surface to become current.
    EGLSurface surface = EGL_NO_SURFACE;
    if (!hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context"))
    {
        const std::array<EGLint, 5> pbufferAttributes = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, pbufferAttributes.data());
        if (surface == EGL_NO_SURFACE)
        {
            eglDestroyContext(display, context);
            return giveUp(EglError::NotCurrent, withEglError("No surface to make current"));
        }
    }

    return Handles{display, context, surface, opened->platform};
}

} // namespace

std::unique_ptr<EglContext> EglContext::create(int major, int minor, EglPlatform platform,
                                               foundation::Error* error)
{
    const std::array<Version, 1> versions = {{{major, minor}}};
    const std::optional<Handles> handles = makeHandles(versions, platform, error);
    return handles ? adopt(handles->display, handles->context, handles->surface, handles->platform,
                           error)
                   : nullptr;
}

std::unique_ptr<EglContext> EglContext::createHighest(EglPlatform platform,
                                                      foundation::Error* error)
{
    const std::optional<Handles> handles = makeHandles(kCompatibilityVersions, platform, error);
    return handles ? adopt(handles->display, handles->context, handles->surface, handles->platform,
                           error)
                   : nullptr;
}

std::unique_ptr<EglContext> EglContext::adopt(void* display, void* context, void* surface,
                                              EglPlatform platform, foundation::Error* error)
{
    // From here on the destructor cleans up, also when making it current fails.
    auto made = std::unique_ptr<EglContext>(new EglContext(display, context, surface, platform));
    if (!made->makeCurrent(error))
    {
        return nullptr;
    }
    return made;
}

EglContext::EglContext(EglContext&& other) noexcept
    : m_display(std::exchange(other.m_display, nullptr)),
      m_context(std::exchange(other.m_context, nullptr)),
      m_surface(std::exchange(other.m_surface, nullptr)), m_platform(other.m_platform)
{
}

EglContext& EglContext::operator=(EglContext&& other) noexcept
{
    if (this != &other)
    {
        destroy();
        m_display = std::exchange(other.m_display, nullptr);
        m_context = std::exchange(other.m_context, nullptr);
        m_surface = std::exchange(other.m_surface, nullptr);
        m_platform = other.m_platform;
    }
    return *this;
}

EglContext::~EglContext()
{
    destroy();
}

bool EglContext::makeCurrent(foundation::Error* error)
{
    if (m_context == nullptr)
    {
        fail(error, EglError::NotCurrent, "The context was moved away");
        return false;
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE ||
        eglMakeCurrent(m_display, m_surface, m_surface, m_context) != EGL_TRUE)
    {
        fail(error, EglError::NotCurrent, withEglError("eglMakeCurrent failed"));
        return false;
    }
    return true;
}

void EglContext::destroy() noexcept
{
    if (m_display == nullptr)
    {
        return;
    }
    if (eglBindAPI(EGL_OPENGL_API) == EGL_TRUE && eglGetCurrentContext() == m_context)
    {
        eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    eglDestroyContext(m_display, m_context);
    if (m_surface != nullptr)
    {
        eglDestroySurface(m_display, m_surface);
    }
    releaseDisplay(m_display);
    m_display = nullptr;
    m_context = nullptr;
    m_surface = nullptr;
}

} // namespace huecast::gl
