// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

namespace huecast::test
{

inline constexpr int kTestModuleVersion = 7;

/// What the test module's entry point returns.
struct TestModule
{
    int version = kTestModuleVersion;
    int answer = 42;
};

} // namespace huecast::test
