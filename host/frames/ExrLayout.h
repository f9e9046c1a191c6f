// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Inside the OpenEXR reader and writer: what a read keeps of a file, the attributes both sides
// know, and the library's set-up.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfThreading.h>

#include "host/frames/CommonFormats.h"

namespace huecast::host::frames
{

/// What a read kept: the source's header (only attributes the writer is known to carry over as
/// OpenImageIO does) and its channel type.
struct ExrLayout final : StoredLayout
{
    ExrLayout(Imf::Header sourceHeader, Imf::PixelType sourceType)
        : StoredLayout(Family::OpenExr), header(std::move(sourceHeader)), type(sourceType)
    {
    }

    const Imf::Header header;
    const Imf::PixelType type;
};

/// One attribute a taken file may hold: the type it must have, and whether OpenImageIO carries
/// it into the file it writes (the others are rebuilt from the frame and the options).
struct KnownAttribute
{
    std::string_view name;
    std::string_view type;
    bool carried;
};

// The attributes OpenImageIO's writer and ffmpeg's exr encoder put in a file (a density where
// render's source had one), each checked to come back through OpenImageIO as written here.
// Others are carried as they are when of a type below.
inline constexpr std::array<KnownAttribute, 16> kKnownAttributes{{
    {"tiles", "tiledesc", false},
    {"channels", "chlist", false},
    {"compression", "compression", false},
    {"dataWindow", "box2i", false},
    {"displayWindow", "box2i", false},
    {"lineOrder", "lineOrder", false},
    {"pixelAspectRatio", "float", true},
    {"screenWindowCenter", "v2f", true},
    {"screenWindowWidth", "float", true},
    {"capDate", "string", true},
    {"Software", "string", false},
    {"framesPerSecond", "rational", true},
    {"gamma", "float", true},
    {"writer", "string", true},
    {"xDensity", "float", true},
    {"ResolutionUnit", "string", false},
}};

inline const KnownAttribute* knownAttribute(std::string_view name)
{
    const auto* found =
        std::find_if(kKnownAttributes.begin(), kKnownAttributes.end(),
                     [&](const KnownAttribute& known) { return known.name == name; });
    return found != kKnownAttributes.end() ? found : nullptr;
}

/// Whether OpenImageIO reads an attribute no one above names into an attribute of the same
/// name and type, which its own write gives back unchanged (a tool's or a studio's strings and
/// numbers, comments, owner, chromaticities): so it is carried as it is. Its own "oiio:" names
/// it reads in ways of its own, and the attributes OpenEXR keeps for a part of a file describe
/// the source's file, not the one written.
inline bool isCarriedAsItIs(std::string_view name, std::string_view type)
{
    constexpr std::array<std::string_view, 11> kTypes{"string", "float", "double",        "int",
                                                      "v2i",    "v2f",   "v3i",           "v3f",
                                                      "m33f",   "m44f",  "chromaticities"};
    constexpr std::array<std::string_view, 4> kPartAttributes{"name", "type", "version",
                                                              "chunkCount"};
    return !name.starts_with("oiio:") &&
           std::find(kPartAttributes.begin(), kPartAttributes.end(), name) ==
               kPartAttributes.end() &&
           std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

/// Sets OpenEXR's worker pool once for the process. OpenImageIO makes it as large as its own
/// (OPENIMAGEIO_THREADS, else one per core); here the frames are read and written on two
/// threads of their own, and every worker beyond the cores those leave costs more in hand-offs
/// than it gains (an uncompressed file is a task per scan line), so the pool is two smaller.
inline void setUpThreads()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       int count = static_cast<int>(std::thread::hardware_concurrency());
                       if (const char* value = std::getenv("OPENIMAGEIO_THREADS"))
                       {
                           const int asked = std::atoi(value);
                           count = asked > 0 ? asked : count;
                       }
                       Imf::setGlobalThreadCount(std::max(count - 2, 0));
                   });
}

// Room for many scan lines between system calls: OpenEXR reads and writes a line at a time
// when the file is uncompressed.
inline constexpr std::size_t kStreamBuffer = std::size_t{1} << 20;

} // namespace huecast::host::frames
