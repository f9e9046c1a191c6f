// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tests/host/FrameModules.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>

#include <gtest/gtest.h>

#include "platform/foundation/DynamicModule.h"

namespace huecast::test
{
namespace
{

template <typename Module> const Module* loadModule(const char* name, const char* entry)
{
    const std::string path = std::string(HUECAST_LIBRARY_DIR) + "/" + name;
    foundation::ModuleFailure failure;
    const Module* module =
        foundation::loadModule(path, entry, &Module::version, Module::kVersion, &failure);
    if (module == nullptr)
    {
        ADD_FAILURE() << failure.reason;
    }
    return module;
}

} // namespace

const host::FrameFileModule* oiioModule()
{
    static const auto* module =
        loadModule<host::FrameFileModule>(host::kFrameFileModuleName, "HuecastFrameFileModule");
    return module;
}

const host::CommonFrameFileModule* commonModule()
{
    static const auto* module = loadModule<host::CommonFrameFileModule>(
        host::kCommonFrameFileModuleName, "HuecastCommonFrameFileModule");
    return module;
}

namespace
{

std::string contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void expectSameFrames(const host::Frame& expected, const host::Frame& actual)
{
    ASSERT_EQ(expected.width(), actual.width());
    ASSERT_EQ(expected.height(), actual.height());
    ASSERT_EQ(expected.type(), actual.type());
    for (std::uint32_t y = 0; y < expected.height(); ++y)
    {
        ASSERT_EQ(std::memcmp(expected.row(y), actual.row(y), expected.pixelRowBytes()), 0)
            << "row " << y << " differs";
    }
}

} // namespace

std::string withoutTimeStamps(const std::string& bytes)
{
    static const std::regex kStamp("[0-9]{4}:[0-9]{2}:[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
    return std::regex_replace(bytes, kStamp, "2000:01:01 00:00:00");
}

CommonModule compareWithOpenImageIO(const std::string& source, const TempDir& dir,
                                    const std::string& output,
                                    const host::FrameWriteOptions& options)
{
    const auto* oiio = oiioModule();
    const auto* common = commonModule();
    if (oiio == nullptr || common == nullptr)
    {
        ADD_FAILURE() << "a frame-file module didn't load";
        return CommonModule::Declined;
    }
    host::Frame commonFrame;
    std::shared_ptr<const void> commonLayout;
    int commonChannels = 0;
    std::string damage;
    if (!common->read(source, &commonFrame, &commonLayout, &commonChannels, &damage))
    {
        return CommonModule::Declined;
    }
    host::Frame oiioFrame;
    std::shared_ptr<const void> oiioLayout;
    int oiioChannels = 0;
    foundation::Error error;
    EXPECT_TRUE(oiio->read(source, &oiioFrame, &oiioLayout, &oiioChannels, &error))
        << error.localizedDescription();
    EXPECT_EQ(commonChannels, oiioChannels);
    expectSameFrames(oiioFrame, commonFrame);

    const int written = oiioChannels == 2 || oiioChannels >= 4 ? 4 : 3;
    const std::string path = dir.pathOf(output);
    const std::string byOiio = dir.pathOf("oiio-" + output);
    const std::string byCommon = dir.pathOf("common-" + output);
    EXPECT_TRUE(oiio->write(path, byOiio, oiioFrame, oiioLayout.get(), written, options, &error))
        << error.localizedDescription();
    EXPECT_TRUE(common->write(path, byCommon, commonFrame, commonLayout.get(), written, options))
        << "the common module read " << source << " but didn't write it";
    EXPECT_EQ(withoutTimeStamps(contents(byOiio)), withoutTimeStamps(contents(byCommon)))
        << source << " written as " << output << " differs from OpenImageIO's (kept: " << byOiio
        << ", " << byCommon << ")";
    return CommonModule::Took;
}

} // namespace huecast::test
