// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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

private:
    int m_fd;
};

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
    const char* what = S_ISFIFO(info.st_mode)   ? "a named pipe (FIFO)"
                       : S_ISCHR(info.st_mode)  ? "a character device"
                       : S_ISBLK(info.st_mode)  ? "a block device"
                       : S_ISSOCK(info.st_mode) ? "a socket"
                                                : "a special file";
    setReadError(error, path, kFileNotRegularError,
                 fmt::format("it is {}, not a regular file", what));
    return false;
}

} // namespace

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

std::optional<std::string> readUtf8File(const std::string& path, std::uint64_t maxBytes,
                                        Error* error)
{
    // Checked before opening too: opening a named pipe blocks until a writer comes, and
    // opening a device may act on it.
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
    {
        const int code = errno;
        setReadError(error, path, code,
                     code == ELOOP ? "its symbolic links form a loop" : std::strerror(code));
        return std::nullopt;
    }
    if (!refuseUnlessRegular(info, path, error))
    {
        return std::nullopt;
    }
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0)
    {
        const int code = errno;
        setReadError(error, path, code, std::strerror(code));
        return std::nullopt;
    }
    // Something else may have been put at the path in between.
    if (!refuseUnlessRegular(info, path, error))
    {
        return std::nullopt;
    }
    maxBytes = std::min(maxBytes, kMaxWholeFileBytes);
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
    {
        setReadError(error, path, kFileTooLargeError,
                     fmt::format("it is larger than {} bytes", maxBytes));
        return std::nullopt;
    }

    // The size is known: a file that grows meanwhile is read as it was when opened. The text
    // grows chunk by chunk, each read straight into it, so a binary file (a sparse one, a frame
    // chosen by mistake) ends at its first NUL byte, having cost no more memory than was read
    // (and a chunk).
    constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    const auto size = static_cast<std::size_t>(info.st_size);
    std::string text;
    text.reserve(size);
    adviseHugePages(text.data(), text.capacity());
    while (text.size() < size)
    {
        const std::size_t done = text.size();
        prepareForWriting(text.data() + done, std::min(kChunkBytes, size - done));
        text.resize(done + std::min(kChunkBytes, size - done));
        const ssize_t count = ::read(file.get(), text.data() + done, text.size() - done);
        const int code = errno;
        text.resize(done + static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
        if (count < 0)
        {
            if (code == EINTR)
            {
                continue;
            }
            setReadError(error, path, code, std::strerror(code));
            return std::nullopt;
        }
        if (count == 0)
        {
            break;
        }
        const auto length = static_cast<std::size_t>(count);
        if (const void* nul = std::memchr(text.data() + done, 0, length))
        {
            setReadError(error, path, kFileNotUtf8Error,
                         fmt::format("it is not text (a NUL byte at offset {})",
                                     static_cast<const char*>(nul) - text.data()));
            return std::nullopt;
        }
    }

    if (const auto offset = firstInvalidUtf8(text))
    {
        setReadError(error, path, kFileNotUtf8Error,
                     fmt::format("it is not valid UTF-8 text (byte {} at offset {})",
                                 static_cast<unsigned>(static_cast<unsigned char>(text[*offset])),
                                 *offset));
        return std::nullopt;
    }
    return text;
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
