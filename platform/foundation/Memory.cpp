// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Memory.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace huecast::foundation
{
namespace
{

#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23; // Linux 5.14's value, for older headers
#endif

} // namespace

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

void prepareForWriting(void* data, std::size_t bytes)
{
    adviseHugePages(data, bytes);
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t end = (start + bytes) & ~(pageSize - 1);
    if (data != nullptr && end > first)
    {
        // Older kernels don't know the request; the pages then fault in as they are written.
        (void)madvise(reinterpret_cast<void*>(first), end - first, kPopulateWrite);
    }
}

} // namespace huecast::foundation
