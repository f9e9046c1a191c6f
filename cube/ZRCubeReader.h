// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cube/ZRColourCube.h"
#include "platform/foundation/Error.h"

namespace huecast
{

/// Domain of the Cube errors.
inline constexpr std::string_view kDomain = "PrismorDomain";

/// Cube error codes; each has its message below.
enum class CubeErrorCode : std::int64_t
{
    Lut1D = 100,
    Lut2D = 101,
    Lut3DSize = 102,
    DomainMin = 103,
    DomainMax = 104,
    Data = 105,
    IncompleteData = 106,
    FileDoesntExist = 107,
    ConstructCube = 108,
    Lut3DInputRange = 109, ///< beyond the format's first nine: Resolve's input range line
};

inline constexpr std::string_view k1DReadError = "1D LUTS are not supported";
inline constexpr std::string_view k2DReadError = "2D LUTS are not supported";
inline constexpr std::string_view k3DReadError = "Malformed LUT_3D_SIZE tag";
inline constexpr std::string_view kDomainMinError = "Malformed DOMAIN_MIN tag";
inline constexpr std::string_view kDomainMaxError = "Malformed DOMAIN_MAX tag";
inline constexpr std::string_view kDataError = "Malformed data";
inline constexpr std::string_view kIncompleteDataError =
    "Data length in file does not match declared size";
inline constexpr std::string_view kFileDoesntExistError = "File doesn't exist";
inline constexpr std::string_view kConstructCubeError =
    "Couldn't construct the cube from giving data";
inline constexpr std::string_view kInputRangeError = "Malformed LUT_3D_INPUT_RANGE tag";

/// A note on one line that the reader read, but likely otherwise than its writer meant ("0,5"
/// reads as 0); for `huecast check`. Reading the line is the same with or without it.
struct CubeWarning
{
    std::size_t line = 0; ///< 1-based, counted as the reader's error messages count lines
    std::string message;
    friend bool operator==(const CubeWarning&, const CubeWarning&) = default;
};

/// Reads .cube files (3D tables) and lists the LUT library folder. No state, no instances.
class ZRCubeReader
{
public:
    ZRCubeReader() = delete;

    /// Reads the .cube file at `path` (a leading "~" is expanded) into a new cube whose file
    /// name is `path` as given. Null on failure; `error`, when given, then receives a Cube
    /// error (kDomain, codes 100–109; the malformed-line messages end in " Line:K") or, when
    /// the file exists but cannot be read as UTF-8 text, the file service's own error.
    [[nodiscard]] static std::shared_ptr<ZRColourCube> cubeFromFile(const std::string& path,
                                                                    foundation::Error* error);
    /// The same read, which also lints: `warnings` (when not null) receives, ordered by line,
    /// notes on characters after a data value's number, data lines skipped, unknown keywords,
    /// data before the size line, a domain whose minimum is not below its maximum, and where a
    /// file that fails with 106 went wrong. Notes come whether the file loads or fails in its
    /// lines; none when it fails as a file (107, a read error). The cube is the same.
    [[nodiscard]] static std::shared_ptr<ZRColourCube>
    cubeFromFile(const std::string& path, std::vector<CubeWarning>* warnings,
                 foundation::Error* error);

    /// The same parse over text already in memory (a leading byte-order mark is skipped);
    /// never fails with 107 or a read error.
    [[nodiscard]] static std::shared_ptr<ZRColourCube>
    cubeFromText(std::string_view text, const std::string& fileName, foundation::Error* error);
    /// The same parse with the notes of the linting cubeFromFile.
    [[nodiscard]] static std::shared_ptr<ZRColourCube>
    cubeFromText(std::string_view text, const std::string& fileName,
                 std::vector<CubeWarning>* warnings, foundation::Error* error);

    /// The names of the folder's direct entries that end in ".cube" (letter case counts),
    /// without the extension, in listing order; empty when the folder can't be listed.
    [[nodiscard]] static std::vector<std::string> cubesAtPath(const std::string& path);
};

} // namespace huecast
