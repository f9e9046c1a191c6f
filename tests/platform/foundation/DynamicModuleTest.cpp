// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The one module loader: a module of the right version loads, and each way of failing says
// which it was and why.
#include "platform/foundation/DynamicModule.h"

#include <gtest/gtest.h>

#include "tests/platform/foundation/TestModule.h"

namespace huecast::test
{
namespace
{

using foundation::ModuleFailure;

const TestModule* load(const std::string& path, const char* entry, int version,
                       ModuleFailure* failure)
{
    return foundation::loadModule(path, entry, &TestModule::version, version, failure);
}

TEST(DynamicModule, LoadsOnlyAModuleOfTheExpectedVersionAndSaysWhyNot)
{
    ModuleFailure failure;
    const TestModule* module =
        load(HUECAST_TEST_MODULE, "HuecastTestModule", kTestModuleVersion, &failure);
    ASSERT_NE(module, nullptr) << failure.reason;
    EXPECT_EQ(module->answer, 42);
    EXPECT_EQ(foundation::moduleFolderOf(module),
              std::filesystem::path(HUECAST_TEST_MODULE).parent_path());

    const std::string incompatible =
        std::filesystem::path(HUECAST_TEST_MODULE).lexically_normal().string() +
        " has no compatible entry point";
    EXPECT_EQ(load(HUECAST_TEST_MODULE, "HuecastTestModule", kTestModuleVersion + 1, &failure),
              nullptr);
    EXPECT_EQ(failure.kind, ModuleFailure::Kind::NoEntryPoint);
    EXPECT_EQ(failure.reason, incompatible);

    EXPECT_EQ(load(HUECAST_TEST_MODULE, "NoSuchEntry", kTestModuleVersion, &failure), nullptr);
    EXPECT_EQ(failure.kind, ModuleFailure::Kind::NoEntryPoint);
    EXPECT_EQ(failure.reason, incompatible);

    EXPECT_EQ(load("/nonexistent/module.so", "HuecastTestModule", kTestModuleVersion, &failure),
              nullptr);
    EXPECT_EQ(failure.kind, ModuleFailure::Kind::NotLoaded);
    EXPECT_NE(failure.reason.find("/nonexistent/module.so"), std::string::npos) << failure.reason;
}

} // namespace
} // namespace huecast::test
