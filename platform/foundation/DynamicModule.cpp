// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/DynamicModule.h"

#include <dlfcn.h>

namespace huecast::foundation
{

void* findModuleEntry(const std::string& path, const char* entryPoint, ModuleFailure* failure)
{
    // NODELETE: the code stays mapped for whatever the module made, whoever holds it.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr)
    {
        const char* reason = dlerror();
        if (failure != nullptr)
        {
            *failure = {ModuleFailure::Kind::NotLoaded, reason != nullptr ? reason : path};
        }
        return nullptr;
    }
    void* entry = dlsym(handle, entryPoint);
    if (entry == nullptr)
    {
        failIncompatibleModule(path, failure);
    }
    return entry;
}

void failIncompatibleModule(const std::string& path, ModuleFailure* failure)
{
    if (failure != nullptr)
    {
        *failure = {ModuleFailure::Kind::NoEntryPoint,
                    std::filesystem::path(path).lexically_normal().string() +
                        " has no compatible entry point"};
    }
}

std::filesystem::path executableFolder()
{
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
}

std::filesystem::path moduleFolderOf(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
    {
        return {};
    }
    std::error_code ignored;
    return std::filesystem::weakly_canonical(info.dli_fname, ignored).parent_path();
}

} // namespace huecast::foundation
