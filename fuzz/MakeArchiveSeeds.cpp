// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Writes archived cubes as seeds for the archive fuzzer: the identity cube and each .cube file
// named on the command line. Usage: make_archive_seeds OUTPUT_DIR [FILE.cube...]
#include <cstdio>
#include <fstream>
#include <string>

#include "cube/ZRCubeReader.h"
#include "platform/foundation/KeyedCoding.h"

namespace
{

bool writeArchive(const huecast::ZRColourCube& cube, const std::string& path)
{
    huecast::foundation::KeyedArchiver archiver;
    cube.encodeWithCoder(archiver);
    const auto bytes = archiver.encodedData();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [FILE.cube...]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    int status =
        writeArchive(*huecast::ZRColourCube::identityCube(), folder + "/identity.bin") ? 0 : 1;
    for (int i = 2; i < argc; ++i)
    {
        huecast::foundation::Error error;
        if (const auto cube = huecast::ZRCubeReader::cubeFromFile(argv[i], &error))
        {
            status |= writeArchive(*cube, folder + "/cube" + std::to_string(i) + ".bin") ? 0 : 1;
        }
    }
    return status;
}
