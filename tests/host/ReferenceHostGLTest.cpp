// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The reference host with the real bundle, loaded with dlopen: instances, Browse, and projects
// that keep the whole cube.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cube/CubeKeys.h"
#include "host/Base64.h"
#include "host/Checksum.h"
#include "host/Project.h"
#include "host/ReferenceHost.h"
#include "platform/kit/Modal.h"
#include "plugin/HuecastParameters.h"
#include "tests/support/ScriptedPresenter.h"
#include "tests/support/TestSupport.h"

namespace huecast::test
{
namespace
{

constexpr std::uint32_t kLUT = parmIdOf(HuecastParameter::LUT);
constexpr std::uint32_t kCubeData = parmIdOf(HuecastParameter::CubeData);
constexpr std::uint32_t kLoadLUT = parmIdOf(HuecastParameter::LoadLUT);

std::string cubeText(float first)
{
    return "TITLE \"t\"\nDOMAIN_MIN 0 0 0\nLUT_3D_SIZE 2\n" + std::to_string(first) +
           " -0.5 1.5\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
}

// The lattice bytes archived for a parameter's value (the value's own archive).
foundation::Bytes archivedValue(const host::EffectInstance& instance, std::uint32_t id)
{
    foundation::KeyedArchiver archiver;
    instance.parameters().parameter(id)->value->encodeWithCoder(archiver);
    return archiver.encodedData();
}

class ReferenceHostTest : public testing::Test
{
protected:
    void SetUp() override
    {
        foundation::Error error;
        host = host::ReferenceHost::create(HUECAST_BUNDLE_DIR, &error);
        ASSERT_TRUE(host) << error.localizedDescription();
        kit::setModalPresenter(presenter);
    }
    void TearDown() override { kit::setModalPresenter(nullptr); }

