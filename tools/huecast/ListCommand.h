// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <string>

namespace huecast::tool
{

/// `huecast list`: makes one filter through the bundle in the reference host and prints its
/// "3D LUT" popup entries, one a line; with `parameters`, every parameter it declared instead,
/// one a line: id, name, kind and what it takes, separated by tabs. Returns the exit status (1
/// when no filter could be made, with the reason on stderr).
int runList(const std::string& bundlePath, bool parameters, std::FILE* out);

} // namespace huecast::tool
