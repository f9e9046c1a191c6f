// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/frames/BufferedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace huecast::host::frames
{
namespace
{

constexpr std::size_t kBufferBytes = std::size_t{1} << 20U;

} // namespace

BufferedFile::BufferedFile(int fd) : m_fd(fd)
{
    // One buffer per writing thread, kept: fresh pages for every frame cost more than the copy.
    thread_local std::vector<unsigned char> buffer(kBufferBytes);
    m_buffer = &buffer;
}

bool BufferedFile::write(const void* from, std::size_t count)
{
    if (m_position != m_bufferStart + m_length || m_length + count > m_buffer->size())
    {
        (void)flush();
        m_bufferStart = m_position;
    }
    if (count > m_buffer->size())
    {
        m_failed |= !writeAt(from, count, m_position);
        m_bufferStart = m_position + count;
    }
    else
    {
        std::memcpy(m_buffer->data() + m_length, from, count);
        m_length += count;
    }
    m_position += count;
    m_size = std::max(m_size, m_position);
    return !m_failed;
}

std::size_t BufferedFile::read(void* into, std::size_t count)
{
    (void)flush();
    const ssize_t got = ::pread(m_fd, into, count, static_cast<off_t>(m_position));
    if (got <= 0)
    {
        return 0;
    }
    m_position += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
}

std::uint64_t BufferedFile::seek(std::uint64_t offset, int whence)
{
    const std::uint64_t base = whence == SEEK_CUR ? m_position : (whence == SEEK_END ? m_size : 0);
    m_position = base + offset;
    return m_position;
}

bool BufferedFile::flush()
{
    if (m_length > 0)
    {
        m_failed |= !writeAt(m_buffer->data(), m_length, m_bufferStart);
        m_length = 0;
    }
    return !m_failed;
}

bool BufferedFile::writeAt(const void* from, std::size_t count, std::uint64_t offset) const
{
    const auto* bytes = static_cast<const unsigned char*>(from);
    while (count > 0)
    {
        const ssize_t done = ::pwrite(m_fd, bytes, count, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR)
        {
            continue;
        }
        if (done <= 0)
        {
            return false;
        }
        bytes += done;
        offset += static_cast<std::uint64_t>(done);
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

} // namespace huecast::host::frames
