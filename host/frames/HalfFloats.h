// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Runs of half floats to and from float, with the values Imath's half gives.
#pragma once

#include <cstddef>
#include <cstdint>

namespace huecast::host::frames
{

/// Widens `count` halves (their bits) into floats.
void halvesToFloats(const std::uint16_t* halves, float* floats, std::size_t count);

/// Narrows `count` floats into halves (their bits), rounding to nearest even as Imath does.
void floatsToHalves(const float* floats, std::uint16_t* halves, std::size_t count);

} // namespace huecast::host::frames
