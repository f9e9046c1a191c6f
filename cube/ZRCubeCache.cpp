// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/ZRCubeCache.h"

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
    const auto found = m_cubesCache.find(name);
    return found == m_cubesCache.end() ? nullptr : found->second;
}

} // namespace huecast
