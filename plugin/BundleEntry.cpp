// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The bundle's one exported symbol. Nothing thrown inside the plug-in crosses into the host.
#include <cstdio>
#include <exception>
#include <string_view>

#include "platform/fx/FxBundle.h"
#include "plugin/HuecastFxPlug.h"
#include "plugin/ZRColourCubeValue.h"

namespace huecast
{
namespace
{

fx::FxFilter* createFilter(fx::PROAPIAccessing* manager)
{
    if (manager == nullptr)
    {
        return nullptr;
    }
    try
    {
        return HuecastFxPlug::initWithAPIManager(*manager).release();
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "Huecast: filter creation failed: %s\n", error.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "Huecast: filter creation failed\n");
    }
    return nullptr;
}

void destroyFilter(fx::FxFilter* filter)
{
    delete filter; // NOLINT(cppcoreguidelines-owning-memory): made by createFilter
}

fx::FxCustomValuePtr decodeCustomValue(const char* className,
                                       const foundation::KeyedUnarchiver* coder)
{
    if (className == nullptr || coder == nullptr)
    {
        return nullptr;
    }
    try
    {
        const std::string_view name = className;
        if (name == ZRColourCubeValue::kClassName)
        {
            return valueOf(ZRColourCube::initWithCoder(*coder));
        }
        if (name == fx::FxStringValue::kClassName)
        {
            return fx::FxStringValue::decode(*coder);
        }
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "Huecast: a parameter value could not be decoded: %s\n", error.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "Huecast: a parameter value could not be decoded\n");
    }
    return nullptr;
}

constexpr fx::FxBundleInterface kInterface = {
    fx::kBundleInterfaceVersion,
    &createFilter,
    &destroyFilter,
    &decodeCustomValue,
};

} // namespace
} // namespace huecast

extern "C" __attribute__((visibility("default"))) const huecast::fx::FxBundleInterface*
HuecastFxBundleEntry()
{
    return &huecast::kInterface;
}
