// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/CheckCommand.h"

#include <filesystem>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "cube/ZRCubeReader.h"
#include "host/Base64.h"
#include "host/Checksum.h"
#include "platform/foundation/Text.h"

namespace huecast::tool
{
namespace
{

using Json = nlohmann::ordered_json;

const foundation::Value* entryOf(const foundation::Dictionary& dictionary, std::string_view key)
{
    const auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : &found->second;
}

std::vector<double> triple(const foundation::Value* value)
{
    std::vector<double> numbers;
    if (value != nullptr && value->array() != nullptr)
    {
        for (const foundation::Value& element : *value->array())
        {
            numbers.push_back(element.doubleValue().value_or(0.0));
        }
    }
    return numbers;
}

Json describeCube(const std::string& file, const ZRColourCube& cube)
{
    const auto dictionary = cube.colourCube();
    const foundation::Value* lattice = entryOf(*dictionary, kCubeDataKey);
    Json object;
    object["file"] = file;
    object["ok"] = true;
    object["size"] = cube.cubeSize();
    object["sha256"] =
        lattice != nullptr && lattice->bytes() ? host::sha256Hex(*lattice->bytes()) : "";
    if (const foundation::Value* domainMin = entryOf(*dictionary, kDomainMinKey))
    {
        object["domainMin"] = triple(domainMin);
    }
    if (const foundation::Value* domainMax = entryOf(*dictionary, kDomainMaxKey))
    {
        object["domainMax"] = triple(domainMax);
    }
    return object;
}

Json describeError(const std::string& file, const foundation::Error& error)
{
    Json object;
    object["file"] = file;
    object["ok"] = false;
    object["domain"] = error.domain();
    object["code"] = error.code();
    object["message"] = error.localizedDescription();
    return object;
}

// Huecast reads .cube files only; a failure of another kind of file says so.
std::string hintFor(const std::string& file)
{
    const std::filesystem::path path(file);
    if (path.extension() == ".cube")
    {
        return {};
    }
    return path.extension().empty()
               ? "Huecast reads .cube files, and this file's name has no extension"
               : fmt::format("Huecast reads .cube files, not {} files", path.extension().string());
}

Json describeWarnings(const std::vector<CubeWarning>& warnings)
{
    Json list = Json::array();
    for (const CubeWarning& warning : warnings)
    {
        list.push_back({{"line", warning.line}, {"message", warning.message}});
    }
    return list;
}

std::string readableLine(const Json& object)
{
    const auto& file = object["file"].get_ref<const std::string&>();
    if (!object["ok"].get<bool>())
    {
        return fmt::format(
            "{}: error: {}", foundation::escapeForTerminal(file),
            foundation::escapeForTerminal(object["message"].get_ref<const std::string&>()));
    }
    const auto edge = object["size"].get<std::int64_t>();
    std::string line = fmt::format("{}: 3D LUT, edge {}, {} entries",
                                   foundation::escapeForTerminal(file), edge, edge * edge * edge);
    const auto rangeText = [&object](const char* key)
    {
        return object.contains(key)
                   ? fmt::format("{}", fmt::join(object[key].get<std::vector<double>>(), " "))
                   : std::string("-");
    };
    if (object.contains("domainMin") || object.contains("domainMax"))
    {
        line +=
            fmt::format(", domain min {} max {}", rangeText("domainMin"), rangeText("domainMax"));
    }
    return line;
}

// The warnings and the hint under a file's line, as compilers print them: FILE:LINE: warning.
std::string readableNotes(const Json& object)
{
    const std::string file =
        foundation::escapeForTerminal(object["file"].get_ref<const std::string&>());
    std::string notes;
    if (object.contains("warnings"))
    {
        for (const Json& warning : object["warnings"])
        {
            notes += fmt::format(
                "{}:{}: warning: {}\n", file, warning["line"].get<std::size_t>(),
                foundation::escapeForTerminal(warning["message"].get_ref<const std::string&>()));
        }
    }
    if (object.contains("hint"))
    {
        notes += fmt::format(
            "{}: hint: {}\n", file,
            foundation::escapeForTerminal(object["hint"].get_ref<const std::string&>()));
    }
    return notes;
}

} // namespace

int runCheck(const std::vector<std::string>& files, bool json, std::FILE* out)
{
    Json results = Json::array();
    bool allGood = true;
    for (const std::string& file : files)
    {
        foundation::Error error;
        std::vector<CubeWarning> warnings;
        const auto cube = ZRCubeReader::cubeFromFile(file, &warnings, &error);
        results.push_back(cube ? describeCube(file, *cube) : describeError(file, error));
        // Warnings only when there are any, so a clean file's object stays as it was.
        if (!warnings.empty())
        {
            results.back()["warnings"] = describeWarnings(warnings);
        }
        if (const std::string hint = cube ? std::string() : hintFor(file); !hint.empty())
        {
            results.back()["hint"] = hint;
        }
        // JSON text is Unicode: a name that is not UTF-8 shows with U+FFFD in "file", and its
        // exact bytes travel beside it, so a script can map the result back to the file.
        if (!foundation::isValidUtf8(file))
        {
            results.back()["fileBase64"] = host::encodeBase64(foundation::Bytes(
                reinterpret_cast<const std::uint8_t*>(file.data()),
                reinterpret_cast<const std::uint8_t*>(file.data()) + file.size()));
        }
        allGood = allGood && cube != nullptr;
        if (!json)
        {
            fmt::print(out, "{}\n{}", readableLine(results.back()), readableNotes(results.back()));
        }
    }
    if (json)
    {
        fmt::print(out, "{}\n", results.dump(2, ' ', false, Json::error_handler_t::replace));
    }
    return allGood ? 0 : 1;
}

} // namespace huecast::tool
