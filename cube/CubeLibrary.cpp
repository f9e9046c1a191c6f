// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/CubeLibrary.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string_view>

#include "cube/CubeKeys.h"
#include "cube/ZRCubeReader.h"
#include "platform/foundation/Paths.h"

namespace huecast
{
namespace
{

constexpr std::string_view kLutsFolder = "/huecast/luts";

std::string withoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
    {
        folder.pop_back();
    }
    return folder;
}

// An XDG variable's value, or the default when it is unset or empty.
std::string variableOr(const char* name, std::string fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

} // namespace

std::vector<std::string> cubeLibraryFolders()
{
    std::vector<std::string> folders = {
        withoutTrailingSlashes(foundation::expandTilde(kDefaultCubesLocation))};
    const std::string home = foundation::homeDirectory();
    std::vector<std::string> dataFolders = {
        variableOr("XDG_DATA_HOME", home.empty() ? std::string() : home + "/.local/share")};
    const std::string dataDirs = variableOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    for (std::size_t start = 0; start <= dataDirs.size();)
    {
        const std::size_t end = std::min(dataDirs.find(':', start), dataDirs.size());
        dataFolders.push_back(dataDirs.substr(start, end - start));
        start = end + 1;
    }
    for (const std::string& data : dataFolders)
    {
        // Relative paths are invalid there: they would depend on where a host was started.
        if (data.starts_with('/'))
        {
            const std::string folder = withoutTrailingSlashes(data) + std::string(kLutsFolder);
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            {
                folders.push_back(folder);
            }
        }
    }
    return folders;
}

std::vector<CubeLibraryEntry> cubeLibraryEntries(const std::vector<std::string>& folders)
{
    std::vector<CubeLibraryEntry> entries;
    std::set<std::string, std::less<>> seen;
    for (const std::string& folder : folders)
    {
        for (std::string& name : ZRCubeReader::cubesAtPath(folder))
        {
            if (seen.insert(name).second)
            {
                entries.push_back({std::move(name), folder});
            }
        }
    }
    return entries;
}

} // namespace huecast
