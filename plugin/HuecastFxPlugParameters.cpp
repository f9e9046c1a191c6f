// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The filter's parameters and how a LUT choice becomes the cube in "CubeData".
#include <algorithm>

#include "platform/foundation/Paths.h"
#include "platform/kit/Modal.h"
#include "plugin/HostCallGuard.h"
#include "plugin/HuecastFxPlug.h"
#include "plugin/ZRColourCubeValue.h"

namespace huecast
{
namespace
{

using fx::flagBits;
using fx::FxParameterFlag;

constexpr auto kLUT = parmIdOf(HuecastParameter::LUT);
constexpr auto kCubeData = parmIdOf(HuecastParameter::CubeData);
constexpr auto kLoadLUT = parmIdOf(HuecastParameter::LoadLUT);
constexpr auto kInterpolation = parmIdOf(HuecastParameter::Interpolation);
constexpr auto kAmount = parmIdOf(HuecastParameter::Amount);

constexpr std::uint32_t kLUTFlags = flagBits(FxParameterFlag::NotAnimatable);
constexpr std::uint32_t kCubeDataFlags = flagBits(FxParameterFlag::NotAnimatable) |
                                         flagBits(FxParameterFlag::Hidden) |
                                         flagBits(FxParameterFlag::NotInDashboard);
constexpr std::uint32_t kLoadLUTShownFlags =
    flagBits(FxParameterFlag::NotAnimatable) | flagBits(FxParameterFlag::CustomUI);
constexpr std::uint32_t kLoadLUTHiddenFlags =
    kLoadLUTShownFlags | flagBits(FxParameterFlag::Hidden);
// How the lattice is read is one choice for the clip; the amount may change over time.
constexpr std::uint32_t kInterpolationFlags = flagBits(FxParameterFlag::NotAnimatable);
constexpr std::uint32_t kAmountFlags = 0;
constexpr double kAmountSliderStep = 0.01;

constexpr std::string_view kFileParameterFallback =
    "Internal Error (File parameter). Please Report!";
constexpr std::string_view kSelectFileFallback = "Internal Error (Select File). Please Report!";

// The path stored in "Load LUT", or "" when the host has none to give.
std::string storedPath(fx::FxParameterRetrievalAPI* retrieval, bool* readOK = nullptr)
{
    fx::FxCustomValuePtr value;
    const bool ok = retrieval != nullptr && retrieval->getCustomParameterValue(&value, kLoadLUT);
    if (readOK != nullptr)
    {
        *readOK = ok;
    }
    const std::string* text = fx::stringOf(value);
    return text != nullptr ? *text : std::string();
}

} // namespace

std::string HuecastFxPlug::libraryPathForName(std::string_view name) const
{
    if (const auto found = m_libraryPaths.find(name); found != m_libraryPaths.end())
    {
        return found->second;
    }
    std::string folder = foundation::expandTilde(kDefaultCubesLocation);
    while (folder.size() > 1 && folder.back() == '/')
    {
        folder.pop_back();
    }
    return folder + "/" + std::string(name) + ".cube";
}

bool HuecastFxPlug::addParameters()
{
    return guardHostCall(
        "addParameters", false,
        [this]
        {
            auto* creation = fx::apiFor<fx::FxParameterCreationAPI>(m_apiManager);
            if (creation == nullptr)
            {
                return false;
            }
            creation->addPopupMenuWithName("3D LUT", kLUT, kNoLUTIndex, m_cubesList, kLUTFlags);
            creation->addCustomParameterWithName(
                "CubeData", kCubeData, valueOf(std::make_shared<ZRColourCube>()), kCubeDataFlags);
            creation->addCustomParameterWithName("Load LUT", kLoadLUT,
                                                 std::make_shared<const fx::FxStringValue>(""),
                                                 kLoadLUTHiddenFlags);
            // Declared after the three above, so hosts and projects that know only those keep
            // their ids and order.
            creation->addPopupMenuWithName(
                "Interpolation", kInterpolation, kTrilinearIndex,
                {std::string(kTrilinearName), std::string(kTetrahedralName)}, kInterpolationFlags);
            creation->addFloatSliderWithName("Amount", kAmount, kAmountDefault, kAmountMin,
                                             kAmountMax, kAmountMin, kAmountMax, kAmountSliderStep,
                                             kAmountFlags);
            return true;
        });
}

bool HuecastFxPlug::setCubeForName(const std::string& path, foundation::Error* error)
{
    auto* setting = fx::apiFor<fx::FxParameterSettingAPI>(m_apiManager);
    std::shared_ptr<ZRColourCube> cube = m_cache->cubeForFile(path, error);
    if (!cube)
    {
        return false;
    }
    if (setting != nullptr)
    {
        setting->setCustomParameterValue(valueOf(std::move(cube)), kCubeData);
    }
    return true;
}

bool HuecastFxPlug::parameterChanged(std::uint32_t parmId)
{
    if (parmId != kLUT)
    {
        return true;
    }
    return guardHostCall("parameterChanged", false, [this] { return applyLUTChoice(); });
}

bool HuecastFxPlug::applyLUTChoice()
{
    auto* retrieval = fx::apiFor<fx::FxParameterRetrievalAPI>(m_apiManager);
    auto* setting = fx::apiFor<fx::FxParameterSettingAPI>(m_apiManager);
    std::int32_t index = kNoLUTIndex;
    if (retrieval == nullptr || !retrieval->getIntValue(&index, kLUT, 0.0))
    {
        index = kNoLUTIndex; // a refused read counts as "No LUT"
    }
    const auto identity = [this] { return valueOf(m_cache->cubeForName(kIdentityCube)); };

    if (index == kExternalFileIndex)
    {
        if (setting != nullptr)
        {
            setting->setParameterFlags(kLoadLUTShownFlags, kLoadLUT);
        }
        // Only a cube already in the cache is used here; the file is not read on this route.
        const std::string path = storedPath(retrieval);
        const auto cached = path.empty() ? nullptr : m_cache->cubeForName(path);
        if (setting != nullptr)
        {
            setting->setCustomParameterValue(cached ? valueOf(cached) : identity(), kCubeData);
        }
        return true;
    }

    if (setting != nullptr)
    {
        setting->setParameterFlags(kLoadLUTHiddenFlags, kLoadLUT);
    }
    // An index the list no longer has (a host handing back a stale value) is taken as
    // "No LUT" rather than read past the list.
    if (index < kFirstLibraryIndex || static_cast<std::size_t>(index) >= m_cubesList.size())
    {
        if (setting != nullptr)
        {
            setting->setCustomParameterValue(identity(), kCubeData);
        }
        return true;
    }
    return chooseLibraryEntry(static_cast<std::size_t>(index));
}

bool HuecastFxPlug::chooseLibraryEntry(std::size_t index)
{
    const std::string name = m_cubesList[index];
    foundation::Error error;
    if (setCubeForName(libraryPathForName(name), &error))
    {
        return true;
    }
    showErrorAlert(&error, kFileParameterFallback);

    // The broken entry leaves this instance's popup; other instances keep theirs. Only that
    // library entry goes: a file named "No LUT.cube" must not take the fixed entry with it.
    std::vector<std::string> remaining = m_cubesList;
    remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(index));
    if (auto* dynamic = fx::apiFor<fx::FxDynamicParameterAPI>(m_apiManager))
    {
        dynamic->setPopupMenuParameter(kLUT, remaining, kNoLUTIndex);
    }
    m_cubesList = std::move(remaining);
    if (auto* setting = fx::apiFor<fx::FxParameterSettingAPI>(m_apiManager))
    {
        setting->setIntValue(kNoLUTIndex, kLUT, 0.0);
        setting->setCustomParameterValue(valueOf(m_cache->cubeForName(kIdentityCube)), kCubeData);
    }
    return false;
}

