// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace huecast::test
{

using Rgb = std::array<float, 3>;

/// A lattice as a .cube file holds it: edge N, N³ RGB entries, red fastest, then green, then
/// blue.
struct Lattice
{
    int edge = 0;
    std::vector<Rgb> entries;

    [[nodiscard]] const Rgb& at(int r, int g, int b) const
    {
        return entries[static_cast<std::size_t>((b * edge + g) * edge + r)];
    }

    /// The .cube text, every float written so it reads back exactly.
    [[nodiscard]] std::string cubeText() const
    {
        std::string text = "LUT_3D_SIZE " + std::to_string(edge) + "\n";
        char line[96];
        for (const Rgb& entry : entries)
        {
            std::snprintf(line, sizeof line, "%.9g %.9g %.9g\n", static_cast<double>(entry[0]),
                          static_cast<double>(entry[1]), static_cast<double>(entry[2]));
            text += line;
        }
        return text;
    }
};

/// A steep lattice of random values from −0.5 to 1.5.
inline Lattice randomLattice(int edge, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-0.5F, 1.5F);
    Lattice lattice{edge, {}};
    const auto points = static_cast<std::size_t>(edge);
    lattice.entries.resize(points * points * points);
    for (Rgb& entry : lattice.entries)
    {
        entry = {value(random), value(random), value(random)};
    }
    return lattice;
}

/// The lattice's trilinear interpolation at a colour, in double precision, written from the
/// format's convention rather than from the shader: each component is clamped to 0..1 and
/// scaled to 0..N−1 lattice steps; lattice points sit at texel centres.
inline Rgb trilinear(const Lattice& lattice, const Rgb& colour)
{
    const int last = lattice.edge - 1;
    std::array<int, 3> low{};
    std::array<double, 3> fraction{};
    for (int axis = 0; axis < 3; ++axis)
    {
        const double position =
            std::clamp(static_cast<double>(colour[static_cast<std::size_t>(axis)]), 0.0, 1.0) *
            last;
        const int index = std::min(static_cast<int>(std::floor(position)), std::max(last - 1, 0));
        low[static_cast<std::size_t>(axis)] = index;
        fraction[static_cast<std::size_t>(axis)] = position - index;
    }
    Rgb result{};
    for (std::size_t channel = 0; channel < 3; ++channel)
    {
        double sum = 0;
        for (int corner = 0; corner < 8; ++corner)
        {
            double weight = 1;
            std::array<int, 3> index{};
            for (std::size_t axis = 0; axis < 3; ++axis)
            {
                const bool high = ((corner >> axis) & 1) != 0;
                index[axis] = std::min(low[axis] + (high ? 1 : 0), last);
                weight *= high ? fraction[axis] : 1.0 - fraction[axis];
            }
            sum += weight * lattice.at(index[0], index[1], index[2])[channel];
        }
        result[channel] = static_cast<float>(sum);
    }
    return result;
}

/// Colours that reach every part of the lattice: its eight corners, points on its edges and
/// faces (a component of exactly 0 or 1), then random colours inside.
inline std::vector<Rgb> probeColours(std::size_t randomCount, unsigned seed)
{
    std::vector<Rgb> colours;
    for (int corner = 0; corner < 8; ++corner)
    {
        colours.push_back({static_cast<float>(corner & 1), static_cast<float>((corner >> 1) & 1),
                           static_cast<float>((corner >> 2) & 1)});
    }
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> inside(0.0F, 1.0F);
    for (int i = 0; i < 64; ++i)
    {
        Rgb colour{inside(random), inside(random), inside(random)};
        colour[static_cast<std::size_t>(i % 3)] = static_cast<float>((i / 3) % 2);
        colours.push_back(colour);
    }
    for (std::size_t i = 0; i < randomCount; ++i)
    {
        colours.push_back({inside(random), inside(random), inside(random)});
    }
    return colours;
}

} // namespace huecast::test
