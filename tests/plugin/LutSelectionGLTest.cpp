// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// How a LUT choice becomes the cube in "CubeData": the popup's routes, Browse, the shared
// cache, the error alert, and the path display.
#include <cstring>
#include <fstream>

#include "tests/plugin/FilterFixture.h"

namespace huecast::test
{
namespace
{

using LutSelection = FilterFixture;

float firstRed(const ZRColourCube& cube)
{
    const auto lattice = cube.colourCube()->at(std::string(kCubeDataKey)).bytes();
    float red = 0;
    std::memcpy(&red, lattice->data(), sizeof(red));
    return red;
}

TEST_F(LutSelection, NoLUTHidesTheLoadControlAndStoresTheSharedIdentity)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    EXPECT_TRUE(choose(*filter, parameters, 0));
    EXPECT_EQ(parameters.parameter(kLoadLUT)->flags, 67U);
    EXPECT_EQ(cubeIn(parameters), ZRColourCube::identityCube());
}

TEST_F(LutSelection, ExternalFileWithoutAPathShowsTheControlAndStoresIdentity)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    EXPECT_TRUE(choose(*filter, parameters, 1));
    EXPECT_EQ(parameters.parameter(kLoadLUT)->flags, 65U);
    EXPECT_EQ(cubeIn(parameters), ZRColourCube::identityCube());
}

TEST_F(LutSelection, ExternalFileTakesTheBrowsedCubeFromTheCacheWithoutReading)
{
    const std::string path = home.write("a.cube", smallCube(0.25F));
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    presenter->answers = {path};
    filter->selectFile(nullptr);
    const auto browsed = cubeIn(parameters);
    ASSERT_TRUE(browsed);
    EXPECT_EQ(browsed->cubeFileName(), path);

    EXPECT_TRUE(choose(*filter, parameters, 0));
    std::filesystem::remove(path); // a read now would fail: only the cache can answer
    EXPECT_TRUE(choose(*filter, parameters, 1));
    EXPECT_EQ(cubeIn(parameters), browsed);
    EXPECT_TRUE(presenter->alerts.empty());
}

TEST_F(LutSelection, ExternalFileNeverReadsAPathThatIsNotCached)
{
    const std::string path = home.write("never-loaded.cube", smallCube(0.5F));
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    parameters.setCustomParameterValue(std::make_shared<const fx::FxStringValue>(path), kLoadLUT);
    EXPECT_TRUE(choose(*filter, parameters, 1));
    EXPECT_EQ(cubeIn(parameters), ZRColourCube::identityCube());
}

TEST_F(LutSelection, ALibraryEntryIsReadOnceForEveryInstance)
{
    const std::string file = addLibraryFile("Warm.cube", smallCube(0.75F));
    host::ParameterStore first;
    host::ParameterStore second;
    auto filterA = makeFilter(first);
    auto filterB = makeFilter(second);
    ASSERT_EQ(filterA->cubesList().at(2), "Warm");

    EXPECT_TRUE(choose(*filterA, first, 2));
    const auto cube = cubeIn(first);
    ASSERT_TRUE(cube);
    EXPECT_EQ(cube->cubeFileName(), file);
    EXPECT_FLOAT_EQ(firstRed(*cube), 0.75F);

    // Changed on disk: a second read would see 0.125.
    std::ofstream(file, std::ios::trunc) << smallCube(0.125F);
    EXPECT_TRUE(choose(*filterA, first, 0));
    EXPECT_TRUE(choose(*filterA, first, 2));
    EXPECT_EQ(cubeIn(first), cube);
    EXPECT_TRUE(choose(*filterB, second, 2));
    EXPECT_EQ(cubeIn(second), cube) << "both instances share one cube object";
    EXPECT_FLOAT_EQ(firstRed(*cubeIn(second)), 0.75F);
}

