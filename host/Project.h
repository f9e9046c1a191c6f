// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/ReferenceHost.h"
#include "platform/foundation/Error.h"

namespace huecast::host
{

/// Project files: every parameter of every instance, as JSON. Custom values are keyed archives
/// (docs/archive-format.md) in base64, so "CubeData" keeps its whole lattice:
///
///     {"format": "huecast-project", "version": 2,
///      "instances": [{"parameters": [
///          {"id": 1, "name": "3D LUT", "kind": "popup", "flags": 1, "entries": [...],
///           "default": 0, "value": 2, "sha256": "<hex>"},
///          {"id": 2, "name": "CubeData", "kind": "custom", "flags": 35,
///           "class": "ZRColourCube", "archive": "<base64>", "sha256": "<hex>"}, ...
///          {"id": 5, "name": "Amount", "kind": "float", "flags": 0, "default": 1,
///           "min": 0, "max": 1, "value": 0.6, "sha256": "<hex>"}]}]}
///
/// A parameter the project doesn't hold keeps the effect's default: version 1 files, written
/// before "Interpolation" and "Amount" existed, load with trilinear at full amount.
///
/// "sha256" is the SHA-256 of the archive's bytes: a value whose bytes don't match it, or that
/// has none (files saved before checksums were kept), is refused. A popup's covers its index
/// and the chosen entry's name ("2\nWarm"), a slider's its value as text ("0.6"); version 1
/// files have none there.
inline constexpr std::string_view kProjectFormatName = "huecast-project";
inline constexpr std::int64_t kProjectFormatVersion = 2;

/// Writes the instances' parameters to the file, replacing it in one step (a temporary file
/// renamed over it), so a failed save leaves the former file whole. False with a
/// kHostErrorDomain error naming the file on failure.
[[nodiscard]] bool saveProject(const std::string& path,
                               const std::vector<const EffectInstance*>& instances,
                               foundation::Error* error);

/// Restores the parameters saved in the file into the instances, in order, decoding custom
/// values through the bundle. The whole file is checked before anything is applied: a file that
/// is unreadable, damaged, truncated, from a newer format version, or whose parameters don't fit
/// the instances is refused with a kHostErrorDomain error naming the file, and nothing changes;
/// so is a value that doesn't match its checksum or that the plug-in says it can't use (a cube
/// with an edge outside 1..256 or a short lattice), rather than rendered with a stand-in.
[[nodiscard]] bool loadProject(const std::string& path, const fx::FxBundleInterface& bundle,
                               const std::vector<EffectInstance*>& instances,
                               foundation::Error* error);

} // namespace huecast::host
