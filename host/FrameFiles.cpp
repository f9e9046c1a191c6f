// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/FrameFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <set>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/FileReplacement.h"
#include "host/FrameFileBounds.h"
#include "host/FrameFileModule.h"
#include "host/HostError.h"
#include "host/HostModules.h"
#include "host/frames/CommonFrameFileModule.h"
#include "platform/foundation/FileSystem.h"

namespace huecast::host
{
namespace
{

const FrameFileModule* frameFileModule(HostError code, foundation::Error* error)
{
    static const auto loaded = loadHostModule<FrameFileModule>(
        kFrameFileModuleName, "HuecastFrameFileModule",
        "Frames can't be read or written: the frame-file module couldn't be loaded");
    return loadedOrError(loaded, code, error);
}

// Without it every frame still goes through OpenImageIO, only slower.
const CommonFrameFileModule* commonFrameFileModule()
{
    static const auto loaded = loadHostModule<CommonFrameFileModule>(
        kCommonFrameFileModuleName, "HuecastCommonFrameFileModule", "");
    return loaded.module;
}

/// Writes through OpenImageIO, which needs its own description of a source another module read.
bool writeThroughOpenImageIO(const std::string& path, const std::string& temporary,
                             const Frame& frame,
                             const std::shared_ptr<const StoredFrameLayout>& stored, int channels,
                             const FrameWriteOptions& options, const std::string& source,
                             foundation::Error* error)
{
    const FrameFileModule* module = frameFileModule(HostError::FrameNotWritten, error);
    if (module == nullptr)
    {
        return false;
    }
    std::shared_ptr<const StoredFrameLayout> described = stored;
    if (stored != nullptr && stored->module != StoredFrameLayout::Module::OpenImageIO &&
        !module->readLayout(source, &described, error))
    {
        return false;
    }
    return module->write(path, temporary, frame, described.get(), channels, options, error);
}

// The first bytes that files of a format begin with, by the extensions that name the format.
struct Signature
{
    std::array<std::string_view, 2> extensions;
    std::string_view format;
    std::optional<frames::Family> family;   // the formats whose headers are held to their size
    std::array<std::string_view, 4> starts; // any one of them; empty ones match nothing
};

constexpr std::string_view operator""_bytes(const char* text, std::size_t size)
{
    return {text, size};
}

constexpr std::array<Signature, 5> kSignatures = {{
    {{".png", ""}, "PNG", frames::Family::Png, {"\x89PNG\r\n\x1a\n"_bytes}},
    {{".tif", ".tiff"},
     "TIFF",
     frames::Family::Tiff,
     {"II*\0"_bytes, "MM\0*"_bytes, "II+\0"_bytes, "MM\0+"_bytes}},
    {{".exr", ""}, "OpenEXR", frames::Family::OpenExr, {"\x76\x2f\x31\x01"_bytes}},
    {{".jpg", ".jpeg"}, "JPEG", std::nullopt, {"\xff\xd8\xff"_bytes}},
    {{".dpx", ""}, "DPX", std::nullopt, {"SDPX"_bytes, "XPDS"_bytes}},
}};

} // namespace

// Only a regular file (or a link to one) is read as a frame: a named pipe would block for
// ever and a device never ends. And a file whose name promises a format its first bytes don't
// hold is refused here, before OpenImageIO tries every other format on it (seconds for ten
// megabytes of zeros, minutes for a large sparse file).
bool beginsAs(const Signature& signature, std::string_view head)
{
    return std::any_of(signature.starts.begin(), signature.starts.end(),
                       [&](std::string_view start)
                       { return !start.empty() && head.starts_with(start); });
}

bool checkFrameFile(const std::string& path, foundation::Error* error)
{
    if (std::string why = foundation::whyNotRegularFile(path); !why.empty())
    {
        why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
        return hostError(error, HostError::FrameUnreadable, why);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        const std::string reason = fd < 0 ? std::strerror(errno) : "It is no longer a regular file";
        if (fd >= 0)
        {
            ::close(fd);
        }
        return hostError(error, HostError::FrameUnreadable, reason);
    }
    std::array<char, 8> first{};
    const ssize_t got = ::read(fd, first.data(), first.size());
    const std::string_view head(first.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::string extension = frames::lowerExtension(path);
    const auto named = std::find_if(
        kSignatures.begin(), kSignatures.end(),
        [&](const Signature& known)
        {
            return !extension.empty() && std::find(known.extensions.begin(), known.extensions.end(),
                                                   extension) != known.extensions.end();
        });
    if (named != kSignatures.end() && !beginsAs(*named, head))
    {
        ::close(fd);
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("Not a {} file: it doesn't begin as {} files do",
                                     named->format, named->format));
    }
    // The format the bytes show, whatever the name says: a reader that probes every format
    // would find it there too.
    const auto shown = std::find_if(kSignatures.begin(), kSignatures.end(),
                                    [&](const Signature& known) { return beginsAs(known, head); });
    const bool fits =
        shown == kSignatures.end() || !shown->family ||
        checkDeclaredSize(fd, *shown->family, static_cast<std::uint64_t>(info.st_size), error);
    ::close(fd);
    return fits;
}

void loadFrameFileModules(const std::string& input, const std::string& output)
{
    const auto family = frames::familyOfName(input);
    if (family)
    {
        (void)commonFrameFileModule();
    }
    if (!family || family != frames::familyOfName(output))
    {
        foundation::Error ignored; // a failure is reported again by the read or write needing it
        frameFileModule(HostError::FrameUnreadable, &ignored);
    }
}

bool readFrameFile(const std::string& path, Frame* frame, FrameFileFormat* format,
                   foundation::Error* error)
{
    if (!checkFrameFile(path, error))
    {
        return false;
    }
    std::shared_ptr<const StoredFrameLayout> stored;
    int channels = 4;
    const CommonFrameFileModule* common =
        frames::familyOfName(path) ? commonFrameFileModule() : nullptr;
    std::string damage;
    if (common != nullptr && common->read(path, frame, &stored, &channels, &damage))
    {
        if (format != nullptr)
        {
            format->keepSource(std::move(stored), channels, path);
        }
        return true;
    }
    if (!damage.empty())
    {
        return hostError(error, HostError::FrameUnreadable, damage);
    }
    // Everything else, and what the common reader declines: OpenImageIO reads it or says what is
    // wrong.
    const FrameFileModule* module = frameFileModule(HostError::FrameUnreadable, error);
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
    const bool readByCommon = format.m_stored != nullptr &&
                              format.m_stored->module == StoredFrameLayout::Module::CommonFormats;
    const CommonFrameFileModule* common = readByCommon ? commonFrameFileModule() : nullptr;
    std::string reason;
    const bool written = replaceFile(
        path,
        [&](const std::string& temporary, std::string* problem)
        {
            if (common != nullptr && common->write(path, temporary, frame, format.m_stored.get(),
                                                   format.writtenChannels(), format.m_options))
            {
                return true;
            }
            foundation::Error writeError;
            if (writeThroughOpenImageIO(path, temporary, frame, format.m_stored,
                                        format.writtenChannels(), format.m_options, format.m_source,
                                        &writeError))
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

bool storesPremultipliedColour(const std::string& path)
{
    return frames::familyOfName(path) == frames::Family::OpenExr;
}

namespace
{

template <typename T> void clearEmptyPixels(const Frame& read, Frame* graded)
{
    for (std::uint32_t y = 0; y < read.height(); ++y)
    {
        const std::span<const T> in = read.rowAs<T>(y);
        const std::span<T> out = graded->rowAs<T>(y);
        for (std::size_t x = 0; x < in.size(); x += Frame::kChannels)
        {
            if (in[x] == T(0) && in[x + 1] == T(0) && in[x + 2] == T(0) && in[x + 3] == T(0))
            {
                std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(x), 3, T(0));
            }
        }
    }
}

} // namespace

void keepEmptyPixelsEmpty(const Frame& read, Frame* graded)
{
    if (graded->width() != read.width() || graded->height() != read.height() ||
        graded->type() != read.type())
    {
        return;
    }
    switch (read.type())
    {
    case PixelType::UInt8:
        clearEmptyPixels<std::uint8_t>(read, graded);
        break;
    case PixelType::UInt16:
        clearEmptyPixels<std::uint16_t>(read, graded);
        break;
    case PixelType::Float:
        clearEmptyPixels<float>(read, graded);
        break;
    }
}

} // namespace huecast::host