    host::EffectInstance& newInstance()
    {
        foundation::Error error;
        host::EffectInstance* instance = host->createInstance({}, &error);
        EXPECT_NE(instance, nullptr) << error.localizedDescription();
        return *instance;
    }

    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path()};
    std::shared_ptr<ScriptedPresenter> presenter = std::make_shared<ScriptedPresenter>();
    std::unique_ptr<host::ReferenceHost> host;
};

TEST_F(ReferenceHostTest, BrowseThroughTheBundlesControl)
{
    const std::string path = home.write("a.cube", cubeText(0.25F));
    host::EffectInstance& instance = newInstance();
    ASSERT_TRUE(instance.choosePopupEntry(kLUT, 1));
    presenter->answers = {path};
    ASSERT_TRUE(instance.clickBrowse(kLoadLUT));
    EXPECT_TRUE(presenter->alerts.empty());
    const std::string* stored = fx::stringOf(instance.parameters().parameter(kLoadLUT)->value);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(*stored, path);
    EXPECT_EQ(instance.parameters().actions().size(), 1U);
    EXPECT_EQ(instance.parameters().parameter(kCubeData)->value->className(), "ZRColourCube");
}

TEST_F(ReferenceHostTest, AHostWithoutTheCreationServiceGetsNoParameters)
{
    foundation::Error error;
    host::EffectInstance* instance =
        host->createInstance({fx::FxProtocol::ParameterCreation}, &error);
    ASSERT_NE(instance, nullptr);
    EXPECT_TRUE(instance->parameters().parameters().empty());
}

TEST_F(ReferenceHostTest, AProjectKeepsTheLatticeWhenTheFileIsGone)
{
    const std::string path = home.write("grade.cube", cubeText(0.125F));
    host::EffectInstance& instance = newInstance();
    presenter->answers = {path};
    ASSERT_TRUE(instance.clickBrowse(kLoadLUT));
    instance.choosePopupEntry(kLUT, 1);
    const foundation::Bytes cubeArchive = archivedValue(instance, kCubeData);

    const std::string project = home.pathOf("p.json");
    foundation::Error error;
    ASSERT_TRUE(host::saveProject(project, {&instance}, &error)) << error.localizedDescription();
    std::filesystem::remove(path);

    host::EffectInstance& restored = newInstance();
    ASSERT_TRUE(host::loadProject(project, host->bundle(), {&restored}, &error))
        << error.localizedDescription();
    EXPECT_EQ(archivedValue(restored, kCubeData), cubeArchive)
        << "the very lattice bytes, domain and file name come back";
    EXPECT_EQ(restored.parameters().parameter(kLUT)->index, 1);
    EXPECT_EQ(restored.parameters().parameter(kLoadLUT)->flags, 65U);
    EXPECT_EQ(*fx::stringOf(restored.parameters().parameter(kLoadLUT)->value), path);
}

TEST_F(ReferenceHostTest, ADamagedOrNewerProjectIsRefusedAndChangesNothing)
{
    host::EffectInstance& instance = newInstance();
    const std::string project = home.pathOf("p.json");
    foundation::Error error;
    ASSERT_TRUE(host::saveProject(project, {&instance}, &error));
    std::string text;
    {
        std::ifstream in(project);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    instance.choosePopupEntry(kLUT, 1);
    const foundation::Bytes before = archivedValue(instance, kCubeData);

    struct Case
    {
        std::string name;
        std::string contents;
        std::string messagePart;
    };
    std::string newer = text;
    newer.replace(newer.find("\"version\": 2"), 12, "\"version\": 9");
    std::string badArchive = text;
    const std::size_t archive = badArchive.find(R"("archive": ")") + 12;
    badArchive.replace(archive, 8, "AAAAAAAA");
    const auto edited = [&text](std::size_t parameter, const nlohmann::ordered_json& value)
    {
        auto json = nlohmann::ordered_json::parse(text);
        json["instances"][0]["parameters"][parameter]["value"] = value;
        return json.dump();
    };
    const std::vector<Case> cases = {
        {"truncated", text.substr(0, text.size() / 2), "not a Huecast project"},
        {"not json", "\x01\x02garbage", "not a Huecast project"},
        {"newer", newer, "format version 9"},
        {"damaged archive", badArchive, "damaged value for parameter 2"},
        {"amount beyond 1", edited(4, 2), "holds 2 for parameter 5, which takes 0 to 1"},
        {"amount edited", edited(4, 0.5), "damaged value for parameter 5: it doesn't match"},
        {"choice edited", edited(3, 1), "damaged value for parameter 4: it doesn't match"},
        {"choice beyond", edited(3, 7), "holds choice 7 for parameter 4, which lists 2 entries"},
        {"missing", "", "couldn't be read"},
    };
    for (const Case& c : cases)
    {
        const std::string path =
            c.name == "missing" ? home.pathOf("none.json") : home.write(c.name, c.contents);
        error = {};
        EXPECT_FALSE(host::loadProject(path, host->bundle(), {&instance}, &error)) << c.name;
        EXPECT_EQ(error.domain(), host::kHostErrorDomain) << c.name;
        EXPECT_NE(error.localizedDescription().find(c.messagePart), std::string::npos)
            << c.name << ": " << error.localizedDescription();
        EXPECT_NE(error.localizedDescription().find(path), std::string::npos) << c.name;
        EXPECT_EQ(instance.parameters().parameter(kLUT)->index, 1) << c.name;
        EXPECT_EQ(archivedValue(instance, kCubeData), before) << c.name;
    }
}

// A project whose cube value is replaced by the archive of `cube`, with the checksum the value
// then has, or with none, as projects saved before checksums were kept.
std::string withCubeArchive(const std::string& project, const foundation::Value& cube,
                            bool checksum)
{
    foundation::KeyedArchiver archiver;
    archiver.encodeObject(cube, "kColourCubeKey");
    const foundation::Bytes bytes = archiver.encodedData();
    const std::string hex = host::sha256Hex(bytes);
    nlohmann::ordered_json json = nlohmann::ordered_json::parse(project);
    for (auto& parameter : json["instances"][0]["parameters"])
    {
        if (parameter["id"] == kCubeData)
        {
            parameter["archive"] = host::encodeBase64(bytes);
            parameter["sha256"] = hex;
            if (!checksum)
            {
                parameter.erase("sha256");
            }
        }
    }
    return json.dump();
}

TEST_F(ReferenceHostTest, ACubeThatCantBeRenderedOrDoesntMatchItsChecksumIsRefused)
{
    host::EffectInstance& instance = newInstance();
    const std::string project = home.pathOf("p.json");
    foundation::Error error;
    ASSERT_TRUE(host::saveProject(project, {&instance}, &error));
    const std::string text = readFile(project);
    instance.choosePopupEntry(kLUT, 1);
    const foundation::Bytes before = archivedValue(instance, kCubeData);

    const auto cube = [](foundation::Value edge, std::size_t latticeBytes)
    {
        foundation::Dictionary dictionary;
        if (!edge.isNull())
        {
            dictionary.emplace("kCubeEdgeSizeKey", edge);
        }
        dictionary.emplace("kCubeFileNameKey", "x.cube");
        const std::vector<float> lattice(latticeBytes / sizeof(float), 0.5F);
        dictionary.emplace("kCubeDataKey",
                           foundation::makeSharedBytes(lattice.data(), latticeBytes));
        return foundation::Value(std::move(dictionary));
    };
    std::string flipped = withCubeArchive(text, cube(2, 96), true);
    const std::size_t archive = flipped.find(R"("archive":")") + 11;
    flipped[archive + 20] = flipped[archive + 20] == 'A' ? 'B' : 'A';
    const std::vector<std::pair<std::string, std::string>> cases = {
        {withCubeArchive(text, foundation::Value(7), true), "holds no cube dictionary"},
        {withCubeArchive(text, cube({}, 96), true), "edge size is missing"},
        {withCubeArchive(text, cube(300, 96), true), "edge size is 300, outside 1 to 256"},
        {withCubeArchive(text, cube(0, 0), true), "edge size is 0"},
        {withCubeArchive(text, cube(4, 4 * 4 * 4 * 12 - 12), true),
         "lattice holds 756 bytes where edge 4 needs 768"},
        {withCubeArchive(text, cube(2, 96), false), "holds no checksum for parameter 2"},
        {flipped, "doesn't match its checksum"},
    };
    for (const auto& [contents, messagePart] : cases)
    {
        const std::string path = home.write("damaged.json", contents);
        error = {};
        EXPECT_FALSE(host::loadProject(path, host->bundle(), {&instance}, &error)) << messagePart;
        EXPECT_NE(error.localizedDescription().find(messagePart), std::string::npos)
            << error.localizedDescription();
        EXPECT_EQ(error.localizedDescription().rfind("The project \"" + path + "\"", 0), 0U);
        EXPECT_EQ(archivedValue(instance, kCubeData), before) << messagePart;
    }
    // The same cube, whole, restores.
    const std::string whole = home.write("whole.json", withCubeArchive(text, cube(2, 96), true));
    EXPECT_TRUE(host::loadProject(whole, host->bundle(), {&instance}, &error))
        << error.localizedDescription();
}

TEST_F(ReferenceHostTest, ASaveThatFailsSaysWhyAndALongNameSaves)
{
    host::EffectInstance& instance = newInstance();
    const std::string plain = home.write("plain", "x");
    foundation::Error error;
    EXPECT_FALSE(host::saveProject(plain + "/p.json", {&instance}, &error));
    EXPECT_EQ(error.localizedDescription(),
              "The project \"" + plain + "/p.json\" couldn't be written: Not a directory");
    EXPECT_TRUE(
        host::saveProject(home.pathOf(std::string(250, 'p') + ".json"), {&instance}, &error))
        << error.localizedDescription();
}

TEST(PluginBundleTest, AFolderWithoutTheLibraryIsRefusedByName)
{
    foundation::Error error;
    EXPECT_EQ(host::PluginBundle::load("/nonexistent/Huecast.bundle", &error), nullptr);
    EXPECT_EQ(error.code(), static_cast<std::int64_t>(host::HostError::BundleNotLoaded));
    EXPECT_NE(error.localizedDescription().find("/nonexistent/Huecast.bundle"), std::string::npos);
}

TEST_F(ReferenceHostTest, AProjectWhoseArchiveNestsIndefiniteStringsIsRefused)
{
    // Two million 0x5F bytes once overflowed the stack inside the CBOR reader.
    host::EffectInstance& instance = newInstance();
    const std::string project = home.pathOf("p.json");
    foundation::Error error;
    ASSERT_TRUE(host::saveProject(project, {&instance}, &error));
    const foundation::Bytes nested(2000000, 0x5F);
    nlohmann::ordered_json json = nlohmann::ordered_json::parse(readFile(project));
    for (auto& parameter : json["instances"][0]["parameters"])
    {
        if (parameter["id"] == kCubeData)
        {
            // With its checksum, so that the bytes reach the archive reader.
            parameter["archive"] = host::encodeBase64(nested);
            parameter["sha256"] = host::sha256Hex(nested);
        }
    }
    const std::string crafted = home.write("crafted.json", json.dump());
    EXPECT_FALSE(host::loadProject(crafted, host->bundle(), {&instance}, &error));
    EXPECT_NE(error.localizedDescription().find(crafted), std::string::npos);
    EXPECT_NE(error.localizedDescription().find("an indefinite length"), std::string::npos)
        << error.localizedDescription();
}

TEST_F(ReferenceHostTest, AProjectRestoresThePopupChoiceByNameInTheFiltersOwnList)
{
    using Entries = std::vector<std::string>;
    const std::string folder(kDefaultCubesLocation.substr(2)); // under $HOME
    std::filesystem::create_directories(home.pathOf(folder));
    home.write(folder + "/Broken.cube", "LUT_3D_SIZE two\n");
    home.write(folder + "/Cold.cube", cubeText(0.25F));
    const std::string warmFile = home.write(folder + "/Warm.cube", cubeText(0.75F));

    // Saved after Broken left the popup: there, index 3 is Warm.
    host::EffectInstance& saved = newInstance();
    EXPECT_FALSE(saved.choosePopupEntry(kLUT, 2));
    ASSERT_EQ(saved.parameters().parameter(kLUT)->entries,
              (Entries{"No LUT", "External File", "Cold", "Warm"}));
    ASSERT_TRUE(saved.choosePopupEntry(kLUT, 3));
    const foundation::Bytes warm = archivedValue(saved, kCubeData);
    const std::string project = home.pathOf("p.json");
    foundation::Error error;
    ASSERT_TRUE(host::saveProject(project, {&saved}, &error)) << error.localizedDescription();

    // A new filter lists Broken again; the popup shows its list, with Warm chosen.
    host::EffectInstance& restored = newInstance();
    ASSERT_TRUE(host::loadProject(project, host->bundle(), {&restored}, &error))
        << error.localizedDescription();
    const host::Parameter* popup = restored.parameters().parameter(kLUT);
    EXPECT_EQ(popup->entries, (Entries{"No LUT", "External File", "Broken", "Cold", "Warm"}));
    EXPECT_EQ(popup->index, 4);
    EXPECT_EQ(archivedValue(restored, kCubeData), warm);
    ASSERT_TRUE(restored.choosePopupEntry(kLUT, popup->index));
    EXPECT_EQ(archivedValue(restored, kCubeData), warm) << "choosing Warm loads Warm";

    // Warm gone from the library: the popup can't show it, the stored cube still renders.
    std::filesystem::remove(warmFile);
    host::EffectInstance& later = newInstance();
    ASSERT_TRUE(host::loadProject(project, host->bundle(), {&later}, &error));
    popup = later.parameters().parameter(kLUT);
    EXPECT_EQ(popup->entries, (Entries{"No LUT", "External File", "Broken", "Cold"}));
    EXPECT_EQ(popup->index, 0);
    EXPECT_EQ(archivedValue(later, kCubeData), warm);
}

} // namespace
} // namespace huecast::test
