// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tests/platform/foundation/TestModule.h"

extern "C" [[gnu::visibility("default")]] const huecast::test::TestModule* HuecastTestModule()
{
    static const huecast::test::TestModule module;
    return &module;
}