TEST_F(LutSelection, ANameLoadsFromTheFirstFolderThatHasIt)
{
    const ScopedEnv dataHome("XDG_DATA_HOME", home.pathOf("data"));
    const ScopedEnv dataDirs("XDG_DATA_DIRS", home.pathOf("system") + ":relative");
    const auto write = [this](const std::string& folder, const std::string& name, float first)
    {
        std::filesystem::create_directories(home.pathOf(folder));
        return home.write(folder + "/" + name, smallCube(first));
    };
    addLibraryFile("Warm.cube", smallCube(0.75F));
    write("data/huecast/luts", "Warm.cube", 0.125F);
    const std::string cool = write("data/huecast/luts", "Cool.cube", 0.25F);
    const std::string amber = write("system/huecast/luts", "Amber.cube", 0.5F);
    write("system/huecast/luts", "Cool.cube", 0.375F);
    std::filesystem::create_directories(home.pathOf("relative/huecast/luts"));
    home.write("relative/huecast/luts/Relative.cube", smallCube());

    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    ASSERT_EQ(filter->cubesList(),
              (std::vector<std::string>{"No LUT", "External File", "Warm", "Cool", "Amber"}));
    EXPECT_TRUE(choose(*filter, parameters, 2));
    EXPECT_FLOAT_EQ(firstRed(*cubeIn(parameters)), 0.75F);
    EXPECT_TRUE(choose(*filter, parameters, 3));
    EXPECT_EQ(cubeIn(parameters)->cubeFileName(), cool);
    EXPECT_FLOAT_EQ(firstRed(*cubeIn(parameters)), 0.25F);
    EXPECT_TRUE(choose(*filter, parameters, 4));
    EXPECT_EQ(cubeIn(parameters)->cubeFileName(), amber);
    EXPECT_TRUE(presenter->alerts.empty());
}

TEST_F(LutSelection, ABrokenLibraryEntryLeavesOnlyThisInstancesPopup)
{
    addLibraryFile("Broken.cube", "LUT_3D_SIZE two\n");
    host::ParameterStore first;
    host::ParameterStore second;
    auto filterA = makeFilter(first);
    auto filterB = makeFilter(second);
    const std::vector<std::string> full = {"No LUT", "External File", "Broken"};
    ASSERT_EQ(filterA->cubesList(), full);

    EXPECT_FALSE(choose(*filterA, first, 2));
    ASSERT_EQ(presenter->alerts.size(), 1U);
    EXPECT_EQ(presenter->alerts[0].messageText, "Huecast Error");
    EXPECT_EQ(presenter->alerts[0].informativeText, "Malformed LUT_3D_SIZE tag Line:1");
    EXPECT_EQ(presenter->alerts[0].buttonTitles, std::vector<std::string>{"OK"});
    EXPECT_EQ(presenter->alerts[0].style, kit::NSAlertStyle::Warning);

    const std::vector<std::string> shrunk = {"No LUT", "External File"};
    EXPECT_EQ(filterA->cubesList(), shrunk);
    EXPECT_EQ(first.parameter(kLUT)->entries, shrunk);
    EXPECT_EQ(first.parameter(kLUT)->index, 0);
    EXPECT_EQ(first.parameter(kLoadLUT)->flags, 67U);
    EXPECT_EQ(cubeIn(first), ZRColourCube::identityCube());

    EXPECT_EQ(filterB->cubesList(), full);
    EXPECT_EQ(second.parameter(kLUT)->entries, full);
}

TEST_F(LutSelection, ABrokenLibraryFileNamedLikeAFixedEntryRemovesOnlyItself)
{
    addLibraryFile("No LUT.cube", "LUT_3D_SIZE two\n");
    addLibraryFile("External File.cube", "LUT_3D_SIZE two\n");
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    ASSERT_EQ(filter->cubesList(),
              (std::vector<std::string>{"No LUT", "External File", "External File", "No LUT"}));
    EXPECT_FALSE(choose(*filter, parameters, 2));
    EXPECT_FALSE(choose(*filter, parameters, 2));
    const std::vector<std::string> fixed = {"No LUT", "External File"};
    EXPECT_EQ(filter->cubesList(), fixed);
    EXPECT_EQ(parameters.parameter(kLUT)->entries, fixed);
    // "External File" is still reachable.
    EXPECT_TRUE(choose(*filter, parameters, 1));
    EXPECT_EQ(parameters.parameter(kLoadLUT)->flags, 65U);
}

TEST_F(LutSelection, ALibraryFileDeletedAfterCreationSaysItIsGone)
{
    const std::string file = addLibraryFile("Gone.cube", smallCube());
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    std::filesystem::remove(file);
    EXPECT_FALSE(choose(*filter, parameters, 2));
    ASSERT_EQ(presenter->alerts.size(), 1U);
    EXPECT_EQ(presenter->alerts[0].informativeText, "File doesn't exist");
    EXPECT_EQ(filter->cubesList().size(), 2U);
}

TEST_F(LutSelection, ChangesOfTheOtherParametersNeedNoAction)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto before = cubeIn(parameters);
    EXPECT_TRUE(filter->parameterChanged(kCubeData));
    EXPECT_TRUE(filter->parameterChanged(kLoadLUT));
    EXPECT_EQ(cubeIn(parameters), before);
    EXPECT_EQ(parameters.parameter(kLoadLUT)->flags, 67U);
}

