// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstring>
#include <string_view>
#include <vector>

#include "cube/ZRColourCube.h"

namespace huecast::test
{

/// The cube's entry under the key, or a null value when the cube or the entry is missing.
inline foundation::Value entryOf(const ZRColourCube& cube, std::string_view key)
{
    const auto dictionary = cube.colourCube();
    const auto found =
        dictionary ? dictionary->find(key) : foundation::Dictionary::const_iterator{};
    return dictionary && found != dictionary->end() ? found->second : foundation::Value();
}

/// The lattice as floats: red, green, blue of each entry in buffer order.
inline std::vector<float> latticeOf(const ZRColourCube& cube)
{
    const foundation::SharedBytes bytes = entryOf(cube, kCubeDataKey).bytes();
    std::vector<float> floats(bytes ? bytes->size() / sizeof(float) : 0);
    if (!floats.empty())
    {
        std::memcpy(floats.data(), bytes->data(), floats.size() * sizeof(float));
    }
    return floats;
}

/// The numbers of an array value, as doubles; empty for anything else.
inline std::vector<double> numbersOf(const foundation::Value& value)
{
    std::vector<double> numbers;
    for (const foundation::Value& element : value.array() ? *value.array() : foundation::Array{})
    {
        numbers.push_back(element.doubleValue().value_or(-999.0));
    }
    return numbers;
}

} // namespace huecast::test
