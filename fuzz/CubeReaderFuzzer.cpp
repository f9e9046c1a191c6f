// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Feeds arbitrary bytes to the .cube parser. Whatever the bytes, the parse must end in a cube
// whose lattice holds exactly N³ entries, or in a Cube error; never a crash or a read past the
// input. The linting parse must read the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cube/ZRCubeReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    huecast::foundation::Error error;
    const auto cube = huecast::ZRCubeReader::cubeFromText(text, "fuzz.cube", &error);
    if (cube)
    {
        const std::int64_t edge = cube->cubeSize();
        const auto dictionary = cube->colourCube();
        const auto lattice = dictionary->at(std::string(huecast::kCubeDataKey)).bytes();
        if (edge < 1 || edge > huecast::kMaxCubeEdge ||
            lattice->size() != static_cast<std::size_t>(edge * edge * edge) * 12U)
        {
            std::abort();
        }
    }
    else if (error.domain() != huecast::kDomain || error.code() < 100 || error.code() > 109)
    {
        std::abort();
    }
    std::vector<huecast::CubeWarning> warnings;
    huecast::foundation::Error lintError;
    const auto linted =
        huecast::ZRCubeReader::cubeFromText(text, "fuzz.cube", &warnings, &lintError);
    if ((linted == nullptr) != (cube == nullptr) ||
        (cube && *cube->colourCube() != *linted->colourCube()) ||
        (!cube && lintError.localizedDescription() != error.localizedDescription()))
    {
        std::abort();
    }
    return 0;
}
