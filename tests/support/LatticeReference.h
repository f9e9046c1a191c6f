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

/// The lattice's tetrahedral interpolation at a colour, in double precision, as OpenColorIO and
/// ffmpeg's lut3d weigh it: the cell's first and last corners and the two between them that
/// the order of the three fractions picks, one branch for each of the six orders.
inline Rgb tetrahedral(const Lattice& lattice, const Rgb& colour)
{
    const int last = lattice.edge - 1;
    std::array<int, 3> low{};
    std::array<int, 3> high{};
    std::array<double, 3> f{};
    for (std::size_t axis = 0; axis < 3; ++axis)
    {
        const double position = std::clamp(static_cast<double>(colour[axis]), 0.0, 1.0) * last;
        low[axis] = std::min(static_cast<int>(std::floor(position)), std::max(last - 1, 0));
        high[axis] = std::min(low[axis] + 1, last);
        f[axis] = position - low[axis];
    }
    // Corner (i, j, k): 0 takes the low index on that axis, 1 the high one.
    const auto corner = [&](int i, int j, int k, std::size_t channel)
    {
        return static_cast<double>(lattice.at(i != 0 ? high[0] : low[0], j != 0 ? high[1] : low[1],
                                              k != 0 ? high[2] : low[2])[channel]);
    };
    Rgb result{};
    for (std::size_t c = 0; c < 3; ++c)
    {
        const double c000 = corner(0, 0, 0, c);
        const double c111 = corner(1, 1, 1, c);
        double value = 0;
        if (f[0] > f[1])
        {
            if (f[1] > f[2])
            {
                value = (1 - f[0]) * c000 + (f[0] - f[1]) * corner(1, 0, 0, c) +
                        (f[1] - f[2]) * corner(1, 1, 0, c) + f[2] * c111;
            }
            else if (f[0] > f[2])
            {
                value = (1 - f[0]) * c000 + (f[0] - f[2]) * corner(1, 0, 0, c) +
                        (f[2] - f[1]) * corner(1, 0, 1, c) + f[1] * c111;
            }
            else
            {
                value = (1 - f[2]) * c000 + (f[2] - f[0]) * corner(0, 0, 1, c) +
                        (f[0] - f[1]) * corner(1, 0, 1, c) + f[1] * c111;
            }
        }
        else if (f[2] > f[1])
        {
            value = (1 - f[2]) * c000 + (f[2] - f[1]) * corner(0, 0, 1, c) +
                    (f[1] - f[0]) * corner(0, 1, 1, c) + f[0] * c111;
        }
        else if (f[2] > f[0])
        {
            value = (1 - f[1]) * c000 + (f[1] - f[2]) * corner(0, 1, 0, c) +
                    (f[2] - f[0]) * corner(0, 1, 1, c) + f[0] * c111;
        }
        else
        {
            value = (1 - f[1]) * c000 + (f[1] - f[0]) * corner(0, 1, 0, c) +
                    (f[0] - f[2]) * corner(1, 1, 0, c) + f[2] * c111;
        }
        result[c] = static_cast<float>(value);
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
