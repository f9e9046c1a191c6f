// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/FileReplacement.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <fmt/format.h>
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

// Whether `name` is a temporary of a process of this machine that has ended.
bool isStaleTemporary(std::string_view name)
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
        if (isStaleTemporary(name))
        {
            ::unlink((folder / name).c_str());
        }
    }
}

bool fail(std::string* reason, std::string text)
{
    if (reason != nullptr)
    {
        *reason = std::move(text);
    }
    return false;
}

// Flushes the file's bytes to disk.
bool syncFile(const std::string& path, std::string* reason)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
    {
        return fail(reason, errnoText(errno));
    }
    const bool synced = ::fsync(fd) == 0;
    const int code = errno;
    ::close(fd);
    return synced || fail(reason, errnoText(code));
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

bool replaceFile(const std::string& path, const TemporaryWriter& write, std::string* reason)
{
    const fs::path folder = fs::path(path).parent_path();
    removeStaleTemporaries(folder.empty() ? fs::path(".") : folder);

    const std::string temporary = temporaryPathFor(path);
    const InFlight inFlight(temporary);
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
    {
        return fail(reason, errnoText(errno));
    }
    ::close(fd);

    std::string problem;
    bool done = write(temporary, &problem) && syncFile(temporary, &problem);
    if (done && ::rename(temporary.c_str(), path.c_str()) != 0)
    {
        problem = errnoText(errno);
        done = false;
    }
    if (!done)
    {
        ::unlink(temporary.c_str());
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

bool replaceFileWithBytes(const std::string& path, std::string_view bytes, std::string* reason)
{
    return replaceFile(
        path,
        [bytes](const std::string& temporary, std::string* problem) mutable
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
        },
        reason);
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
