// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstddef>

namespace huecast::foundation
{

/// Asks the kernel to back the whole 2 MiB pages inside a buffer with huge pages, where it
/// offers them (transparent huge pages in "madvise" mode): a multi-megabyte buffer (a frame,
/// a LUT's text or lattice) then costs one page fault per 2 MiB instead of one per 4 KiB, each
/// zeroing a page the first time it is touched. Call it before the buffer is first written. A
/// hint only: nothing changes where the kernel offers none.
void adviseHugePages(void* data, std::size_t bytes);

/// For a buffer about to be written whole: advises huge pages as above, then has the kernel
/// fill in every page at once, which costs about half what faulting them in one by one does.
/// The memory is taken now rather than as it is written.
void prepareForWriting(void* data, std::size_t bytes);

} // namespace huecast::foundation
