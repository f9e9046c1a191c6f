// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/FrameFiles.h"

#include <dlfcn.h>
#include <fmt/format.h>

#include "host/FrameFileModule.h"
#include "host/HostError.h"

namespace huecast::host
{
namespace
{

struct LoadedModule
{
    const FrameFileModule* module = nullptr;
    std::string failure;
};

// Found through the tool's library path first, then where this build put it. Never unloaded:
// formats it made hold its code.
LoadedModule loadModule()
{
    std::string reasons;
    for (const std::string& candidate :
         {std::string(kFrameFileModuleName),
          std::string(HUECAST_BUILT_LIBRARY_DIR "/") + kFrameFileModuleName})
    {
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle == nullptr)
        {
            const char* reason = dlerror();
            reasons = reason != nullptr ? reason : candidate;
            continue;
        }
        const auto entry = reinterpret_cast<decltype(&HuecastFrameFileModule)>(
            dlsym(handle, "HuecastFrameFileModule"));
        const FrameFileModule* module = entry != nullptr ? entry() : nullptr;
        if (module != nullptr && module->version == FrameFileModule::kVersion)
        {
            return {module, {}};
        }
        reasons = candidate + " has no compatible entry point";
    }
    return {nullptr, fmt::format("Frames can't be read or written: the frame-file module "
                                 "couldn't be loaded ({})",
                                 reasons)};
}

const FrameFileModule* frameFileModule(HostError code, foundation::Error* error)
{
    static const LoadedModule loaded = loadModule();
    if (loaded.module == nullptr)
    {
        hostError(error, code, loaded.failure);
    }
    return loaded.module;
}

} // namespace

bool readFrameFile(const std::string& path, Frame* frame, FrameFileFormat* format,
                   foundation::Error* error)
{
    const FrameFileModule* module = frameFileModule(HostError::FrameUnreadable, error);
    std::shared_ptr<const void> stored;
    int channels = 4;
    if (module == nullptr || !module->read(path, frame, &stored, &channels, error))
    {
        return false;
    }
    if (format != nullptr)
    {
        format->m_stored = std::move(stored);
        format->m_channels = channels;
    }
    return true;
}

bool writeFrameFile(const std::string& path, const Frame& frame, const FrameFileFormat& format,
                    foundation::Error* error)
{
    const FrameFileModule* module = frameFileModule(HostError::FrameNotWritten, error);
    return module != nullptr &&
           module->write(path, frame, format.m_stored.get(), format.writtenChannels(), error);
}

} // namespace huecast::host
