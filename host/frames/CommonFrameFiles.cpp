// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// The common-format module: PNG, TIFF and OpenEXR frames through the libraries made for them.
#include <array>
#include <ctime>
#include <optional>

#include "host/frames/CommonFormats.h"
#include "host/frames/CommonFrameFileModule.h"

namespace huecast::host::frames
{

std::string timeOfWriting()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::array<char, 32> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y:%m:%d %H:%M:%S", &local);
    return {text.data(), length};
}

namespace
{

bool read(const std::string& path, Frame* frame, std::shared_ptr<const StoredLayout>* layout,
          int* channels, std::string* damage)
{
    const std::optional<Family> family = familyOfName(path);
    if (!family)
    {
        return false;
    }
    switch (*family)
    {
    case Family::Png:
        return readPng(path, frame, layout, channels, damage);
    case Family::Tiff:
        return readTiff(path, frame, layout, channels);
    case Family::OpenExr:
        return readOpenExr(path, frame, layout, channels);
    }
    return false;
}

bool write(const std::string& path, const std::string& destination, const Frame& frame,
           const StoredLayout& layout, int channels, const FrameWriteOptions& options)
{
    if (familyOfName(path) != layout.family)
    {
        return false; // another format's metadata: OpenImageIO maps it across
    }
    switch (layout.family)
    {
    case Family::Png:
        return writePng(destination, frame, layout, channels, options);
    case Family::Tiff:
        return writeTiff(destination, frame, layout, channels, options);
    case Family::OpenExr:
        return writeOpenExr(destination, frame, layout, channels, options);
    }
    return false;
}

// Nothing thrown inside (by a library, or memory running out) crosses into the host: the file
// is declined, and OpenImageIO gets its turn and gives the message.
bool guardedRead(const std::string& path, Frame* frame,
                 std::shared_ptr<const StoredFrameLayout>* stored, int* channels,
                 std::string* damage)
{
    try
    {
        std::shared_ptr<const StoredLayout> layout;
        if (!read(path, frame, &layout, channels, damage))
        {
            return false;
        }
        *stored = std::move(layout);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

bool guardedWrite(const std::string& path, const std::string& destination, const Frame& frame,
                  const StoredFrameLayout* stored, int channels, const FrameWriteOptions& options)
{
    try
    {
        return stored != nullptr && stored->module == StoredFrameLayout::Module::CommonFormats &&
               write(path, destination, frame, *static_cast<const StoredLayout*>(stored), channels,
                     options);
    }
    catch (...)
    {
        return false;
    }
}

} // namespace
} // namespace huecast::host::frames

const huecast::host::CommonFrameFileModule* HuecastCommonFrameFileModule()
{
    static const huecast::host::CommonFrameFileModule module{
        huecast::host::CommonFrameFileModule::kVersion, huecast::host::frames::guardedRead,
        huecast::host::frames::guardedWrite};
    return &module;
}
