// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/FrameFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <filesystem>
#include <set>

#include <dlfcn.h>
#include <fmt/format.h>

#include "host/FileReplacement.h"
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

// The module sits beside the kit library, which every host links: in the build tree's lib/ and
// in the installed private folder alike. Loaded by full path, since a sanitizer's dlopen
// interceptor hides the caller's RUNPATH; empty when the kit library's folder is unknown.
std::string moduleBesideKit()
{
    void* kit = dlopen(HUECAST_KIT_LIBRARY, RTLD_LAZY | RTLD_NOLOAD);
    if (kit == nullptr)
    {
        return {};
    }
    std::array<char, PATH_MAX> origin{};
    const bool found = dlinfo(kit, RTLD_DI_ORIGIN, origin.data()) == 0;
    dlclose(kit);
    return found ? std::string(origin.data()) + "/" + kFrameFileModuleName : std::string();
}

// Beside the kit library, else by name through the library path. Never unloaded: formats it
// made hold its code.
LoadedModule loadModule()
{
    std::string path = moduleBesideKit();
    if (path.empty())
    {
        path = kFrameFileModuleName;
    }
    const auto failed = [](const std::string& reason)
    {
        return LoadedModule{nullptr, fmt::format("Frames can't be read or written: the frame-file "
                                                 "module couldn't be loaded ({})",
                                                 reason)};
    };
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr)
    {
        const char* reason = dlerror();
        return failed(reason != nullptr ? reason : path);
    }
    const auto entry = reinterpret_cast<decltype(&HuecastFrameFileModule)>(
        dlsym(handle, "HuecastFrameFileModule"));
    const FrameFileModule* module = entry != nullptr ? entry() : nullptr;
    if (module == nullptr || module->version != FrameFileModule::kVersion)
    {
        return failed(path + " has no compatible entry point");
    }
    return {module, {}};
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

void loadFrameFileModule()
{
    foundation::Error ignored; // a failure is reported again by the read or write that needs it
    frameFileModule(HostError::FrameUnreadable, &ignored);
}

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
        format->keepSource(std::move(stored), channels);
    }
    return true;
}

bool writeFrameFile(const std::string& path, const Frame& frame, const FrameFileFormat& format,
                    foundation::Error* error)
{
    const FrameFileModule* module = frameFileModule(HostError::FrameNotWritten, error);
    if (module == nullptr)
    {
        return false;
    }
    std::string reason;
    const bool written = replaceFile(
        path,
        [&](const std::string& temporary, std::string* problem)
        {
            foundation::Error writeError;
            if (module->write(path, temporary, frame, format.m_stored.get(),
                              format.writtenChannels(), format.m_options, &writeError))
            {
                return true;
            }
            // The user asked for `path`; the temporary is this host's business.
            *problem = writeError.localizedDescription();
            for (std::size_t at = 0; (at = problem->find(temporary, at)) != std::string::npos;
                 at += path.size())
            {
                problem->replace(at, temporary.size(), path);
            }
            return false;
        },
        &reason);
    return written || hostError(error, HostError::FrameNotWritten, reason);
}

bool isMovieFileName(const std::string& path)
{
    // What OpenImageIO's movie reader opens, and the containers it refuses but a user may
    // still hand over: those fail as clips, with a message, rather than as one odd frame.
    static const std::set<std::string, std::less<>> kMovieExtensions = {
        ".3g2",  ".3gp", ".avi", ".m2ts", ".m4v", ".mj2", ".mkv",  ".mov", ".mp4",
        ".mpeg", ".mpg", ".mts", ".mxf",  ".ogv", ".qt",  ".webm", ".wmv"};
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return kMovieExtensions.contains(extension);
}

std::unique_ptr<ClipReader> ClipReader::open(const std::string& path, foundation::Error* error)
{
    const FrameFileModule* module = frameFileModule(HostError::FrameUnreadable, error);
    std::unique_ptr<ClipReader> reader(new ClipReader);
    if (module == nullptr || !module->openClip(path, &reader->m_clip, &reader->m_frames, error))
    {
        return nullptr;
    }
    return reader;
}

bool ClipReader::readFrame(long index, Frame* frame, FrameFileFormat* format,
                           foundation::Error* error)
{
    const FrameFileModule* module = frameFileModule(HostError::FrameUnreadable, error);
    std::shared_ptr<const void> stored;
    int channels = 4;
    if (module == nullptr ||
        !module->readClipFrame(m_clip.get(), index, frame, &stored, &channels, error))
    {
        return false;
    }
    if (format != nullptr)
    {
        format->keepSource(std::move(stored), channels);
    }
    return true;
}

} // namespace huecast::host
