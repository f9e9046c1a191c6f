// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// A file written through a buffer at positions: for writers that append and seek back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace huecast::host::frames
{

/// The file being written, through a buffer: libtiff appends strip after strip (a strip per
/// row from ffmpeg's sources) and seeks back only to rewrite its header and directory, so
/// appends gather into large writes. Reads see what was written. Failures stick: every later
/// write and flush returns false.
class BufferedFile
{
public:
    /// Writes into `fd`, which stays the caller's.
    explicit BufferedFile(int fd);

    [[nodiscard]] bool write(const void* from, std::size_t count);
    [[nodiscard]] std::size_t read(void* into, std::size_t count);
    std::uint64_t seek(std::uint64_t offset, int whence);
    [[nodiscard]] std::uint64_t size() const { return m_size; }
    /// Writes what is buffered; false if any write failed.
    [[nodiscard]] bool flush();

private:
    [[nodiscard]] bool writeAt(const void* from, std::size_t count, std::uint64_t offset) const;

    int m_fd;
    std::vector<unsigned char>* m_buffer = nullptr;
    std::uint64_t m_bufferStart = 0;
    std::size_t m_length = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_size = 0;
    bool m_failed = false;
};

} // namespace huecast::host::frames
