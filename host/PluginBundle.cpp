// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/PluginBundle.h"

#include <cstdlib>
#include <filesystem>

#include <dlfcn.h>
#include <fmt/format.h>
#include <unistd.h>

namespace huecast::host
{
namespace
{

bool isBundle(const std::filesystem::path& folder)
{
    std::error_code ignored;
    return std::filesystem::is_regular_file(folder / "huecast.so", ignored);
}

} // namespace

std::unique_ptr<PluginBundle> PluginBundle::load(const std::string& bundlePath,
                                                 foundation::Error* error)
{
    const std::string library = bundlePath + "/huecast.so";
    // The bundle stays mapped for the rest of the process: its cube cache lives that long,
    // and cubes it made may still be held by the host's objects.
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr)
    {
        const char* reason = dlerror();
        foundation::setError(error, kHostErrorDomain,
                             static_cast<std::int64_t>(HostError::BundleNotLoaded),
                             fmt::format("The plug-in bundle \"{}\" couldn't be loaded: {}",
                                         bundlePath, reason != nullptr ? reason : "unknown error"));
        return nullptr;
    }
    auto* entry =
        reinterpret_cast<fx::FxBundleEntryPoint>(dlsym(handle, fx::kBundleEntryPointName));
    const fx::FxBundleInterface* interface = entry != nullptr ? entry() : nullptr;
    if (interface == nullptr || interface->interfaceVersion != fx::kBundleInterfaceVersion ||
        interface->createFilter == nullptr || interface->destroyFilter == nullptr ||
        interface->decodeCustomValue == nullptr)
    {
        dlclose(handle);
        foundation::setError(error, kHostErrorDomain,
                             static_cast<std::int64_t>(HostError::NoEntryPoint),
                             fmt::format("\"{}\" is not a Huecast plug-in of interface version {}",
                                         library, fx::kBundleInterfaceVersion));
        return nullptr;
    }
    return std::unique_ptr<PluginBundle>(new PluginBundle(handle, interface, bundlePath));
}

PluginBundle::~PluginBundle()
{
    dlclose(m_handle);
}

std::string PluginBundle::defaultBundlePath()
{
    if (const char* configured = std::getenv("HUECAST_BUNDLE");
        configured != nullptr && *configured)
    {
        return configured;
    }
    // Only paths relative to the running executable: an installed tree works wherever it is
    // unpacked, and no installed file names the folder it was built in.
    std::error_code ignored;
    const std::filesystem::path executable =
        std::filesystem::read_symlink("/proc/self/exe", ignored);
    const std::filesystem::path folder = executable.parent_path();
    const std::filesystem::path installed = folder / HUECAST_PRIVATE_FROM_BINDIR / "Huecast.bundle";
    for (const auto& candidate :
         {folder / "Huecast.bundle", installed, folder / "../../Huecast.bundle"})
    {
        if (isBundle(candidate))
        {
            return std::filesystem::weakly_canonical(candidate, ignored).string();
        }
    }
    return installed.lexically_normal().string();
}

} // namespace huecast::host
