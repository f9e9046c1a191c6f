// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The filter object's host contract: creation, properties, output size, frame set-up, and the
// parameters it declares.
#include <epoxy/egl.h>

#include "tests/plugin/FilterFixture.h"

namespace huecast::test
{
namespace
{

using HostContract = FilterFixture;

TEST_F(HostContract, CreationNeedsACurrentGLContext)
{
    host::ParameterStore parameters;
    ASSERT_TRUE(
        eglMakeCurrent(eglGetCurrentDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT));
    testing::internal::CaptureStderr();
    EXPECT_EQ(HuecastFxPlug::initWithAPIManager(parameters), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(parameters.parameters().empty());
}

TEST_F(HostContract, CreationBuildsAProgramAndListsTheLibrary)
{
    addLibraryFile("Warm.cube", smallCube());
    addLibraryFile("Cold.CUBE", smallCube());
    addLibraryFile("notes.txt", "");
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    ASSERT_TRUE(filter);
    EXPECT_NE(filter->programObject(), 0U);
    EXPECT_TRUE(glIsProgram(filter->programObject()));
    EXPECT_EQ(filter->cubesList(), (std::vector<std::string>{"No LUT", "External File", "Warm"}));

    const GLuint program = filter->programObject();
    filter.reset();
    EXPECT_FALSE(glIsProgram(program)) << "destruction deletes the program";
}

TEST_F(HostContract, MissingLibraryFolderLeavesTheTwoFixedEntries)
{
    std::filesystem::remove_all(home.pathOf("Movies"));
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    ASSERT_TRUE(filter);
    EXPECT_EQ(filter->cubesList(), (std::vector<std::string>{"No LUT", "External File"}));
}

TEST_F(HostContract, PropertiesAreFiveFreshEntries)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const foundation::Dictionary expected = {
        {"SupportsRowBytes", foundation::Value(true)},
        {"SupportsR408", foundation::Value(false)},
        {"SupportsR4fl", foundation::Value(false)},
        {"MayRemapTime", foundation::Value(false)},
        {"DesiredProcessingColorInfo", foundation::Value(2)},
    };
    EXPECT_EQ(filter->properties(), expected);
    EXPECT_TRUE(filter->variesOverTime());
    EXPECT_TRUE(filter->frameCleanup());
}

TEST_F(HostContract, OutputSizeIsTheInputSizeAndNeedsBothPlaces)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    std::uint64_t width = 7;
    std::uint64_t height = 9;
    EXPECT_TRUE(filter->getOutputWidth(&width, &height, {1920, 1080, 0, 8}, {}));
    EXPECT_EQ(width, 1920U);
    EXPECT_EQ(height, 1080U);
    EXPECT_TRUE(filter->getOutputWidth(&width, &height, {1, 1, 0, 8}, {}));
    EXPECT_EQ(width, 1U);

    width = 7;
    EXPECT_FALSE(filter->getOutputWidth(&width, nullptr, {1920, 1080, 0, 8}, {}));
    EXPECT_EQ(width, 7U) << "nothing is written when a place is missing";
    EXPECT_FALSE(filter->getOutputWidth(nullptr, &height, {1920, 1080, 0, 8}, {}));
}

TEST_F(HostContract, FrameSetupAsksForTheGPUOnly)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    bool hardware = false;
    bool software = true;
    EXPECT_TRUE(filter->frameSetup({}, {}, &hardware, &software));
    EXPECT_TRUE(hardware);
    EXPECT_FALSE(software);
}

TEST_F(HostContract, DeclaresTheThreeParametersThenTheGradeControls)
{
    addLibraryFile("Warm.cube", smallCube());
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto& declared = parameters.parameters();
    ASSERT_EQ(declared.size(), 5U);

    EXPECT_EQ(declared[0].name, "3D LUT");
    EXPECT_EQ(declared[0].id, kLUT);
    EXPECT_EQ(declared[0].flags, 1U);
    EXPECT_EQ(declared[0].index, 0);
    EXPECT_EQ(declared[0].entries, filter->cubesList());

    EXPECT_EQ(declared[1].name, "CubeData");
    EXPECT_EQ(declared[1].flags, 35U);
    const auto cube = cubeIn(parameters);
    ASSERT_TRUE(cube);
    EXPECT_EQ(cube->cubeSize(), 16);
    EXPECT_EQ(cube->cubeFileName(), "kIdentityCube");
    EXPECT_NE(cube, ZRColourCube::identityCube()) << "the default is a new identity cube";

    EXPECT_EQ(declared[2].name, "Load LUT");
    EXPECT_EQ(declared[2].flags, 67U);
    EXPECT_EQ(pathIn(parameters), "");

    EXPECT_EQ(declared[3].name, "Interpolation");
    EXPECT_EQ(declared[3].id, 4U);
    EXPECT_EQ(declared[3].entries, (std::vector<std::string>{"Trilinear", "Tetrahedral"}));
    EXPECT_EQ(declared[3].index, 0);
    EXPECT_EQ(declared[4].name, "Amount");
    EXPECT_EQ(declared[4].id, 5U);
    EXPECT_EQ(declared[4].kind, host::ParameterKind::Float);
    EXPECT_EQ(declared[4].number, 1.0);
    EXPECT_EQ(declared[4].minimum, 0.0);
    EXPECT_EQ(declared[4].maximum, 1.0);
}

TEST_F(HostContract, AHostWithoutTheCreationServiceGetsNoParameters)
{
    host::ParameterStore parameters;
    parameters.leaveOut(fx::FxProtocol::ParameterCreation);
    auto filter = HuecastFxPlug::initWithAPIManager(parameters);
    ASSERT_TRUE(filter);
    EXPECT_FALSE(filter->addParameters());
    EXPECT_TRUE(parameters.parameters().empty());
}

} // namespace
} // namespace huecast::test
