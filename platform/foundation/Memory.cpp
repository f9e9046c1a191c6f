// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Memory.h"

#include <cstddef>
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

/// Calls madvise on the whole pages of `alignment` inside the buffer, if there are any.
void adviseWholePages(void* data, std::size_t bytes, std::size_t alignment, int advice)
{
    if (data == nullptr)
    {
        return;
    }
    // Offsets from the buffer itself: the aligned range is found in numbers, then taken as
    // a part of the buffer.
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::size_t skipped = (alignment - start % alignment) % alignment;
    if (bytes <= skipped || bytes - skipped < alignment)
    {
        return; // no whole page inside
    }
    const std::size_t length = (bytes - skipped) / alignment * alignment;
    // A refusal (a kernel without huge pages, or older than the request) leaves the buffer as
    // it was: its pages then fault in as they are written.
    (void)madvise(static_cast<std::byte*>(data) + skipped, length, advice);
}

} // namespace

void adviseHugePages(void* data, std::size_t bytes)
{
    adviseWholePages(data, bytes, std::size_t{1} << 21, MADV_HUGEPAGE);
}

void prepareForWriting(void* data, std::size_t bytes)
{
    adviseHugePages(data, bytes);
    adviseWholePages(data, bytes, static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), kPopulateWrite);
}

} // namespace huecast::foundation
