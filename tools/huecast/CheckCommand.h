// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace huecast::tool
{

/// `huecast check [--json] FILE...`: reads each .cube file with the system's reader and prints
/// what it holds (or why it failed), one line or one JSON object a file, in argument order.
/// Lines escape what a terminal would act on; a JSON object whose file name is not UTF-8 also
/// carries the name's exact bytes as "fileBase64".
/// Returns the exit status: 0 when every file was read, 1 otherwise.
int runCheck(const std::vector<std::string>& files, bool json, std::FILE* out);

} // namespace huecast::tool
