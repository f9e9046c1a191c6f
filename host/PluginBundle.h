// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>

#include "host/HostError.h"
#include "platform/foundation/Error.h"
#include "platform/fx/FxBundle.h"

namespace huecast::host
{

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
