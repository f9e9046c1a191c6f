// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/frames/CommonFormats.h"

namespace huecast::host::frames
{

bool readOpenExr(const std::string& /*path*/, Frame* /*frame*/,
                 std::shared_ptr<const StoredLayout>* /*layout*/, int* /*channels*/)
{
    return false;
}

bool writeOpenExr(const std::string& /*destination*/, const Frame& /*frame*/,
                  const StoredLayout& /*layout*/, int /*channels*/,
                  const FrameWriteOptions& /*options*/)
{
    return false;
}

} // namespace huecast::host::frames
