// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Paths.h"

#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace huecast::foundation
{
namespace
{

// getpwnam_r/getpwuid_r with a buffer of the size the system suggests.
std::string passwordDatabaseHome(const char* userName)
{
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    const int status = userName != nullptr
                           ? getpwnam_r(userName, &entry, buffer.data(), buffer.size(), &found)
                           : getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (status != 0 || found == nullptr || found->pw_dir == nullptr)
    {
        return {};
    }
    return found->pw_dir;
}

} // namespace

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    {
        return home;
    }
    return passwordDatabaseHome(nullptr);
}

std::string expandTilde(std::string_view path)
{
    if (path.empty() || path.front() != '~')
    {
        return std::string(path);
    }
    const std::size_t slash = path.find('/');
    const std::string_view user =
        path.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1);
    const std::string_view rest =
        slash == std::string_view::npos ? std::string_view{} : path.substr(slash);
    const std::string home =
        user.empty() ? homeDirectory() : passwordDatabaseHome(std::string(user).c_str());
    if (home.empty())
    {
        return std::string(path);
    }
    // "~/x" with a home of "/" must not become "//x".
    if (home.size() > 1 && home.back() == '/')
    {
        return home.substr(0, home.size() - 1) + std::string(rest);
    }
    return home == "/" && !rest.empty() ? std::string(rest) : home + std::string(rest);
}

std::string_view lastPathComponent(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
    {
        path.remove_suffix(1);
    }
    if (path == "/")
    {
        return path;
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view deletingPathExtension(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
    {
        return path;
    }
    return path.substr(0, dot);
}

} // namespace huecast::foundation
