// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Tiff frames through the common-format module, against OpenImageIO.
#include <gtest/gtest.h>

#include "tests/host/FrameModules.h"

namespace huecast::test
{
namespace
{

} // namespace
} // namespace huecast::test
