// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "plugin/BundleResources.h"

#include <dlfcn.h>

namespace huecast
{

std::string bundlePath()
{
    Dl_info info{};
    // Any function of this module will do: its address lies inside huecast.so.
    if (dladdr(reinterpret_cast<const void*>(&bundlePath), &info) == 0 || info.dli_fname == nullptr)
    {
        return {};
    }
    const std::string library = info.dli_fname;
    const std::size_t slash = library.rfind('/');
    return slash == std::string::npos ? std::string(".") : library.substr(0, slash);
}

std::string bundleResourcesPath()
{
    const std::string bundle = bundlePath();
    return bundle.empty() ? std::string() : bundle + "/resources";
}

} // namespace huecast
