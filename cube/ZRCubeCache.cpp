// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRCubeCache.h"

#include "cube/ZRCubeReader.h"

namespace huecast
{

ZRCubeCache::ZRCubeCache()
{
    m_cubesCache.emplace(kIdentityCube, ZRColourCube::identityCube());
}

ZRCubeCache& ZRCubeCache::sharedCache()
{
    // Made once, under the function-local static's once-only guard, and intentionally never
    // destroyed: cubes may still be held by host objects torn down at exit.
    static auto* const shared = new ZRCubeCache();
    return *shared;
}

void ZRCubeCache::addCube(std::shared_ptr<ZRColourCube> cube)
{
    const std::scoped_lock lock(m_mutex);
    addCubeLocked(std::move(cube));
}

void ZRCubeCache::addCubeLocked(std::shared_ptr<ZRColourCube> cube)
{
    if (!cube)
    {
        return;
    }
    if (std::optional<std::string> name = cube->cubeFileName())
    {
        m_cubesCache.insert_or_assign(std::move(*name), std::move(cube));
    }
}

std::shared_ptr<ZRColourCube> ZRCubeCache::cubeForName(std::string_view name) const
{
    const std::scoped_lock lock(m_mutex);
    const auto found = m_cubesCache.find(name);
    return found == m_cubesCache.end() ? nullptr : found->second;
}

std::shared_ptr<ZRColourCube> ZRCubeCache::cubeForFile(const std::string& path,
                                                       foundation::Error* error)
{
    std::unique_lock lock(m_mutex);
    if (const auto found = m_cubesCache.find(path); found != m_cubesCache.end())
    {
        return found->second;
    }
    if (const auto reading = m_pendingReads.find(path); reading != m_pendingReads.end())
    {
        const std::shared_ptr<PendingRead> pending = reading->second;
        m_readFinished.wait(lock, [&pending] { return pending->done; });
        if (!pending->cube && error != nullptr)
        {
            *error = pending->error;
        }
        return pending->cube;
    }

    auto pending = std::make_shared<PendingRead>();
    m_pendingReads.emplace(path, pending);
    lock.unlock();
    // The read runs unlocked: other paths, and cubes already stored, are not held up by it.
    foundation::Error readError;
    std::shared_ptr<ZRColourCube> cube = ZRCubeReader::cubeFromFile(path, &readError);
    lock.lock();
    pending->done = true;
    pending->cube = cube;
    pending->error = readError;
    m_pendingReads.erase(path);
    addCubeLocked(cube);
    lock.unlock();
    m_readFinished.notify_all();
    if (!cube && error != nullptr)
    {
        *error = std::move(readError);
    }
    return cube;
}

} // namespace huecast
