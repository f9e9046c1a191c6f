// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "host/ParameterStore.h"
#include "platform/foundation/Paths.h"
#include "platform/gl/EglContext.h"
#include "plugin/HuecastFxPlug.h"
#include "plugin/ZRColourCubeValue.h"
#include "tests/support/ScriptedPresenter.h"
#include "tests/support/TestSupport.h"

namespace huecast::test
{

inline constexpr std::uint32_t kLUT = parmIdOf(HuecastParameter::LUT);
inline constexpr std::uint32_t kCubeData = parmIdOf(HuecastParameter::CubeData);
inline constexpr std::uint32_t kLoadLUT = parmIdOf(HuecastParameter::LoadLUT);

/// A filter made in a real headless GL context, with the host's parameter store as its host, a
/// fresh $HOME holding an empty LUT library folder, and a scripted presenter for modal UI.
class FilterFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        foundation::Error error;
        m_context = gl::EglContext::createHighest(gl::EglPlatform::Automatic, &error);
        ASSERT_TRUE(m_context) << error.localizedDescription();
        std::filesystem::create_directories(libraryFolder());
        kit::setModalPresenter(presenter);
    }

    void TearDown() override { kit::setModalPresenter(nullptr); }

    [[nodiscard]] std::string libraryFolder() const
    {
        return home.pathOf("Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay");
    }
    // Most callers only need the file to exist.
    std::string addLibraryFile(const std::string& name, // NOLINT(modernize-use-nodiscard)
                               const std::string& contents) const
    {
        std::string path = libraryFolder() + "/" + name;
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

    /// A new filter on its own store, parameters declared.
    std::unique_ptr<HuecastFxPlug> makeFilter(host::ParameterStore& parameters) const
    {
        auto filter = HuecastFxPlug::initWithAPIManager(parameters);
        if (filter)
        {
            filter->addParameters();
        }
        return filter;
    }

    [[nodiscard]] std::shared_ptr<ZRColourCube> cubeIn(const host::ParameterStore& parameters) const
    {
        return cubeOf(parameters.parameter(kCubeData)->value);
    }
    [[nodiscard]] std::string pathIn(const host::ParameterStore& parameters) const
    {
        const std::string* text = fx::stringOf(parameters.parameter(kLoadLUT)->value);
        return text != nullptr ? *text : "<not a string>";
    }
    bool choose(HuecastFxPlug& filter, host::ParameterStore& parameters, std::int32_t index) const
    {
        parameters.setIntValue(index, kLUT, 0.0);
        return filter.parameterChanged(kLUT);
    }

    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path()};
    std::shared_ptr<ScriptedPresenter> presenter = std::make_shared<ScriptedPresenter>();
    std::unique_ptr<gl::EglContext> m_context;
};

/// A valid 2-point cube file whose first entry is (first, 0, 0).
inline std::string smallCube(float first = 0.0F)
{
    return "LUT_3D_SIZE 2\n" + std::to_string(first) +
           " 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
}

} // namespace huecast::test
