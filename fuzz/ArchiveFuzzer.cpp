// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Feeds arbitrary bytes to the keyed unarchiver and decodes a cube from whatever it accepts,
// as a host does when it loads a project. Then reads the cube's entries and archives it again:
// a decoded cube of any shape must be safe to use.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "cube/ZRColourCube.h"
#include "platform/foundation/KeyedCoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    huecast::foundation::Error error;
    const auto unarchiver =
        huecast::foundation::KeyedUnarchiver::create(std::span(data, size), &error);
    if (!unarchiver)
    {
        if (error.domain() != huecast::foundation::kArchiveErrorDomain)
        {
            std::abort();
        }
        return 0;
    }
    const auto cube = huecast::ZRColourCube::initWithCoder(*unarchiver);
    (void)cube->cubeSize();
    (void)cube->cubeName();
    huecast::foundation::KeyedArchiver archiver;
    cube->encodeWithCoder(archiver);
    const auto again = huecast::foundation::KeyedUnarchiver::create(archiver.encodedData(), &error);
    if (!again)
    {
        std::abort(); // what we write, we must read back
    }
    return 0;
}
