// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSBundle.h"

#include <filesystem>

#include <dlfcn.h>

namespace huecast::kit
{

std::optional<NSBundle> NSBundle::bundleContainingAddress(const void* address)
{
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr)
    {
        return std::nullopt;
    }
    std::error_code ignored;
    std::filesystem::path module = std::filesystem::weakly_canonical(info.dli_fname, ignored);
    if (module.empty())
    {
        module = info.dli_fname;
    }
    const std::filesystem::path folder = module.parent_path();
    return NSBundle(folder.empty() ? std::string(".") : folder.string());
}

std::string NSBundle::pathForResource(std::string_view name, std::string_view type) const
{
    std::string file(name);
    if (!type.empty())
    {
        file += '.';
        file += type;
    }
    const std::filesystem::path path = std::filesystem::path(resourcePath()) / file;
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) ? path.string() : std::string();
}

} // namespace huecast::kit
