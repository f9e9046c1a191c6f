// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <string>

namespace huecast::tool
{

/// `huecast list`: makes one filter through the bundle in the reference host and prints its
/// "3D LUT" popup entries, one a line. Returns the exit status (1 when no filter could be made,
/// with the reason on stderr).
int runList(const std::string& bundlePath, std::FILE* out);

} // namespace huecast::tool
