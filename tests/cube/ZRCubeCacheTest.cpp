// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRCubeCache.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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

// Threads that ask for one file at the same time share one read of it: the cube stored is the
// one each of them gets. A broken file gives every waiter the reader's error and stores nothing.
// Readers of other names run alongside (the sanitizer presets catch an unguarded map).
TEST(CubeCache, ThreadsAskingAtOnceShareOneRead)
{
    const test::TempDir dir;
    std::string lattice = "LUT_3D_SIZE 48\n";
    for (int i = 0; i < 48 * 48 * 48; ++i)
    {
        lattice += "0.25 0.5 0.75\n";
    }
    const std::string good = dir.write("Big.cube", lattice);
    const std::string bad = dir.write("Bad.cube", lattice + "0.1 0.2\n");

    for (const std::string& path : {good, bad})
    {
        ZRCubeCache cache;
        constexpr std::size_t kThreads = 6;
        std::vector<std::shared_ptr<ZRColourCube>> cubes(kThreads);
        std::vector<std::string> messages(kThreads);
        std::atomic<std::size_t> ready = 0;
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < kThreads; ++t)
        {
            threads.emplace_back(
                [&, t]
                {
                    ++ready;
                    while (ready < kThreads)
                    {
                        std::this_thread::yield();
                    }
                    foundation::Error error;
                    cubes[t] =
                        t % 3 == 2 ? cache.cubeForName(path) : cache.cubeForFile(path, &error);
                    messages[t] = error.localizedDescription();
                    cache.addCube(cubeNamed("/other/" + std::to_string(t) + ".cube", 0.5F));
                });
        }
        for (std::thread& thread : threads)
        {
            thread.join();
        }
        const auto stored = cache.cubeForName(path);
        EXPECT_EQ(stored == nullptr, path == bad);
        for (std::size_t t = 0; t < kThreads; ++t)
        {
            if (t % 3 == 2)
            {
                EXPECT_TRUE(cubes[t] == nullptr || cubes[t] == stored) << t;
                continue;
            }
            EXPECT_EQ(cubes[t], stored) << t;
            EXPECT_EQ(messages[t].empty(), path == good) << t << ": " << messages[t];
            EXPECT_EQ(messages[t], messages[0]) << t;
        }
        EXPECT_NE(cache.cubeForName("/other/0.cube"), nullptr);
    }
}

} // namespace
} // namespace huecast
