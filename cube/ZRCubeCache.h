// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "cube/ZRColourCube.h"
#include "platform/foundation/Error.h"

namespace huecast
{

/// Every cube loaded in the process, keyed by the exact path string it was read from, plus the
/// identity cube under "kIdentityCube". Only grows. Locked: hosts such as the frei0r module run
/// filter instances on several threads at once, and they all share the process's one cache.
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

    /// The cube stored under the path, else the .cube file read and stored. A file is read once
    /// however many threads ask for it at the same time: the others wait for that read and
    /// share its cube, or its error. A failed read stores nothing (null, with the reader's
    /// error), so a later call reads the file again.
    [[nodiscard]] std::shared_ptr<ZRColourCube> cubeForFile(const std::string& path,
                                                            foundation::Error* error);

private:
    // One read in progress, shared by the threads that wait for it.
    struct PendingRead
    {
        bool done = false;
        std::shared_ptr<ZRColourCube> cube;
        foundation::Error error;
    };

    void addCubeLocked(std::shared_ptr<ZRColourCube> cube);

    mutable std::mutex m_mutex;
    std::condition_variable m_readFinished;
    std::map<std::string, std::shared_ptr<ZRColourCube>, std::less<>> m_cubesCache;
    std::map<std::string, std::shared_ptr<PendingRead>, std::less<>> m_pendingReads;
};

} // namespace huecast
