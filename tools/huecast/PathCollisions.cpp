// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/PathCollisions.h"

#include <filesystem>
#include <map>

#include <fmt/format.h>
#include <sys/stat.h>

namespace huecast::tool
{
namespace
{

// What makes two paths one file: the device and inode of an existing file (links and all),
// else the path with every existing folder and link on it resolved.
std::string identityOf(const std::string& path)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) == 0)
    {
        return fmt::format("inode {}:{}", info.st_dev, info.st_ino);
    }
    // Made absolute first: for a relative path none of whose parts exists, weakly_canonical
    // would keep it relative, so "b.png" and "./b.png" would differ.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
    return "path " + (error ? absolute : resolved).lexically_normal().string();
}

} // namespace

bool checkPathCollisions(const std::vector<RunPath>& reads, const std::vector<RunPath>& writes,
                         std::string* problem)
{
    std::map<std::string, const RunPath*> seen;
    for (const RunPath& read : reads)
    {
        seen.emplace(identityOf(read.path), &read);
    }
    for (const RunPath& write : writes)
    {
        const auto [place, isNew] = seen.emplace(identityOf(write.path), &write);
        if (!isNew)
        {
            const RunPath& other = *place->second;
            *problem = fmt::format(
                "{}: {} is the same file as {} {}; a run never writes over a file it reads or "
                "another it writes",
                write.path, write.role, other.role, other.path);
            return false;
        }
    }
    return true;
}

} // namespace huecast::tool
