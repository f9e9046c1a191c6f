// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/fx/FxBundle.h"

namespace huecast::host
{

inline constexpr std::string_view kHostErrorDomain = "HuecastHostErrorDomain";
enum class HostError : std::int64_t
{
    BundleNotLoaded = 1,   ///< the bundle's library could not be opened
    NoEntryPoint = 2,      ///< the library has no entry point, or an incompatible one
    FilterNotCreated = 3,  ///< the bundle refused to create a filter
    NoGLContext = 4,       ///< no headless GL context could be made
    ProjectUnreadable = 5, ///< a project file could not be read or is damaged
    ProjectTooNew = 6,     ///< a project file from a newer format version
    ProjectMismatch = 7,   ///< a project's parameters don't fit the instances it is loaded into
    ProjectNotWritten = 8, ///< a project file could not be written
    FrameNotRendered = 9,  ///< the filter refused a frame or drew nothing
    GLUnsupported = 10,    ///< the GL context lacks what the frame path needs
    FrameUnreadable = 11,  ///< a frame file could not be read
    FrameNotWritten = 12,  ///< a frame file could not be written
};

/// Puts a kHostErrorDomain error with the code and message in `error` (when given); returns
/// false, so a failing path can end with `return hostError(...)`.
inline bool hostError(foundation::Error* error, HostError code, const std::string& message)
{
    foundation::setError(error, kHostErrorDomain, static_cast<std::int64_t>(code), message);
    return false;
}

/// A plug-in bundle loaded with dlopen: a folder holding huecast.so and resources/. Objects
/// made by the bundle must be destroyed before the bundle.
class PluginBundle
{
public:
    /// Loads the bundle folder's huecast.so and checks its entry point; null with a
    /// kHostErrorDomain error naming the path on failure.
    [[nodiscard]] static std::unique_ptr<PluginBundle> load(const std::string& bundlePath,
                                                            foundation::Error* error);

    PluginBundle(const PluginBundle&) = delete;
    PluginBundle& operator=(const PluginBundle&) = delete;
    ~PluginBundle();

    [[nodiscard]] const fx::FxBundleInterface& api() const { return *m_interface; }
    [[nodiscard]] const std::string& path() const { return m_path; }

    /// Where the tool finds the bundle: $HUECAST_BUNDLE when set, else Huecast.bundle beside
    /// the running executable, in the installed private folder relative to it, or two folders
    /// above it (the build tree's layout); when none holds one, the installed location.
    [[nodiscard]] static std::string defaultBundlePath();

private:
    PluginBundle(void* handle, const fx::FxBundleInterface* interface, std::string path)
        : m_handle(handle), m_interface(interface), m_path(std::move(path))
    {
    }

    void* m_handle;
    const fx::FxBundleInterface* m_interface;
    std::string m_path;
};

} // namespace huecast::host
