// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// A classic TIFF file's directories as stored, read before any library opens the file: by the
// host's check of what the file declares, and by the module's check of its tags.
#pragma once

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <unistd.h>

namespace huecast::host::frames
{

/// A stored 16-bit number, in the file's byte order.
inline std::uint16_t u16(const unsigned char* bytes, bool bigEndian)
{
    return bigEndian ? static_cast<std::uint16_t>((bytes[0] << 8U) | bytes[1])
                     : static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8U));
}

/// A stored 32-bit number, in the file's byte order.
inline std::uint32_t u32(const unsigned char* bytes, bool bigEndian)
{
    const std::uint32_t high = u16(bytes + (bigEndian ? 0 : 2), bigEndian);
    const std::uint32_t low = u16(bytes + (bigEndian ? 2 : 0), bigEndian);
    return (high << 16U) | low;
}

/// Reads `size` bytes at `offset` of the file; false if the file ends first or a read fails.
[[nodiscard]] inline bool readAt(int fd, std::uint64_t offset, void* into, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(into);
    while (size > 0)
    {
        const ssize_t count = ::pread(fd, bytes, size, static_cast<off_t>(offset));
        if (count < 0 && errno == EINTR)
        {
            continue;
        }
        if (count <= 0)
        {
            return false;
        }
        bytes += count;
        offset += static_cast<std::uint64_t>(count);
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

/// Where a classic TIFF file (either byte order) keeps its first directory.
struct TiffStart
{
    bool bigEndian = false;
    std::uint32_t firstDirectory = 0;
};

/// The byte order and first directory of a classic TIFF file; nothing for a BigTIFF or anything
/// else.
inline std::optional<TiffStart> readTiffStart(int fd)
{
    std::array<unsigned char, 8> header{};
    if (!readAt(fd, 0, header.data(), header.size()))
    {
        return std::nullopt;
    }
    const bool big = header[0] == 'M' && header[1] == 'M';
    if ((!big && (header[0] != 'I' || header[1] != 'I')) || u16(&header[2], big) != 42)
    {
        return std::nullopt;
    }
    return TiffStart{big, u32(&header[4], big)};
}

/// One directory: its 12-byte entries (tag, type, count, and the value or where it is) and the
/// offset of the next directory.
struct StoredDirectory
{
    std::vector<unsigned char> entries;
    std::uint32_t next = 0; ///< 0: the last, also where the file ends before saying, as to libtiff
    bool bigEndian = false;

    [[nodiscard]] std::size_t count() const { return entries.size() / 12; }
    [[nodiscard]] const unsigned char* entry(std::size_t index) const
    {
        return &entries[index * 12];
    }
    [[nodiscard]] std::uint16_t tag(std::size_t index) const
    {
        return u16(entry(index), bigEndian);
    }
    [[nodiscard]] std::uint16_t type(std::size_t index) const
    {
        return u16(entry(index) + 2, bigEndian);
    }
    [[nodiscard]] std::uint32_t valueCount(std::size_t index) const
    {
        return u32(entry(index) + 4, bigEndian);
    }
    /// The entry's value field: the value when it fits in four bytes, else where it is.
    [[nodiscard]] std::uint32_t valueField(std::size_t index) const
    {
        return u32(entry(index) + 8, bigEndian);
    }
};

/// The directory at `offset` (at most 65535 entries, so less than a megabyte); nothing where
/// there is none or the file ends inside its entries.
inline std::optional<StoredDirectory> readStoredDirectory(int fd, std::uint32_t offset,
                                                          bool bigEndian)
{
    std::array<unsigned char, 4> count{};
    if (offset == 0 || !readAt(fd, offset, count.data(), 2))
    {
        return std::nullopt;
    }
    StoredDirectory directory;
    directory.bigEndian = bigEndian;
    directory.entries.resize(std::size_t{u16(count.data(), bigEndian)} * 12);
    const std::uint64_t end = std::uint64_t{offset} + 2 + directory.entries.size();
    if (!readAt(fd, offset + 2ULL, directory.entries.data(), directory.entries.size()))
    {
        return std::nullopt;
    }
    if (readAt(fd, end, count.data(), count.size()))
    {
        directory.next = u32(count.data(), bigEndian);
    }
    return directory;
}

} // namespace huecast::host::frames
