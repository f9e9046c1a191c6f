// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>

#include "host/frames/CommonFrameFileModule.h"
#include "platform/foundation/Error.h"

namespace huecast::host
{

/// Checks, from the header alone and without allocating for it, that the file could hold what
/// it declares: every PNG chunk and OpenEXR attribute ends inside the file, and the pixels (of
/// a PNG, an OpenEXR or a TIFF) fit what the file's compression could make of its bytes at most.
/// False with a FrameUnreadable error saying what doesn't fit; true also for what it can't read,
/// which the reader then refuses with its own message.
/// `fd` is the file, open for reading; it is read with pread and left open.
[[nodiscard]] bool checkDeclaredSize(int fd, frames::Family family, std::uint64_t fileSize,
                                     foundation::Error* error);

} // namespace huecast::host
