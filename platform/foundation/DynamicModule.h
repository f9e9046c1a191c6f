// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace huecast::foundation
{

/// Why a module couldn't be used.
struct ModuleFailure
{
    enum class Kind : std::uint8_t
    {
        NotLoaded,    ///< the dynamic loader refused the file (missing, unreadable, unresolved)
        NoEntryPoint, ///< no entry point of that name, it gave nothing, or another version
    };
    Kind kind = Kind::NotLoaded;
    /// The dynamic loader's message, or "PATH has no compatible entry point".
    std::string reason;
};

/// Loads the shared module at `path` and finds the C function `entryPoint` in it. The module is
/// never unmapped: what it made may outlive whoever loaded it. Null, with `failure` written,
/// when the loader refuses the file or the module has no such function.
[[nodiscard]] void* findModuleEntry(const std::string& path, const char* entryPoint,
                                    ModuleFailure* failure);

/// Writes a NoEntryPoint failure for the module at `path` into `failure` (when not null).
void failIncompatibleModule(const std::string& path, ModuleFailure* failure);

/// Loads the module at `path` and returns what its entry point `entryPoint`, a C function that
/// takes nothing and returns the module's interface, returns, when that interface's `version`
/// member equals `expected`. Null, with `failure` written, when the module doesn't load, the
/// entry point is missing or gives null, or the interface is of another version.
template <typename Interface, typename Version>
[[nodiscard]] const Interface* loadModule(const std::string& path, const char* entryPoint,
                                          Version Interface::*version, Version expected,
                                          ModuleFailure* failure)
{
    using Entry = const Interface* (*)();
    // Called through its own type: a sanitizer checks the function type of indirect calls.
    const auto entry = reinterpret_cast<Entry>(findModuleEntry(path, entryPoint, failure));
    if (entry == nullptr)
    {
        return nullptr;
    }
    const Interface* interface = entry();
    if (interface == nullptr || interface->*version != expected)
    {
        failIncompatibleModule(path, failure);
        return nullptr;
    }
    return interface;
}

/// The folder of the running program's file (links resolved); empty when it can't be told.
[[nodiscard]] std::filesystem::path executableFolder();

/// The folder of the loaded module (program or shared library) that holds `address`, links
/// resolved; empty when no module holds it.
[[nodiscard]] std::filesystem::path moduleFolderOf(const void* address);

} // namespace huecast::foundation
