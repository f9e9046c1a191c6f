// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/FileSystem.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

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

void setWriteError(Error* error, const std::string& path, int code)
{
    setError(error, kFileErrorDomain, code,
             fmt::format("The file \"{}\" couldn't be written: {}", path, std::strerror(code)));
}

// Writes all the bytes, retrying short writes; 0 or the errno value.
int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty())
    {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR)
        {
            continue;
        }
        if (count <= 0)
        {
            return count < 0 ? errno : EIO;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return 0;
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

} // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes, Error* error)
{
    const std::size_t slash = path.rfind('/');
    std::string temporary =
        (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
        ".huecast-write-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
    {
        setWriteError(error, path, errno);
        return false;
    }
    int code = writeAll(fd, bytes);
    if (code == 0 && (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0))
    {
        code = errno;
    }
    if (::close(fd) != 0 && code == 0)
    {
        code = errno;
    }
    if (code == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
    {
        code = errno;
    }
    if (code != 0)
    {
        ::unlink(temporary.c_str());
        setWriteError(error, path, code);
        return false;
    }
    return true;
}

bool fileExists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0;
}

std::optional<std::string> readUtf8File(const std::string& path, Error* error)
{
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
    {
        const int code = errno;
        setReadError(error, path, code, std::strerror(code));
        return std::nullopt;
    }
    struct stat info
    {
    };
    if (::fstat(file.get(), &info) != 0)
    {
        const int code = errno;
        setReadError(error, path, code, std::strerror(code));
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode))
    {
        setReadError(error, path, EISDIR, std::strerror(EISDIR));
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxWholeFileBytes)
    {
        setReadError(error, path, kFileTooLargeError,
                     fmt::format("it is larger than {} bytes", kMaxWholeFileBytes));
        return std::nullopt;
    }

    // The size is a hint only (pipes and /proc files report 0): read until end of file, but
    // never past the limit. One spare byte lets the final read see the end without growing.
    std::string text;
    text.resize(info.st_size > 0 ? static_cast<std::size_t>(info.st_size) + 1 : 4096);
    std::size_t used = 0;
    for (;;)
    {
        if (used == text.size())
        {
            if (text.size() >= kMaxWholeFileBytes)
            {
                setReadError(error, path, kFileTooLargeError,
                             fmt::format("it is larger than {} bytes", kMaxWholeFileBytes));
                return std::nullopt;
            }
            text.resize(std::min<std::size_t>(text.size() * 2, kMaxWholeFileBytes));
        }
        const ssize_t count = ::read(file.get(), text.data() + used, text.size() - used);
        if (count < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            const int code = errno;
            setReadError(error, path, code, std::strerror(code));
            return std::nullopt;
        }
        if (count == 0)
        {
            break;
        }
        used += static_cast<std::size_t>(count);
    }
    text.resize(used);

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
