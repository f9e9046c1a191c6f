// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRColourCube.h"

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cube/ZRCubeReader.h"
#include "tests/cube/CubeTestSupport.h"
#include "tests/support/TestSupport.h"

namespace huecast
{
namespace
{

using foundation::Dictionary;
using foundation::Error;
using foundation::KeyedArchiver;
using foundation::KeyedUnarchiver;
using foundation::Value;
using test::entryOf;
using test::latticeOf;

Dictionary fileCubeDictionary()
{
    const std::array<float, 3> lattice = {0.25F, 0.5F, 0.75F};
    return {{"kCubeEdgeSizeKey", Value(1)},
            {"kCubeFileNameKey", Value("/Volumes/Grades/Film.alt.cube")},
            {"kCubeFormatKey", Value("kIridasCubeFormat")},
            {"kCubeDataKey", Value(foundation::makeSharedBytes(lattice.data(), 12))}};
}

foundation::Bytes archive(const ZRColourCube& cube)
{
    KeyedArchiver archiver;
    cube.encodeWithCoder(archiver);
    return archiver.encodedData();
}

std::shared_ptr<ZRColourCube> unarchive(const foundation::Bytes& bytes)
{
    const auto coder = KeyedUnarchiver::create(bytes, nullptr);
    return coder ? ZRColourCube::initWithCoder(*coder) : nullptr;
}

TEST(ColourCube, IdentityCubeMapsEveryLatticePointToItself)
{
    const auto identity = ZRColourCube::identityCube();
    ASSERT_NE(identity, nullptr);
    EXPECT_EQ(ZRColourCube::identityCube(), identity);
    EXPECT_EQ(identity->cubeSize(), 16);
    EXPECT_EQ(identity->cubeFileName(), "kIdentityCube");
    EXPECT_EQ(identity->cubeName(), "kIdentityCube");
    EXPECT_EQ(identity->colourCube()->size(), 3U) << "no format and no domain entries";

    const std::vector<float> lattice = latticeOf(*identity);
    ASSERT_EQ(lattice.size() * sizeof(float), 49152U);
    const auto entry = [&lattice](std::size_t index)
    {
        return std::array<float, 3>{lattice[3 * index], lattice[3 * index + 1],
                                    lattice[3 * index + 2]};
    };
    const float step = 1.0F / 15.0F;
    EXPECT_EQ(entry(0), (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(entry(1), (std::array<float, 3>{step, 0, 0}));
    EXPECT_EQ(entry(16), (std::array<float, 3>{0, step, 0}));
    EXPECT_EQ(entry(256), (std::array<float, 3>{0, 0, step}));
    EXPECT_EQ(entry(4095), (std::array<float, 3>{1, 1, 1}));
    EXPECT_EQ(entry(7 + 16 * 11 + 256 * 13),
              (std::array<float, 3>{7.0F / 15.0F, 11.0F / 15.0F, 13.0F / 15.0F}));

    const ZRColourCube own; // a new identity cube of its own
    EXPECT_EQ(*own.colourCube(), *identity->colourCube());
}

TEST(ColourCube, InitWithDictionaryNeedsTheFourEntries)
{
    EXPECT_EQ(ZRColourCube::initWithDictionary(nullptr), nullptr);
    for (const char* key :
         {"kCubeEdgeSizeKey", "kCubeFileNameKey", "kCubeFormatKey", "kCubeDataKey"})
    {
        Dictionary dictionary = fileCubeDictionary();
        dictionary.erase(key);
        EXPECT_EQ(ZRColourCube::initWithDictionary(&dictionary), nullptr) << key;
    }
    const Dictionary identity = ZRColourCube::genIdentity();
    EXPECT_EQ(ZRColourCube::initWithDictionary(&identity), nullptr);
}

TEST(ColourCube, InitWithDictionarySharesTheLatticeAndKeepsExtraEntries)
{
    Dictionary source = fileCubeDictionary();
    source.emplace("com.example.note", Value("kept"));
    const auto cube = ZRColourCube::initWithDictionary(&source);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(*cube->colourCube(), source);
    EXPECT_EQ(entryOf(*cube, kCubeDataKey).bytes(), source.at("kCubeDataKey").bytes());

    // Replacing entries of the source afterwards leaves the cube as it was.
    source["kCubeFileNameKey"] = Value("/elsewhere/Other.cube");
    source["kCubeDataKey"] = Value(foundation::makeSharedBytes("", 0));
    source.erase("com.example.note");
    EXPECT_EQ(cube->cubeFileName(), "/Volumes/Grades/Film.alt.cube");
    EXPECT_EQ(latticeOf(*cube), (std::vector<float>{0.25F, 0.5F, 0.75F}));
    EXPECT_EQ(*entryOf(*cube, "com.example.note").string(), "kept");
}

TEST(ColourCube, CubeNameIsTheLastComponentWithoutExtension)
{
    for (const auto& [fileName, name] : std::vector<std::pair<const char*, const char*>>{
             {"/Volumes/Grades/Film.alt.cube", "Film.alt"},
             {"Film", "Film"},
             {"~/Looks/Warm.cube", "Warm"},
             {"/grades.d/Night", "Night"}})
    {
        Dictionary dictionary = fileCubeDictionary();
        dictionary["kCubeFileNameKey"] = Value(fileName);
        EXPECT_EQ(ZRColourCube::initWithDictionary(&dictionary)->cubeName(), name);
    }
}

TEST(ColourCube, ArchiveRoundTripKeepsEveryEntryAndTheLatticeBytes)
{
    const test::TempDir dir;
    const std::string path = dir.write(
        "Teal.cube", "TITLE \"teal\"\nLUT_3D_SIZE 2\nDOMAIN_MIN -0.1 0 0\nDOMAIN_MAX 1 2 3.5\n"
                     "0 0 0\n1.5 0 0\n0 1 0\n1 1 -0\n0 0 1\n1 0 1\n0 1 1\n0.1 0.2 0.3\n");
    const auto cube = ZRCubeReader::cubeFromFile(path, nullptr);
    ASSERT_NE(cube, nullptr);
    const auto decoded = unarchive(archive(*cube));
    ASSERT_NE(decoded, nullptr);
    ASSERT_NE(decoded->colourCube(), nullptr);
    EXPECT_EQ(*decoded->colourCube(), *cube->colourCube());
    EXPECT_EQ(*entryOf(*decoded, kCubeDataKey).bytes(), *entryOf(*cube, kCubeDataKey).bytes());
    EXPECT_EQ(test::numbersOf(entryOf(*decoded, kDomainMinKey)), (std::vector<double>{-0.1, 0, 0}));
    EXPECT_EQ(decoded->cubeFileName(), path);

    const auto identity = unarchive(archive(*ZRColourCube::identityCube()));
    ASSERT_NE(identity, nullptr);
    EXPECT_EQ(*identity->colourCube(), *ZRColourCube::identityCube()->colourCube());
}

TEST(ColourCube, ArchiveRoundTripKeepsAFileNameThatIsNotUtf8)
{
    // Linux file names are bytes: a cube read from such a path must come back from a project.
    const test::TempDir dir;
    const std::string path = dir.write("Caf\xE9.cube", "LUT_3D_SIZE 1\n0 0 0\n");
    const auto cube = ZRCubeReader::cubeFromFile(path, nullptr);
    ASSERT_NE(cube, nullptr);
    const auto decoded = unarchive(archive(*cube));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->cubeFileName(), path);
}

TEST(ColourCube, ArchiveWithoutTheCubeEntryDecodesAsAnEmptyCube)
{
    KeyedArchiver archiver;
    archiver.encodeObject(Value("something else"), "kOtherKey");
    const auto cube = unarchive(archiver.encodedData());
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->colourCube(), nullptr);
    EXPECT_EQ(cube->cubeFileName(), std::nullopt);
    EXPECT_EQ(cube->cubeSize(), 0);
}

TEST(ColourCube, DamagedArchivesAreRefusedOrDecodedNeverCrash)
{
    Dictionary dictionary = fileCubeDictionary();
    dictionary.emplace("kDomainMinKey", Value(foundation::Array{0.0, -0.5, 1}));
    const foundation::Bytes good = archive(*ZRColourCube::initWithDictionary(&dictionary));
    for (std::size_t length = 0; length < good.size(); ++length)
    {
        Error error;
        const foundation::Bytes truncated(good.begin(), good.begin() + static_cast<long>(length));
        EXPECT_EQ(KeyedUnarchiver::create(truncated, &error), nullptr) << length;
        EXPECT_EQ(error.domain(), "HuecastArchiveErrorDomain") << length;
    }
    for (std::size_t index = 0; index < good.size() * 8; ++index)
    {
        foundation::Bytes flipped = good;
        flipped[index / 8] = static_cast<std::uint8_t>(flipped[index / 8] ^ (1U << (index % 8)));
        Error error;
        if (const auto coder = KeyedUnarchiver::create(flipped, &error))
        {
            const auto cube = ZRColourCube::initWithCoder(*coder);
            (void)cube->cubeName();
            (void)cube->cubeSize();
        }
        else
        {
            EXPECT_EQ(error.domain(), "HuecastArchiveErrorDomain") << index;
        }
    }
}

} // namespace
} // namespace huecast
