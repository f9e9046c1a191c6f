// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "cube/ZRColourCube.h"

namespace huecast
{

/// Every cube loaded in the process, keyed by the exact path string it was read from, plus the
/// identity cube under "kIdentityCube". Only grows. Not locked: all calls come from the host's
/// calling thread.
class ZRCubeCache
{
public:
    /// An empty cache seeded with the identity cube.
    ZRCubeCache();

    /// The process's one cache, made on the first call (also the identity cube's first use)
    /// and never destroyed.
    [[nodiscard]] static ZRCubeCache& sharedCache();

    /// Stores the cube under its file name, replacing a cube stored under the same name.
    /// A cube without a file name is not stored.
    void addCube(std::shared_ptr<ZRColourCube> cube);

    /// The cube stored under exactly this key (letter case and every character count), or null.
    [[nodiscard]] std::shared_ptr<ZRColourCube> cubeForName(std::string_view name) const;

private:
    std::map<std::string, std::shared_ptr<ZRColourCube>, std::less<>> m_cubesCache;
};

} // namespace huecast
