// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <string>

namespace huecast::tool
{

inline constexpr double kInspectorDefaultWidth = 468;
/// Narrower than this, the path display would have no width left between its fixed margins.
inline constexpr double kInspectorMinWidth = 114;
inline constexpr double kInspectorMaxWidth = 4096;
inline constexpr double kInspectorMaxScale = 8;

struct InspectorOptions
{
    std::string output;                    ///< the PNG to write
    double width = kInspectorDefaultWidth; ///< points, the container's width
    std::string path;                      ///< the "Load LUT" value the display shows
    bool pressed = false;                  ///< draw the Browse button held down
    double scale = 1;                      ///< pixels per point
};

/// `huecast inspector`: makes one filter through the bundle in the reference host, stores the
/// path as its "Load LUT" value, asks it for the control, sizes the container to the width and
/// draws it over the inspector's dark background into a PNG. Returns the exit status: 2 when
/// the output's folder can't take the file, 1 when no filter or control could be made or the
/// file couldn't be written (the reason on stderr).
int runInspector(const std::string& bundlePath, const InspectorOptions& options);

} // namespace huecast::tool
