// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/Memory.h"
#include "platform/foundation/Text.h"

namespace huecast::foundation
{
namespace
{

void setReadError(Error* error, const std::string& path, std::int64_t code,
                  const std::string& reason)
{
    setError(error, kFileErrorDomain, code,
             fmt::format("The file \"{}\" couldn't be read: {}", path, reason));
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
        {
            ::close(m_fd);
        }
    }
    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// What is there, for a refusal of anything but a regular file or a folder.
std::string specialFileReason(const struct stat& info)
{
    const char* what = S_ISFIFO(info.st_mode)   ? "a named pipe (FIFO)"
                       : S_ISCHR(info.st_mode)  ? "a character device"
                       : S_ISBLK(info.st_mode)  ? "a block device"
                       : S_ISSOCK(info.st_mode) ? "a socket"
                                                : "a special file";
    return fmt::format("it is {}, not a regular file", what);
}

// What is at the path when it is not a regular file, for the refusal.
bool refuseUnlessRegular(const struct stat& info, const std::string& path, Error* error)
{
    if (S_ISREG(info.st_mode))
    {
        return true;
    }
    if (S_ISDIR(info.st_mode))
    {
        setReadError(error, path, EISDIR, std::strerror(EISDIR));
        return false;
    }
    setReadError(error, path, kFileNotRegularError, specialFileReason(info));
    return false;
}

// Opens the regular file at the path for reading and learns its size; -1 after saying why
// not. Checked before opening too: opening a named pipe blocks until a writer comes, and
// opening a device may act on it.
int openRegularFile(const std::string& path, std::uint64_t maxBytes, std::size_t* size,
                    Error* error)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
    {
        const int code = errno;
        setReadError(error, path, code,
                     code == ELOOP ? "its symbolic links form a loop" : std::strerror(code));
        return -1;
    }
    if (!refuseUnlessRegular(info, path, error))
    {
        return -1;
    }
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0)
    {
        const int code = errno;
        setReadError(error, path, code, std::strerror(code));
        return -1;
    }
    // Something else may have been put at the path in between.
    if (!refuseUnlessRegular(info, path, error))
    {
        return -1;
    }
    maxBytes = std::min(maxBytes, kMaxWholeFileBytes);
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
    {
        setReadError(error, path, kFileTooLargeError,
                     fmt::format("it is larger than {} bytes", maxBytes));
        return -1;
    }
    *size = static_cast<std::size_t>(info.st_size);
    return file.release();
}

// The read buffer, and the whole lines at its front handed over to the consumer. The text is
// checked as UTF-8 as it goes, but an invalid byte is reported only once the whole file is
// read, so that a NUL byte anywhere comes first, as it does for readUtf8File.
class LineHandOver
{
public:
    using Consumer = std::function<bool(std::string_view, std::size_t)>;

    LineHandOver(std::size_t size, const Consumer& consume) : m_size(size), m_consume(consume)
    {
        m_buffer.reserve(std::min(size, 2 * kChunkBytes));
        prepareForWriting(m_buffer.data(), m_buffer.capacity());
    }

    static constexpr std::size_t kChunkBytes = std::size_t{1} << 18;

    [[nodiscard]] std::string& buffer() { return m_buffer; }
    /// The file's size when it was opened: what is read of it.
    [[nodiscard]] std::size_t size() const { return m_size; }
    /// The file offset of buffer()[0].
    [[nodiscard]] std::size_t handed() const { return m_handed; }

    /// Hands the buffer's first `length` bytes over and drops them from it.
    void handOver(std::size_t length)
    {
        const std::string_view lines(m_buffer.data(), length);
        if (const auto offset = m_invalid ? std::nullopt : firstInvalidUtf8(lines))
        {
            m_invalid = m_handed + *offset;
            m_invalidByte = static_cast<unsigned char>(lines[*offset]);
        }
        if (m_consuming && !m_invalid)
        {
            const std::size_t end = m_handed + length;
            m_consuming = m_consume(lines, m_size > end ? m_size - end : 0);
        }
        m_buffer.erase(0, length);
        m_handed += length;
    }

