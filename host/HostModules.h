// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// The modules a host loads on first use (frame files, clips): each a struct of functions behind
// one entry point, built with the host.
#pragma once

#include <array>
#include <climits>
#include <string>

#include <dlfcn.h>
#include <fmt/format.h>

#include "host/HostError.h"
#include "platform/foundation/DynamicModule.h"

namespace huecast::host
{

template <typename Module> struct LoadedModule
{
    const Module* module = nullptr;
    std::string failure;
};

// The modules sit beside the kit library, which every host links: in the build tree's lib/ and
// in the installed private folder alike. Loaded by full path, since a sanitizer's dlopen
// interceptor hides the caller's RUNPATH; empty when the kit library's folder is unknown.
inline std::string besideKit(const char* name)
{
    void* kit = dlopen(HUECAST_KIT_LIBRARY, RTLD_LAZY | RTLD_NOLOAD);
    if (kit == nullptr)
    {
        return {};
    }
    std::array<char, PATH_MAX> origin{};
    const bool found = dlinfo(kit, RTLD_DI_ORIGIN, origin.data()) == 0;
    dlclose(kit);
    return found ? std::string(origin.data()) + "/" + name : std::string();
}

/// Loads the module beside the kit library, else by name through the library path, and checks
/// its interface version. Never unloaded: objects it made hold its code. On failure, the
/// failure says `what` and the reason.
template <typename Module>
LoadedModule<Module> loadHostModule(const char* name, const char* entryPoint, const char* what)
{
    std::string path = besideKit(name);
    if (path.empty())
    {
        path = name;
    }
    foundation::ModuleFailure failure;
    const Module* module =
        foundation::loadModule(path, entryPoint, &Module::version, Module::kVersion, &failure);
    if (module == nullptr)
    {
        return {nullptr, fmt::format("{} ({})", what, failure.reason)};
    }
    return {module, {}};
}

/// The module a load gave (kept in a function-local static), or null with its failure as an
/// error of `code`.
template <typename Module>
const Module* loadedOrError(const LoadedModule<Module>& loaded, HostError code,
                            foundation::Error* error)
{
    if (loaded.module == nullptr)
    {
        hostError(error, code, loaded.failure);
    }
    return loaded.module;
}

} // namespace huecast::host
