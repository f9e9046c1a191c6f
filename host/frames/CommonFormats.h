// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Inside the common-format module: one reader and one writer per format.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/Frame.h"
#include "host/FrameFiles.h"
#include "host/frames/CommonFrameFileModule.h"

namespace huecast::host::frames
{

/// What a read kept of a file to write the graded frame back with the metadata OpenImageIO
/// reported for it: each format derives its own.
struct StoredLayout : StoredFrameLayout
{
    explicit StoredLayout(Family kind) : StoredFrameLayout(Module::CommonFormats), family(kind) {}

    const Family family;
};

/// Each reader: true with the frame filled (as the OpenImageIO module fills it) and the layout
/// and source channel count set, or false for metadata it doesn't keep as OpenImageIO reports
/// it, or a file it can't read. Each writer: given its own family's layout, writes `destination`
/// from the start, or returns false for anything it doesn't reproduce exactly or can't write.
bool readPng(const std::string& path, Frame* frame, std::shared_ptr<const StoredLayout>* layout,
             int* channels, std::string* damage);
bool writePng(const std::string& destination, const Frame& frame, const StoredLayout& layout,
              int channels, const FrameWriteOptions& options);

bool readTiff(const std::string& path, Frame* frame, std::shared_ptr<const StoredLayout>* layout,
              int* channels);
bool writeTiff(const std::string& destination, const Frame& frame, const StoredLayout& layout,
               int channels, const FrameWriteOptions& options);

bool readOpenExr(const std::string& path, Frame* frame, std::shared_ptr<const StoredLayout>* layout,
                 int* channels);
bool writeOpenExr(const std::string& destination, const Frame& frame, const StoredLayout& layout,
                  int channels, const FrameWriteOptions& options);

/// Whether two names are the same but for case, as OpenImageIO compares its names and keys.
inline bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](unsigned char x, unsigned char y)
                                              { return std::tolower(x) == std::tolower(y); });
}

/// The time of writing as OpenImageIO stamps a file that names none: local time,
/// "YYYY:MM:DD HH:MM:SS".
[[nodiscard]] std::string timeOfWriting();

/// The Software tag every written frame carries.
inline constexpr const char* kSoftware = "Huecast " HUECAST_VERSION;

} // namespace huecast::host::frames