    /// False, after saying where, when the text handed over was not UTF-8.
    bool checkUtf8(const std::string& path, Error* error) const
    {
        if (!m_invalid)
        {
            return true;
        }
        setReadError(error, path, kFileNotUtf8Error,
                     fmt::format("it is not valid UTF-8 text (byte {} at offset {})", m_invalidByte,
                                 *m_invalid));
        return false;
    }

private:
    std::size_t m_size;
    const Consumer& m_consume;
    std::string m_buffer;
    std::size_t m_handed = 0;
    std::optional<std::size_t> m_invalid; // the first invalid byte's file offset
    unsigned m_invalidByte = 0;
    bool m_consuming = true;
};

// Reads the file's `size` bytes a chunk at a time into one buffer, so a binary file (a sparse
// one, a frame chosen by mistake) ends at its first NUL byte having cost no more memory than a
// chunk; a file that grows meanwhile is read as it was when opened. Whole lines are handed
// over as they arrive: a chunk is cut after its last one-byte newline, which is never part of a
// longer UTF-8 sequence. False after saying why the read failed.
bool readInLines(int file, const std::string& path, LineHandOver& lines, Error* error)
{
    std::string& buffer = lines.buffer();
    const std::size_t size = lines.size();
    std::size_t read = 0;
    while (read < size)
    {
        const std::size_t kept = buffer.size();
        buffer.resize(kept + std::min(LineHandOver::kChunkBytes, size - read));
        const ssize_t count = ::read(file, buffer.data() + kept, buffer.size() - kept);
        const int code = errno;
        buffer.resize(kept + static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
        if (count < 0)
        {
            if (code == EINTR)
            {
                continue;
            }
            setReadError(error, path, code, std::strerror(code));
            return false;
        }
        if (count == 0)
        {
            break;
        }
        const auto length = static_cast<std::size_t>(count);
        read += length;
        if (const void* nul = std::memchr(buffer.data() + kept, 0, length))
        {
            const auto offset =
                static_cast<std::size_t>(static_cast<const char*>(nul) - buffer.data());
            setReadError(
                error, path, kFileNotUtf8Error,
                fmt::format("it is not text (a NUL byte at offset {})", lines.handed() + offset));
            return false;
        }
        // Only the bytes just read can hold a newline: what was kept followed the last one. So
        // a line longer than a chunk is searched once, not again with every chunk added to it.
        const std::size_t lastNewline =
            std::string_view(buffer).substr(kept).find_last_of("\n\v\f\r");
        if (read < size && lastNewline != std::string_view::npos)
        {
            lines.handOver(kept + lastNewline + 1);
        }
    }
    if (!buffer.empty())
    {
        lines.handOver(buffer.size());
    }
    return true;
}

} // namespace

std::string whyNotRegularFile(const std::string& path)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
    {
        return errno == ELOOP ? "its symbolic links form a loop" : std::strerror(errno);
    }
    if (S_ISREG(info.st_mode))
    {
        return {};
    }
    return S_ISDIR(info.st_mode) ? "it is a folder" : specialFileReason(info);
}

bool fileExists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 || errno == ELOOP;
}

std::optional<std::string> readUtf8File(const std::string& path, Error* error)
{
    return readUtf8File(path, kMaxWholeFileBytes, error);
}

bool readUtf8FileInLines(const std::string& path, std::uint64_t maxBytes,
                         const std::function<bool(std::string_view, std::size_t)>& consume,
                         Error* error)
{
    std::size_t size = 0;
    const FileDescriptor file(openRegularFile(path, maxBytes, &size, error));
    if (file.get() < 0)
    {
        return false;
    }
    LineHandOver lines(size, consume);
    return readInLines(file.get(), path, lines, error) && lines.checkUtf8(path, error);
}

std::optional<std::string> readUtf8File(const std::string& path, std::uint64_t maxBytes,
                                        Error* error)
{
    std::string text;
    const bool read = readUtf8FileInLines(
        path, maxBytes,
        [&text](std::string_view lines, std::size_t bytesAfter)
        {
            if (text.empty())
            {
                text.reserve(lines.size() + bytesAfter);
            }
            text += lines;
            return true;
        },
        error);
    return read ? std::optional<std::string>(std::move(text)) : std::nullopt;
}

std::vector<std::string> directoryEntryNames(const std::string& path)
{
    std::vector<std::string> names;
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr)
    {
        return names;
    }
    while (const dirent* entry = ::readdir(folder))
    {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
        {
            names.emplace_back(name);
        }
    }
    ::closedir(folder);
    return names;
}

} // namespace huecast::foundation
