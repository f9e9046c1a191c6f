// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRCubeCache.h"

#include <string>

#include <gtest/gtest.h>

#include "cube/ZRCubeReader.h"
#include "tests/support/TestSupport.h"

namespace huecast
{
namespace
{

using foundation::Value;

std::shared_ptr<ZRColourCube> cubeNamed(const std::string& fileName, float red)
{
    const foundation::Dictionary dictionary = {
        {"kCubeEdgeSizeKey", Value(1)},
        {"kCubeFileNameKey", Value(fileName)},
        {"kCubeFormatKey", Value("kIridasCubeFormat")},
        {"kCubeDataKey", Value(foundation::makeSharedBytes(&red, sizeof red))}};
    return ZRColourCube::initWithDictionary(&dictionary);
}

TEST(CubeCache, FreshCacheHoldsOnlyTheIdentityCube)
{
    const ZRCubeCache cache;
    EXPECT_EQ(cache.cubeForName("kIdentityCube"), ZRColourCube::identityCube());
    for (const char* key : {"kidentitycube", "kIdentityCube ", "", "Warm", "/Warm.cube"})
    {
        EXPECT_EQ(cache.cubeForName(key), nullptr) << '"' << key << '"';
    }
}

TEST(CubeCache, AddingUnderTheSameNameReplaces)
{
    ZRCubeCache cache;
    const auto first = cubeNamed("/luts/Warm.cube", 0.25F);
    const auto second = cubeNamed("/luts/Warm.cube", 0.75F);
    cache.addCube(first);
    EXPECT_EQ(cache.cubeForName("/luts/Warm.cube"), first);
    cache.addCube(second);
    EXPECT_EQ(cache.cubeForName("/luts/Warm.cube"), second);
    EXPECT_EQ(cache.cubeForName("kIdentityCube"), ZRColourCube::identityCube());
}

TEST(CubeCache, KeysAreTheExactPathStrings)
{
    ZRCubeCache cache;
    cache.addCube(cubeNamed("/luts/Warm.cube", 0.5F));
    for (const char* other : {"/luts/warm.cube", "/luts//Warm.cube", "/luts/./Warm.cube",
                              "luts/Warm.cube", "/luts/Warm.cube/", "/luts/Warm"})
    {
        EXPECT_EQ(cache.cubeForName(other), nullptr) << other;
    }

    // A cube read through "~" is kept under the "~" form it was read with.
    const test::TempDir dir;
    dir.write("Cold.cube", "LUT_3D_SIZE 1\n0 0 1\n");
    const test::ScopedEnv home("HOME", dir.path());
    cache.addCube(ZRCubeReader::cubeFromFile("~/Cold.cube", nullptr));
    EXPECT_NE(cache.cubeForName("~/Cold.cube"), nullptr);
    EXPECT_EQ(cache.cubeForName(dir.pathOf("Cold.cube")), nullptr);
}

TEST(CubeCache, SharedCacheIsOnePerProcess)
{
    ZRCubeCache& shared = ZRCubeCache::sharedCache();
    EXPECT_EQ(&ZRCubeCache::sharedCache(), &shared);
    EXPECT_EQ(shared.cubeForName("kIdentityCube"), ZRColourCube::identityCube());
    const auto cube = cubeNamed("/shared/Night.cube", 0.1F);
    shared.addCube(cube);
    EXPECT_EQ(ZRCubeCache::sharedCache().cubeForName("/shared/Night.cube"), cube);
}

} // namespace
} // namespace huecast
