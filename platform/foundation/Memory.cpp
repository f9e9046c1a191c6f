// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Memory.h"

#include <cstdint>

#include <sys/mman.h>

namespace huecast::foundation
{

void adviseHugePages(void* data, std::size_t bytes)
{
    constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + bytes) & ~(kHugePage - 1);
    if (data == nullptr || end <= first)
    {
        return; // no whole huge page inside
    }
    // A refusal (no huge pages in this kernel) leaves the buffer as it was.
    (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

} // namespace huecast::foundation
