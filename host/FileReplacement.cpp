// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/FileReplacement.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/FileSystem.h"

namespace huecast::host
{
namespace
{

namespace fs = std::filesystem;

constexpr std::string_view kMarker = ".huecast-";
constexpr std::string_view kSuffix = ".partial";
constexpr std::size_t kMaxNameBytes = NAME_MAX;

// The temporary being written, for the signal handler: a fixed buffer, since a handler may
// neither allocate nor follow a pointer that the main thread is freeing.
std::array<char, PATH_MAX> gInFlight{};
std::atomic<bool> gHasInFlight{false};

extern "C" void removeInFlightAndDie(int signal)
{
    if (gHasInFlight.load())
    {
        ::unlink(gInFlight.data());
    }
    // The handler was reset to the default action on entry: the re-raised signal ends the
    // process once this returns, with the status a shell expects (128 + signal).
    ::raise(signal);
}

class InFlight
{
public:
    explicit InFlight(const std::string& temporary)
    {
        if (temporary.size() < gInFlight.size())
        {
            std::memcpy(gInFlight.data(), temporary.c_str(), temporary.size() + 1);
            gHasInFlight.store(true);
        }
    }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;
    ~InFlight() { gHasInFlight.store(false); }
};

const std::string& hostName()
{
    static const std::string name = []
    {
        std::array<char, HOST_NAME_MAX + 1> buffer{};
        std::string text =
            ::gethostname(buffer.data(), buffer.size() - 1) == 0 ? buffer.data() : "";
        for (char& c : text)
        {
            c = c == '/' ? '_' : c;
        }
        return text.empty() ? std::string("localhost") : text;
    }();
    return name;
}

std::string errnoText(int code)
{
    return std::strerror(code);
}

// Whether `name` is a temporary of a process of this machine that looks ended from here. (A
// process in another PID namespace, or on a machine of the same name, may look ended while it
// writes; the lock below tells.)
bool looksStaleTemporary(std::string_view name)
{
    const std::string ours = std::string(kMarker) + hostName() + "-";
    if (!name.starts_with('.') || !name.ends_with(kSuffix))
    {
        return false;
    }
    name.remove_suffix(kSuffix.size());
    const std::size_t dash = name.rfind('-');
    if (dash == std::string_view::npos || !name.substr(0, dash + 1).ends_with(ours))
    {
        return false;
    }
    const std::string_view digits = name.substr(dash + 1);
    pid_t pid = 0;
    const auto [end, code] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (code != std::errc() || end != digits.data() + digits.size() || pid <= 0)
    {
        return false;
    }
    return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Removes the temporary only when no process holds it: every writer keeps a lock on its own
// for as long as it writes, and a process that ends drops it. The lock is taken, and the name
// checked to be still the file locked, before the name goes.
// The writer's lock: an open-file-description lock, which no other descriptor's close drops
// (libraries open and close the temporary through /proc/self/fd) and which NFS carries to other
// machines. A write lock, so the descriptor must be open for writing.
bool lockWhole(int fd, bool wait)
{
    struct flock whole
    {
    };
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &whole) == 0;
}

// Removes the file at the path when no process holds its lock (it then belongs to no live
// writer), checking that the name is still the file locked; a symbolic link there is no one's
// temporary and goes. True when nothing stands at the path any more.
bool removeUnheld(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
    {
        return errno == ELOOP ? ::unlink(path.c_str()) == 0 : errno == ENOENT;
    }
    struct stat held
    {
    };
    struct stat named
    {
    };
    const bool removed = ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && lockWhole(fd, false) &&
                         ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
                         named.st_ino == held.st_ino && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

// Once per folder and process: a sequence of thousands of frames lists its folder once.
void removeStaleTemporaries(const fs::path& folder)
{
    static std::mutex mutex;
    static std::set<std::string> cleaned;
    const std::lock_guard lock(mutex);
    if (!cleaned.insert(folder.string()).second)
    {
        return;
    }
    for (const std::string& name : foundation::directoryEntryNames(folder.string()))
    {
        if (looksStaleTemporary(name))
        {
            (void)removeUnheld(folder / name);
        }
    }
}

// The temporary, made by this call and no one else, exclusively and never through a link, and
// locked at once for as long as it is open. What already stands at its name (a link planted
// there, the file of a process that had this PID before) is removed only when no one holds it:
// a live writer of the same name (another PID namespace, a farm machine named alike) keeps its
// file, and this write fails with EBUSY instead.
int createTemporary(const std::string& temporary)
{
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(temporary.c_str(), kFlags, 0666);
    if (fd < 0 && errno == EEXIST)
    {
        if (!removeUnheld(temporary))
        {
            errno = EBUSY;
            return -1;
        }
        fd = ::open(temporary.c_str(), kFlags, 0666);
    }
    if (fd >= 0)
    {
        // A file system without locks (some FUSE mounts, NFS without a lock manager) still
        // takes the write; its temporaries are then never taken for stale.
        (void)lockWhole(fd, true);
    }
    return fd;
}

// Whether the name still stands for the open file: nothing swapped another in during the write.
bool stillNamed(int fd, const std::string& temporary)
{
    struct stat opened
    {
    };
    struct stat named
    {
    };
    return ::fstat(fd, &opened) == 0 && ::lstat(temporary.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool fail(std::string* reason, std::string text)
{
    if (reason != nullptr)
    {
        *reason = std::move(text);
    }
    return false;
}

// Flushes the file's bytes to disk, and checks that its name is still the file written.
bool syncFile(int fd, const std::string& temporary, std::string* reason)
{
    if (::fsync(fd) != 0)
    {
        return fail(reason, errnoText(errno));
    }
    return stillNamed(fd, temporary) ||
           fail(reason, fmt::format("its temporary {} was replaced or removed while it was "
                                    "written",
                                    temporary));
}

} // namespace

std::string temporaryPathFor(const std::string& path)
{
    const fs::path target(path);
    const std::string tail = fmt::format("{}{}-{}{}", kMarker, hostName(), ::getpid(), kSuffix);
    std::string name = target.filename().string();
    // A name near the file system's limit still gets a temporary: its middle gives way.
    if (1 + name.size() + tail.size() > kMaxNameBytes)
    {
        name.resize(kMaxNameBytes > tail.size() + 1 ? kMaxNameBytes - tail.size() - 1 : 0);
    }
    return (target.parent_path() / ("." + name + tail)).string();
}

namespace
{

// The temporary takes the target's name: over whatever is there, or only where nothing is
// (a link fails with EEXIST then, where a rename would replace).
bool moveIntoPlace(const std::string& temporary, const std::string& path, bool replace)
{
    if (replace)
    {
        return ::rename(temporary.c_str(), path.c_str()) == 0;
    }
    if (::link(temporary.c_str(), path.c_str()) == 0)
    {
        ::unlink(temporary.c_str());
        return true;
    }
    // A file system without hard links may still rename without replacing.
    return errno != EEXIST &&
           ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
}

bool writeInPlace(const std::string& path, const TemporaryWriter& write, bool replace,
                  std::string* reason)
{
    const fs::path folder = fs::path(path).parent_path();
    removeStaleTemporaries(folder.empty() ? fs::path(".") : folder);

    const std::string temporary = temporaryPathFor(path);
    const InFlight inFlight(temporary);
    const int fd = createTemporary(temporary);
    if (fd < 0)
    {
        return fail(reason, errno == EBUSY ? fmt::format("another process is writing it (it holds "
                                                         "the temporary {})",
                                                         temporary)
                                           : errnoText(errno));
    }
    // Writers reach the file through the descriptor that made it, never by its name again:
    // libraries that want a name get the process's own link to the open file.
    const std::string written = fmt::format("/proc/self/fd/{}", fd);
    std::string problem;
    bool done = write(written, &problem) && syncFile(fd, temporary, &problem);
    if (done && !moveIntoPlace(temporary, path, replace))
    {
        problem = errnoText(errno);
        done = false;
    }
    if (!done && stillNamed(fd, temporary))
    {
        ::unlink(temporary.c_str());
    }
    ::close(fd);
    if (!done)
    {
        return fail(reason, problem.empty() ? std::string("unknown error") : problem);
    }
    // The rename itself reaches the disk with the folder.
    if (const int folderFd =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folderFd >= 0)
    {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

TemporaryWriter bytesWriter(std::string_view bytes)
{
    return [bytes](const std::string& temporary, std::string* problem) mutable
    {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0)
        {
            *problem = errnoText(errno);
            return false;
        }
        while (!bytes.empty())
        {
            const ssize_t count = ::write(fd, bytes.data(), bytes.size());
            if (count < 0 && errno == EINTR)
            {
                continue;
            }
            if (count <= 0)
            {
                *problem = errnoText(count < 0 ? errno : EIO);
                ::close(fd);
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(count));
        }
        if (::close(fd) != 0)
        {
            *problem = errnoText(errno);
            return false;
        }
        return true;
    };
}

} // namespace

bool replaceFile(const std::string& path, const TemporaryWriter& write, std::string* reason)
{
    return writeInPlace(path, write, true, reason);
}

bool replaceFileWithBytes(const std::string& path, std::string_view bytes, std::string* reason)
{
    return writeInPlace(path, bytesWriter(bytes), true, reason);
}

bool createFileWithBytes(const std::string& path, std::string_view bytes, std::string* reason)
{
    return writeInPlace(path, bytesWriter(bytes), false, reason);
}

void removeTemporaryOnSignals()
{
    struct sigaction action
    {
    };
    action.sa_handler = &removeInFlightAndDie;
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
    {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace huecast::host
