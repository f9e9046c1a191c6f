// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <string>
#include <vector>

namespace huecast::tool
{

/// A path that a run reads or writes, with what it is to the user ("the LUT file").
struct RunPath
{
    std::string path;
    std::string role;
};

/// Checks that every path written differs from every path read and from every other path
/// written, as files: "./a", "a", a symbolic link to a and a hard link of a are all a. False
/// with the first collision, naming both paths and what they are, in `problem`.
[[nodiscard]] bool checkPathCollisions(const std::vector<RunPath>& reads,
                                       const std::vector<RunPath>& writes, std::string* problem);

} // namespace huecast::tool
