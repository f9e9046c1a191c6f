// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/CommandGuide.h"

#include <algorithm>
#include <numeric>

namespace huecast::tool
{
namespace
{

/// Levenshtein distance: insertions, deletions and substitutions.
std::size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    std::iota(previous.begin(), previous.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i)
    {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j)
        {
            const std::size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

} // namespace

std::string nearestName(std::string_view typed, const std::vector<std::string>& names)
{
    std::string best;
    std::size_t bestDistance = std::max<std::size_t>(2, typed.size() / 4) + 1;
    for (const std::string& name : names)
    {
        // A prefix ("insp") counts as close as one edit.
        const std::size_t distance =
            name.starts_with(typed) && !typed.empty() ? 1 : editDistance(typed, name);
        if (distance < bestDistance)
        {
            best = name;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace huecast::tool
