// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/Project.h"

#include <utility>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "host/Base64.h"
#include "host/Checksum.h"
#include "host/FileReplacement.h"
#include "platform/foundation/FileSystem.h"

namespace huecast::host
{
namespace
{

using Json = nlohmann::ordered_json;

// The largest archived value a project may hold: a whole cube of edge 256 (192 MiB of lattice)
// and a mebibyte for the rest. A larger value is refused before it is decoded, and a project
// file larger than its instances' values can make is refused before it is read (parsing one
// of edge 300, 432 MB of JSON, took over a minute only to find the value unusable).
constexpr std::size_t kMaxArchiveBytes = 256ULL * 256 * 256 * 12 + (1ULL << 20);
constexpr std::size_t kMaxArchiveBase64Bytes = (kMaxArchiveBytes + 2) / 3 * 4;
constexpr std::size_t kProjectTextBytes = 1ULL << 20; // the JSON around the values

void projectError(foundation::Error* error, HostError code, const std::string& path,
                  std::string_view reason)
{
    foundation::setError(error, kHostErrorDomain, static_cast<std::int64_t>(code),
                         fmt::format("The project \"{}\" {}", path, reason));
}

// What a popup's or slider's checksum covers: the chosen entry's index and name, or the number
// as text, so a changed digit or a renamed entry is found as a damaged cube is.
std::string choiceChecksum(const Parameter& parameter)
{
    std::string text;
    if (parameter.kind == ParameterKind::Float)
    {
        text = fmt::format("{}", parameter.number);
    }
    else
    {
        const bool listed =
            parameter.index >= 0 && std::cmp_less(parameter.index, parameter.entries.size());
        text = fmt::format("{}\n{}", parameter.index,
                           listed ? parameter.entries[static_cast<std::size_t>(parameter.index)]
                                  : std::string());
    }
    return sha256Hex({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

Json parameterToJson(const Parameter& parameter)
{
    Json entry;
    entry["id"] = parameter.id;
    entry["name"] = parameter.name;
    entry["flags"] = parameter.flags;
    if (parameter.kind == ParameterKind::Popup)
    {
        entry["kind"] = "popup";
        entry["entries"] = parameter.entries;
        entry["default"] = parameter.defaultIndex;
        entry["value"] = parameter.index;
        entry["sha256"] = choiceChecksum(parameter);
        return entry;
    }
    if (parameter.kind == ParameterKind::Float)
    {
        entry["kind"] = "float";
        entry["default"] = parameter.defaultNumber;
        entry["min"] = parameter.minimum;
        entry["max"] = parameter.maximum;
        entry["value"] = parameter.number;
        entry["sha256"] = choiceChecksum(parameter);
        return entry;
    }
    entry["kind"] = "custom";
    if (!parameter.value)
    {
        entry["class"] = nullptr;
        return entry;
    }
    foundation::KeyedArchiver archiver;
    parameter.value->encodeWithCoder(archiver);
    entry["class"] = parameter.value->className();
    entry["archive"] = encodeBase64(archiver.encodedData());
    entry["sha256"] = sha256Hex(archiver.encodedData());
    return entry;
}

std::string_view kindName(ParameterKind kind)
{
    switch (kind)
    {
    case ParameterKind::Popup:
        return "popup";
    case ParameterKind::Float:
        return "float";
    case ParameterKind::Custom:
        break;
    }
    return "custom";
}

// A slider's saved value, within the range the effect declares now (a saved range is only a
// record); an error text when the value is not a number in that range.
std::string restoreNumber(const Json& saved, Parameter& parameter)
{
    const Json& value = saved.at("value");
    if (!value.is_number())
    {
        return fmt::format("holds a value for parameter {} that is not a number", parameter.id);
    }
    const auto number = value.get<double>();
    if (!(parameter.minimum <= number && number <= parameter.maximum))
    {
        return fmt::format("holds {} for parameter {}, which takes {} to {}", number, parameter.id,
                           parameter.minimum, parameter.maximum);
    }
    parameter.number = number;
    return {};
}

// A popup's or slider's checksum: required from version 2 on, when choices first carried one.
std::string checkChoice(const Json& saved, std::int64_t version, const Parameter& parameter)
{
    if (!saved.contains("sha256"))
    {
        return version < 2 ? std::string()
                           : fmt::format("holds no checksum for parameter {}, so its value "
                                         "can't be trusted (it was edited)",
                                         parameter.id);
    }
    if (saved.at("sha256").get_ref<const std::string&>() != choiceChecksum(parameter))
    {
        return fmt::format("holds a damaged value for parameter {}: it doesn't match its "
                           "checksum",
                           parameter.id);
    }
    return {};
}

// A popup's saved entries and choice.
std::string restorePopup(const Json& saved, std::int64_t version, Parameter& parameter)
{
    parameter.entries = saved.at("entries").get<std::vector<std::string>>();
    parameter.defaultIndex = saved.at("default").get<std::int32_t>();
    parameter.index = saved.at("value").get<std::int32_t>();
    if (parameter.index < 0 || std::cmp_greater_equal(parameter.index, parameter.entries.size()))
    {
        return fmt::format("holds choice {} for parameter {}, which lists {} entries",
                           parameter.index, parameter.id, parameter.entries.size());
    }
    return checkChoice(saved, version, parameter);
}

// A custom value's archive bytes, checked against their checksum; an error text when they
// can't be trusted.
std::string archiveBytes(const Json& saved, const Parameter& parameter,
                         std::vector<std::uint8_t>* bytes)
{
    const auto& archive = saved.at("archive").get_ref<const std::string&>();
    if (archive.size() > kMaxArchiveBase64Bytes)
    {
        return fmt::format("holds a value of {} bytes for parameter {}, more than the {} a value "
                           "may have",
                           archive.size() / 4 * 3, parameter.id, kMaxArchiveBytes);
    }
    auto decoded = decodeBase64(archive);
    if (!decoded)
    {
        return fmt::format("holds a damaged value for parameter {}", parameter.id);
    }
    // Every byte of a value counts (a flipped bit in a lattice changes a colour silently), so
    // each carries its checksum. Projects written before checksums were kept have none.
    if (!saved.contains("sha256"))
    {
        return fmt::format("holds no checksum for parameter {}, so its value can't be trusted "
                           "(it was saved by an earlier version of Huecast, or edited)",
                           parameter.id);
    }
    if (saved.at("sha256").get_ref<const std::string&>() != sha256Hex(*decoded))
    {
        return fmt::format("holds a damaged value for parameter {}: it doesn't match its "
                           "checksum",
                           parameter.id);
    }
    *bytes = std::move(*decoded);
    return {};
}

// A custom value, decoded by the plug-in from its archive.
std::string restoreCustom(const Json& saved, const fx::FxBundleInterface& bundle,
                          Parameter& parameter)
{
    if (saved.at("class").is_null())
    {
        parameter.value = nullptr;
        return {};
    }
    const std::string className = saved.at("class").get<std::string>();
    std::vector<std::uint8_t> bytes;
    if (std::string problem = archiveBytes(saved, parameter, &bytes); !problem.empty())
    {
        return problem;
    }
    foundation::Error archiveError;
    const auto unarchiver = foundation::KeyedUnarchiver::create(bytes, &archiveError);
    if (!unarchiver)
    {
        return fmt::format("holds a damaged value for parameter {}: {}", parameter.id,
                           archiveError.localizedDescription());
    }
    parameter.value = bundle.decodeCustomValue(className.c_str(), unarchiver.get());
    if (!parameter.value)
    {
        return fmt::format("holds a value of class \"{}\" for parameter {} that the plug-in "
                           "doesn't know",
                           className, parameter.id);
    }
    if (const std::string damage = parameter.value->damage(); !damage.empty())
    {
        return fmt::format("holds a value for parameter {} that can't be used: {}", parameter.id,
                           damage);
    }
    return {};
}

// Applies one saved parameter onto a copy of the declared one; an error text when it can't.
std::string restoreParameter(const Json& saved, std::int64_t version,
                             const fx::FxBundleInterface& bundle, Parameter& parameter)
{
    const std::string kind = saved.at("kind").get<std::string>();
    if (kind != kindName(parameter.kind))
    {
        return fmt::format("parameter {} is a {} in the project but not in the effect",
                           parameter.id, kind);
    }
    parameter.flags = saved.at("flags").get<std::uint32_t>();
    switch (parameter.kind)
    {
    case ParameterKind::Popup:
        return restorePopup(saved, version, parameter);
    case ParameterKind::Float:
        if (std::string problem = restoreNumber(saved, parameter); !problem.empty())
        {
            return problem;
        }
        return checkChoice(saved, version, parameter);
    case ParameterKind::Custom:
        break;
    }
    return restoreCustom(saved, bundle, parameter);
}

// The project file's JSON and format version, for `instances` effect instances; false after
// saying why it is no project this build reads.
bool readProject(const std::string& path, std::size_t instances, Json* project,
                 std::int64_t* version, foundation::Error* error)
{
    foundation::Error readError;
    const auto text = foundation::readUtf8File(
        path, kProjectTextBytes + instances * kMaxArchiveBase64Bytes, &readError);
    if (!text)
    {
        projectError(error, HostError::ProjectUnreadable, path,
                     fmt::format("couldn't be read: {}", readError.localizedDescription()));
        return false;
    }
    *project = Json::parse(*text, nullptr, false);
    if (project->is_discarded() || !project->is_object() ||
        project->value("format", std::string()) != kProjectFormatName ||
        !project->contains("version") || !(*project)["version"].is_number_integer())
    {
        projectError(error, HostError::ProjectUnreadable, path,
                     "is not a Huecast project (it is damaged or truncated)");
        return false;
    }
    *version = (*project)["version"].get<std::int64_t>();
    if (*version > kProjectFormatVersion)
    {
        projectError(error, HostError::ProjectTooNew, path,
                     fmt::format("was saved in format version {}, and this build reads up to "
                                 "version {}; nothing was loaded",
                                 *version, kProjectFormatVersion));
        return false;
    }
    return true;
}

// One instance's saved parameters onto copies of its declared ones, into `restored`.
bool restoreInstance(const Json& saved, std::int64_t version, const fx::FxBundleInterface& bundle,
                     const EffectInstance& instance, const std::string& path,
                     std::vector<Parameter>* restored, foundation::Error* error)
{
    std::vector<Parameter> parameters = instance.parameters().parameters();
    for (const Json& savedParameter : saved.at("parameters"))
    {
        const auto id = savedParameter.at("id").get<std::uint32_t>();
        const auto declared = std::find_if(parameters.begin(), parameters.end(),
                                           [id](const Parameter& p) { return p.id == id; });
        if (declared == parameters.end())
        {
            projectError(error, HostError::ProjectMismatch, path,
                         fmt::format("has a parameter {} that the effect doesn't declare", id));
            return false;
        }
        if (const std::string problem =
                restoreParameter(savedParameter, version, bundle, *declared);
            !problem.empty())
        {
            projectError(error, HostError::ProjectUnreadable, path, problem);
            return false;
        }
    }
    *restored = std::move(parameters);
    return true;
}

// Every instance's saved parameters, in order, into `restored`; the JSON library's exceptions
// say where the file is damaged.
bool restoreInstances(const Json& project, std::int64_t version,
                      const fx::FxBundleInterface& bundle,
                      const std::vector<EffectInstance*>& instances, const std::string& path,
                      std::vector<std::vector<Parameter>>* restored, foundation::Error* error)
{
    const Json& savedInstances = project.at("instances");
    if (!savedInstances.is_array() || savedInstances.size() != instances.size())
    {
        projectError(error, HostError::ProjectMismatch, path,
                     fmt::format("holds {} effect instance(s) where {} were expected",
                                 savedInstances.is_array() ? savedInstances.size() : 0,
                                 instances.size()));
        return false;
    }
    for (std::size_t i = 0; i < instances.size(); ++i)
    {
        std::vector<Parameter> parameters;
        if (!restoreInstance(savedInstances[i], version, bundle, *instances[i], path, &parameters,
                             error))
        {
            return false;
        }
        restored->push_back(std::move(parameters));
    }
    return true;
}

} // namespace

bool saveProject(const std::string& path, const std::vector<const EffectInstance*>& instances,
                 foundation::Error* error)
{
    Json project;
    project["format"] = kProjectFormatName;
    project["version"] = kProjectFormatVersion;
    project["instances"] = Json::array();
    for (const EffectInstance* instance : instances)
    {
        Json parameters = Json::array();
        for (const Parameter& parameter : instance->parameters().parameters())
        {
            parameters.push_back(parameterToJson(parameter));
        }
        project["instances"].push_back({{"parameters", std::move(parameters)}});
    }
    // Names that are not UTF-8 (file names on Linux need not be) are written with U+FFFD; the
    // values that matter travel byte for byte inside the base64 archives.
    const std::string text = project.dump(1, ' ', false, Json::error_handler_t::replace) + "\n";

    std::string reason;
    const bool written = replaceFileWithBytes(path, text, &reason);
    if (!written)
    {
        projectError(error, HostError::ProjectNotWritten, path,
                     fmt::format("couldn't be written: {}", reason));
        return false;
    }
    return true;
}

bool loadProject(const std::string& path, const fx::FxBundleInterface& bundle,
                 const std::vector<EffectInstance*>& instances, foundation::Error* error)
{
    Json project;
    std::int64_t version = 0;
    if (!readProject(path, instances.size(), &project, &version, error))
    {
        return false;
    }
    // Everything is restored into copies first; the instances change only when all is good.
    std::vector<std::vector<Parameter>> restored;
    try
    {
        if (!restoreInstances(project, version, bundle, instances, path, &restored, error))
        {
            return false;
        }
    }
    catch (const nlohmann::json::exception& exception)
    {
        projectError(error, HostError::ProjectUnreadable, path,
                     fmt::format("is damaged: {}", exception.what()));
        return false;
    }
    for (std::size_t i = 0; i < instances.size(); ++i)
    {
        instances[i]->parameters().replaceParameters(std::move(restored[i]));
    }
    return true;
}

} // namespace huecast::host