TEST_F(LutSelection, BrowseToAGoodFileIsOneHostActionAndShowsThePath)
{
    const std::string path = home.write("good.cube", smallCube(0.5F));
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto view = filter->createViewForParm(kLoadLUT);
    ASSERT_TRUE(view);
    choose(*filter, parameters, 1);

    presenter->answers = {path};
    filter->browseButton()->performClick();
    ASSERT_EQ(presenter->panels.size(), 1U);
    EXPECT_TRUE(presenter->panels[0].canChooseFiles);
    EXPECT_FALSE(presenter->panels[0].allowsMultipleSelection);
    EXPECT_EQ(presenter->panels[0].allowedFileTypes, std::vector<std::string>{"cube"});

    EXPECT_EQ(cubeIn(parameters)->cubeFileName(), path);
    EXPECT_EQ(pathIn(parameters), path);
    EXPECT_EQ(filter->filePathDisplay()->stringValue(), path);
    EXPECT_EQ(parameters.parameter(kLUT)->index, 1) << "the popup stays where it was";
    ASSERT_EQ(parameters.actions().size(), 1U);
    EXPECT_EQ(parameters.actions()[0].changedParameters, std::vector<std::uint32_t>{kLoadLUT});
    EXPECT_TRUE(presenter->alerts.empty());
}

TEST_F(LutSelection, BrowseToABadFileAlertsAndChangesNothing)
{
    const std::string good = home.write("good.cube", smallCube(0.5F));
    const std::string bad = home.write("bad.cube", smallCube() + "0 0 0\n");
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto view = filter->createViewForParm(kLoadLUT);
    presenter->answers = {good, bad};
    filter->browseButton()->performClick();
    const auto goodCube = cubeIn(parameters);

    filter->browseButton()->performClick();
    ASSERT_EQ(presenter->alerts.size(), 1U);
    EXPECT_EQ(presenter->alerts[0].informativeText,
              "Data length in file does not match declared size");
    EXPECT_EQ(cubeIn(parameters), goodCube);
    EXPECT_EQ(pathIn(parameters), good);
    EXPECT_EQ(filter->filePathDisplay()->stringValue(), good);
    EXPECT_EQ(parameters.actions().size(), 1U);
}

TEST_F(LutSelection, BrowseCancelledChangesNothing)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto before = cubeIn(parameters);
    presenter->answers = {""};
    filter->selectFile(nullptr);
    EXPECT_EQ(presenter->panels.size(), 1U);
    EXPECT_EQ(cubeIn(parameters), before);
    EXPECT_EQ(pathIn(parameters), "");
    EXPECT_TRUE(presenter->alerts.empty());
    EXPECT_TRUE(parameters.actions().empty());
}

TEST_F(LutSelection, OnlyTheLoadLUTParameterHasAControl)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    for (const std::uint32_t id : {0U, 1U, 2U, 4U})
    {
        EXPECT_EQ(filter->createViewForParm(id), nullptr) << id;
    }
    EXPECT_EQ(filter->browseButton(), nullptr);

    const auto view = filter->createViewForParm(kLoadLUT);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frame(), (kit::NSRect{0, 0, 468, 32}));
    ASSERT_EQ(view->subviews().size(), 2U);
    EXPECT_EQ(view->subviews()[0], filter->browseButton());
    EXPECT_EQ(filter->browseButton()->title(), "Browse...");
    EXPECT_EQ(view->subviews()[1], filter->filePathDisplay());
}

TEST_F(LutSelection, SyncUIWritesTheNewestLiveDisplayOnly)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    parameters.setCustomParameterValue(std::make_shared<const fx::FxStringValue>("/x/y.cube"),
                                       kLoadLUT);
    auto first = filter->createViewForParm(kLoadLUT);
    auto second = filter->createViewForParm(kLoadLUT);
    auto* firstField = static_cast<kit::NSTextField*>(first->subviews()[1].get());
    EXPECT_EQ(firstField->stringValue(), "/x/y.cube");

    parameters.setCustomParameterValue(std::make_shared<const fx::FxStringValue>(""), kLoadLUT);
    filter->syncUI();
    EXPECT_EQ(filter->filePathDisplay()->stringValue(), "");
    EXPECT_EQ(firstField->stringValue(), "/x/y.cube");

    // The host drops the newest control: a frame's syncUI must write nowhere.
    second.reset();
    EXPECT_EQ(filter->filePathDisplay(), nullptr);
    bool hardware = false;
    bool software = false;
    EXPECT_TRUE(filter->frameSetup({}, {}, &hardware, &software));
}

TEST_F(LutSelection, AButtonThatOutlivesItsFilterSendsNothing)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto view = filter->createViewForParm(kLoadLUT);
    const auto button = filter->browseButton();
    filter.reset();
    presenter->answers = {"/never/asked.cube"};
    button->performClick();
    EXPECT_TRUE(presenter->panels.empty());
}

} // namespace
} // namespace huecast::test
