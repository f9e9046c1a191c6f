// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace huecast::tool
{

inline constexpr int kSheetDefaultWidth = 320;
inline constexpr int kSheetMinWidth = 16;
inline constexpr int kSheetMaxWidth = 4096;
inline constexpr int kSheetMaxColumns = 64;

struct SheetOptions
{
    std::string frame;                 ///< the frame file to grade
    std::string output;                ///< the PNG to write
    std::vector<std::string> luts;     ///< library entries by name; none and no files: all
    std::vector<std::string> lutFiles; ///< .cube files, after the named entries
    int columns = 0;                   ///< tiles a row; 0: as near a square as fits
    int width = kSheetDefaultWidth;    ///< each tile's width in pixels
};

/// `huecast sheet`: grades one frame through every library LUT (or the named entries, then the
/// files) with one filter instance in the reference host, as `render` grades, and tiles the
/// results into a PNG, the ungraded frame first, each look's name drawn under its tile. A look
/// that fails has its message drawn in its tile and printed on `errors`, and the sheet is still
/// written. Returns the exit status: 0; 1 when a look failed (the sheet written) or nothing
/// could be graded or written (no sheet); 2 for nothing to grade or an output that isn't .png.
int runSheet(const std::string& bundlePath, const SheetOptions& options, std::FILE* errors);

} // namespace huecast::tool
