// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/LibraryCommand.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include <fmt/format.h>

#include "cube/CubeKeys.h"
#include "cube/CubeLibrary.h"
#include "cube/ZRCubeReader.h"
#include "host/FileReplacement.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Text.h"

namespace huecast::tool
{
namespace
{

namespace fs = std::filesystem;

std::string libraryFolder()
{
    return foundation::expandTilde(kDefaultCubesLocation);
}

// The reader's own messages, worded as the plug-in's alert words them.
std::string cubeProblem(const foundation::Error& error)
{
    return error.domain() == kDomain ? "Huecast Error: " + error.localizedDescription()
                                     : error.localizedDescription();
}

// Adds one file; true when it is in the library afterwards. Names are escaped for the
// terminal: a newline in one must not pass for two entries.
bool addOne(const std::string& path, const std::string& folder, bool force, std::FILE* out,
            std::FILE* errors)
{
    const std::string file = foundation::escapeForTerminal(path);
    std::error_code code;
    if (!fs::is_regular_file(path, code))
    {
        fmt::print(errors, "huecast: {}: {}\n", file,
                   fs::exists(path, code) ? "not a regular file" : "no such file");
        return false;
    }
    // The bytes checked are the bytes copied: the file is read once.
    foundation::Error error;
    const std::optional<std::string> text = foundation::readUtf8File(path, &error);
    if (!text || !ZRCubeReader::cubeFromText(*text, path, &error))
    {
        fmt::print(errors, "huecast: {}: {}\n", file,
                   foundation::escapeForTerminal(cubeProblem(error)));
        return false;
    }
    const std::string entry(foundation::deletingPathExtension(foundation::lastPathComponent(path)));
    const std::string name = foundation::escapeForTerminal(entry);
    if (entry.empty() || entry.front() == '.')
    {
        fmt::print(errors,
                   "huecast: {}: a library entry needs a name that doesn't start with '.'\n", file);
        return false;
    }
    const std::string target = folder + "/" + entry + ".cube";
    if (fs::exists(fs::symlink_status(target, code)))
    {
        const std::optional<std::string> present = foundation::readUtf8File(target, nullptr);
        if (present && *present == *text)
        {
            fmt::print(out, "{}: already in the library as {}\n", file, name);
            return true;
        }
        if (!force)
        {
            fmt::print(errors,
                       "huecast: {}: the library already holds a different {}.cube; "
                       "--force replaces it\n",
                       file, name);
            return false;
        }
    }
    // Whole or not at all: the library never holds a half-copied file. Without --force the
    // name is taken only if it is still free, so of two adds of one name at once one loses
    // and says so, rather than both saying they added it.
    std::string reason;
    const bool added = force ? host::replaceFileWithBytes(target, *text, &reason)
                             : host::createFileWithBytes(target, *text, &reason);
    if (!added && !force && fs::exists(fs::symlink_status(target, code)))
    {
        if (foundation::readUtf8File(target, nullptr) == text)
        {
            fmt::print(out, "{}: already in the library as {}\n", file, name);
            return true;
        }
        fmt::print(errors,
                   "huecast: {}: another file was added as {}.cube meanwhile; the library keeps "
                   "it (--force replaces it)\n",
                   file, name);
        return false;
    }
    if (!added)
    {
        fmt::print(errors, "huecast: {}: {} couldn't be written: {}\n", file,
                   foundation::escapeForTerminal(target), foundation::escapeForTerminal(reason));
        return false;
    }
    fmt::print(out, "{}: added as {}\n", file, name);
    return true;
}

} // namespace

int runLibraryList(std::FILE* out)
{
    // Names and folders are escaped for the terminal: a newline in one must not pass for two
    // entries, nor an escape sequence act on the terminal.
    const auto shown = [](const std::string& text) { return foundation::escapeForTerminal(text); };
    const std::vector<std::string> folders = cubeLibraryFolders();
    // Where each name was found first: the popup loads it from there.
    std::map<std::string, std::string, std::less<>> firstFolders;
    for (const std::string& folder : folders)
    {
        std::error_code code;
        if (!fs::is_directory(folder, code))
        {
            fmt::print(out, "{}/ ({})\n", shown(folder),
                       folder == folders.front()
                           ? "not made yet: huecast library --add FILE... makes it"
                           : "no such folder");
            continue;
        }
        fmt::print(out, "{}/\n", shown(folder));
        for (const std::string& name : ZRCubeReader::cubesAtPath(folder))
        {
            const auto [first, inserted] = firstFolders.try_emplace(name, folder);
            if (!inserted)
            {
                fmt::print(out, "{} (hidden by {}/{}.cube)\n", shown(name), shown(first->second),
                           shown(name));
                continue;
            }
            foundation::Error error;
            if (ZRCubeReader::cubeFromFile(folder + "/" + name + ".cube", &error))
            {
                fmt::print(out, "{}\n", shown(name));
            }
            else
            {
                fmt::print(out, "{} (won't load: {})\n", shown(name), shown(cubeProblem(error)));
            }
        }
    }
    return 0;
}

int runLibraryAdd(const std::vector<std::string>& files, bool force, std::FILE* out,
                  std::FILE* errors)
{
    std::string folder = libraryFolder();
    while (folder.size() > 1 && folder.back() == '/')
    {
        folder.pop_back();
    }
    std::error_code code;
    fs::create_directories(folder, code);
    if (code)
    {
        fmt::print(errors, "huecast: can't make the library folder {}: {}\n",
                   foundation::escapeForTerminal(folder), code.message());
        return 1;
    }
    bool allAdded = true;
    for (const std::string& file : files)
    {
        allAdded = addOne(file, folder, force, out, errors) && allAdded;
    }
    return allAdded ? 0 : 1;
}

} // namespace huecast::tool
