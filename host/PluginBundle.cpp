// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/PluginBundle.h"

#include <cstdlib>

#include <fmt/format.h>

#include "platform/foundation/DynamicModule.h"

namespace huecast::host
{

std::unique_ptr<PluginBundle> PluginBundle::load(const std::string& bundlePath,
                                                 foundation::Error* error)
{
    const std::string library = bundlePath + "/huecast.so";
    foundation::ModuleFailure failure;
    const fx::FxBundleInterface* interface = foundation::loadModule(
        library, fx::kBundleEntryPointName, &fx::FxBundleInterface::interfaceVersion,
        fx::kBundleInterfaceVersion, &failure);
    if (interface == nullptr && failure.kind == foundation::ModuleFailure::Kind::NotLoaded)
    {
        foundation::setError(error, kHostErrorDomain,
                             static_cast<std::int64_t>(HostError::BundleNotLoaded),
                             fmt::format("The plug-in bundle \"{}\" couldn't be loaded: {}",
                                         bundlePath, failure.reason));
        return nullptr;
    }
    if (interface == nullptr || interface->createFilter == nullptr ||
        interface->destroyFilter == nullptr || interface->decodeCustomValue == nullptr)
    {
        foundation::setError(error, kHostErrorDomain,
                             static_cast<std::int64_t>(HostError::NoEntryPoint),
                             fmt::format("\"{}\" is not a Huecast plug-in of interface version {}",
                                         library, fx::kBundleInterfaceVersion));
        return nullptr;
    }
    return std::unique_ptr<PluginBundle>(new PluginBundle(interface, bundlePath));
}

std::string PluginBundle::defaultBundlePath()
{
    // Only paths relative to the running executable: an installed tree works wherever it is
    // unpacked, and no installed file names the folder it was built in.
    const std::filesystem::path folder = foundation::executableFolder();
    const std::filesystem::path installed = folder / HUECAST_PRIVATE_FROM_BINDIR / "Huecast.bundle";
    std::string found =
        find({folder / "Huecast.bundle", installed, folder / "../../Huecast.bundle"});
    return found.empty() ? installed.lexically_normal().string() : found;
}

std::string PluginBundle::find(const std::vector<std::filesystem::path>& candidates)
{
    if (const char* configured = std::getenv("HUECAST_BUNDLE");
        configured != nullptr && *configured)
    {
        return configured;
    }
    std::error_code ignored;
    for (const std::filesystem::path& candidate : candidates)
    {
        if (std::filesystem::is_regular_file(candidate / "huecast.so", ignored))
        {
            return std::filesystem::weakly_canonical(candidate, ignored).string();
        }
    }
    return {};
}

} // namespace huecast::host