void HuecastFxPlug::selectFile(kit::NSControl* /*sender*/)
{
    kit::NSOpenPanel panel;
    panel.setCanChooseFiles(true);
    panel.setAllowedFileTypes({"cube"});
    panel.setAllowsMultipleSelection(false);
    if (panel.runModal() != kit::kModalResponseOK || panel.paths().empty())
    {
        return;
    }
    const std::string path = panel.paths().front();

    auto* setting = fx::apiFor<fx::FxParameterSettingAPI>(m_apiManager);
    auto* action = fx::apiFor<fx::FxCustomParameterActionAPI>(m_apiManager);
    foundation::Error error;
    if (!setCubeForName(path, &error))
    {
        showErrorAlert(&error, kSelectFileFallback);
        return;
    }
    if (action != nullptr)
    {
        action->startAction(this);
    }
    if (setting != nullptr)
    {
        setting->setCustomParameterValue(std::make_shared<const fx::FxStringValue>(path), kLoadLUT);
    }
    if (action != nullptr)
    {
        action->endAction(this);
    }
    syncUI();
}

void HuecastFxPlug::syncUI()
{
    auto* retrieval = fx::apiFor<fx::FxParameterRetrievalAPI>(m_apiManager);
    bool readOK = false;
    const std::string path = storedPath(retrieval, &readOK);
    if (!readOK)
    {
        return;
    }
    if (const auto display = m_filePathDisplay.lock())
    {
        display->setStringValue(path);
    }
}

void HuecastFxPlug::showErrorAlert(const foundation::Error* error, std::string_view fallback) const
{
    std::string text = error != nullptr ? error->localizedDescription() : std::string();
    if (text.empty())
    {
        text = fallback;
    }
    kit::NSAlert alert;
    alert.addButtonWithTitle("OK");
    alert.setMessageText("Huecast Error");
    alert.setInformativeText(std::move(text));
    alert.setAlertStyle(kit::NSAlertStyle::Warning);
    alert.runModal();
}

} // namespace huecast
