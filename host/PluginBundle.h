// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/HostError.h"
#include "platform/foundation/Error.h"
#include "platform/fx/FxBundle.h"

namespace huecast::host
{

/// A plug-in bundle loaded with dlopen: a folder holding huecast.so and resources/. Its code
/// stays mapped for the rest of the process: its cube cache lives that long, and cubes it made
/// may still be held by the host's objects.
class PluginBundle
{
public:
    /// Loads the bundle folder's huecast.so and checks its entry point; null with a
    /// kHostErrorDomain error naming the path on failure.
    [[nodiscard]] static std::unique_ptr<PluginBundle> load(const std::string& bundlePath,
                                                            foundation::Error* error);

    PluginBundle(const PluginBundle&) = delete;
    PluginBundle& operator=(const PluginBundle&) = delete;
    ~PluginBundle() = default;

    [[nodiscard]] const fx::FxBundleInterface& api() const { return *m_interface; }
    [[nodiscard]] const std::string& path() const { return m_path; }

    /// Where the tool finds the bundle: $HUECAST_BUNDLE when set, else Huecast.bundle beside
    /// the running executable, in the installed private folder relative to it, or two folders
    /// above it (the build tree's layout); when none holds one, the installed location.
    [[nodiscard]] static std::string defaultBundlePath();

    /// $HUECAST_BUNDLE when set, else the first of `candidates` that holds huecast.so, made
    /// canonical; empty when none does.
    [[nodiscard]] static std::string find(const std::vector<std::filesystem::path>& candidates);

private:
    PluginBundle(const fx::FxBundleInterface* interface, std::string path)
        : m_interface(interface), m_path(std::move(path))
    {
    }

    const fx::FxBundleInterface* m_interface;
    std::string m_path;
};

} // namespace huecast::host
