// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// A classic TIFF file's directories as stored, read before any library opens the file: by the
// host's check of what the file declares, and by the module's check of its tags.
#pragma once

#include <algorithm>
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

/// A stored 64-bit number, in the file's byte order.
inline std::uint64_t u64(const unsigned char* bytes, bool bigEndian)
{
    const std::uint64_t high = u32(bytes + (bigEndian ? 0 : 4), bigEndian);
    const std::uint64_t low = u32(bytes + (bigEndian ? 4 : 0), bigEndian);
    return (high << 32U) | low;
}

/// How a TIFF file (either byte order, classic or BigTIFF) stores its directories, and where
/// the first one is.
struct TiffStart
{
    bool bigEndian = false;
    bool bigTiff = false; ///< 8-byte counts and offsets, 20-byte entries
    std::uint64_t firstDirectory = 0;
};

/// The byte order, kind and first directory of a TIFF file; nothing for anything else.
inline std::optional<TiffStart> readTiffStart(int fd)
{
    std::array<unsigned char, 16> header{};
    if (!readAt(fd, 0, header.data(), 8))
    {
        return std::nullopt;
    }
    const bool big = header[0] == 'M' && header[1] == 'M';
    if (!big && (header[0] != 'I' || header[1] != 'I'))
    {
        return std::nullopt;
    }
    if (u16(&header[2], big) == 42)
    {
        return TiffStart{big, false, u32(&header[4], big)};
    }
    // BigTIFF: 43, the offsets' size (8) and 0, then the first offset in 8 bytes.
    if (u16(&header[2], big) != 43 || u16(&header[4], big) != 8 || u16(&header[6], big) != 0 ||
        !readAt(fd, 8, &header[8], 8))
    {
        return std::nullopt;
    }
    return TiffStart{big, true, u64(&header[8], big)};
}

/// One directory: its entries (tag, type, count, and the value or where it is) and the offset
/// of the next directory.
struct StoredDirectory
{
    std::vector<unsigned char> entries;
    std::uint64_t next = 0; ///< 0: the last, also where the file ends before saying, as to libtiff
    bool bigEndian = false;
    bool bigTiff = false;

    /// What an entry's value field holds in place; a longer value is where the field points.
    [[nodiscard]] std::size_t valueBytes() const { return bigTiff ? 8 : 4; }
    [[nodiscard]] std::size_t entryBytes() const { return 4 + 2 * valueBytes(); }
    [[nodiscard]] std::size_t count() const { return entries.size() / entryBytes(); }
    [[nodiscard]] const unsigned char* entry(std::size_t index) const
    {
        return &entries[index * entryBytes()];
    }
    [[nodiscard]] std::uint16_t tag(std::size_t index) const
    {
        return u16(entry(index), bigEndian);
    }
    [[nodiscard]] std::uint16_t type(std::size_t index) const
    {
        return u16(entry(index) + 2, bigEndian);
    }
    [[nodiscard]] std::uint64_t valueCount(std::size_t index) const
    {
        return bigTiff ? u64(entry(index) + 4, bigEndian) : u32(entry(index) + 4, bigEndian);
    }
    /// The entry's value field, in place.
    [[nodiscard]] const unsigned char* valueField(std::size_t index) const
    {
        return entry(index) + 4 + valueBytes();
    }
    /// Where a value longer than the field is.
    [[nodiscard]] std::uint64_t valueOffset(std::size_t index) const
    {
        return bigTiff ? u64(valueField(index), bigEndian) : u32(valueField(index), bigEndian);
    }
};

// libtiff reads no directory of more entries than this.
inline constexpr std::uint64_t kMaxDirectoryEntries = 4096;

/// The directory at `offset`; nothing where there is none, it has more entries than libtiff
/// reads, or the file ends inside its entries.
inline std::optional<StoredDirectory> readStoredDirectory(int fd, std::uint64_t offset,
                                                          const TiffStart& start)
{
    StoredDirectory directory;
    directory.bigEndian = start.bigEndian;
    directory.bigTiff = start.bigTiff;
    const std::size_t countBytes = start.bigTiff ? 8 : 2;
    std::array<unsigned char, 8> number{};
    if (offset == 0 || !readAt(fd, offset, number.data(), countBytes))
    {
        return std::nullopt;
    }
    const std::uint64_t count =
        start.bigTiff ? u64(number.data(), start.bigEndian) : u16(number.data(), start.bigEndian);
    if (count > kMaxDirectoryEntries)
    {
        return std::nullopt;
    }
    directory.entries.resize(count * directory.entryBytes());
    const std::uint64_t entriesAt = offset + countBytes;
    if (!readAt(fd, entriesAt, directory.entries.data(), directory.entries.size()))
    {
        return std::nullopt;
    }
    if (readAt(fd, entriesAt + directory.entries.size(), number.data(), directory.valueBytes()))
    {
        directory.next = start.bigTiff ? u64(number.data(), start.bigEndian)
                                       : u32(number.data(), start.bigEndian);
    }
    return directory;
}

/// The first value of an entry of an integer type, unsigned, as libtiff reads a number from
/// any of them: from the entry, or from where it points when the values don't fit there.
/// Nothing for another type, no values, or a file that ends first.
inline std::optional<std::uint64_t> firstInteger(int fd, const StoredDirectory& directory,
                                                 std::size_t index)
{
    std::size_t size = 0;
    switch (directory.type(index))
    {
    case 1: // BYTE, SBYTE
    case 6:
        size = 1;
        break;
    case 3: // SHORT, SSHORT
    case 8:
        size = 2;
        break;
    case 4: // LONG, SLONG, IFD
    case 9:
    case 13:
        size = 4;
        break;
    case 16: // LONG8, SLONG8, IFD8
    case 17:
    case 18:
        size = 8;
        break;
    default:
        return std::nullopt;
    }
    const std::uint64_t count = directory.valueCount(index);
    std::array<unsigned char, 8> value{};
    if (count == 0)
    {
        return std::nullopt;
    }
    if (count <= directory.valueBytes() / size)
    {
        std::copy_n(directory.valueField(index), size, value.begin());
    }
    else if (!readAt(fd, directory.valueOffset(index), value.data(), size))
    {
        return std::nullopt;
    }
    const bool big = directory.bigEndian;
    switch (size)
    {
    case 1:
        return value[0];
    case 2:
        return u16(value.data(), big);
    case 4:
        return u32(value.data(), big);
    default:
        return u64(value.data(), big);
    }
}

} // namespace huecast::host::frames
