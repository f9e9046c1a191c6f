// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace huecast::tool
{

/// `huecast library`: prints each folder the popup lists, in order (the library folder, then the
/// XDG data folders), each followed by its entries by name, one a line: each that the reader
/// refuses followed by the reader's message, each that an earlier folder's hides marked so.
/// Returns 0.
int runLibraryList(std::FILE* out);

/// `huecast library --add FILE...`: reads each file with the reader and copies each good one
/// into the library folder (made when missing) as NAME.cube, whole or not at all. A different
/// file already there under that name stays unless `force`; the same bytes count as added.
/// Returns 0 when every file is in the library, 1 otherwise (each failure named on `errors`).
int runLibraryAdd(const std::vector<std::string>& files, bool force, std::FILE* out,
                  std::FILE* errors);

} // namespace huecast::tool
