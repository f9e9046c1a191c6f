// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/fx/FxCustomValue.h"

namespace huecast::fx
{

/// The host services a filter may ask for. The numbers cross the bundle boundary.
enum class FxProtocol : std::uint32_t
{
    ParameterCreation = 1,
    ParameterSetting = 2,
    ParameterRetrieval = 3,
    CustomParameterAction = 4,
    DynamicParameter = 5,
};

/// Parameter flag bits; a flag word is their sum.
enum class FxParameterFlag : std::uint32_t
{
    NotAnimatable = 1,
    Hidden = 2,
    NotInDashboard = 32,
    CustomUI = 64,
};

[[nodiscard]] constexpr std::uint32_t flagBits(FxParameterFlag flag)
{
    return static_cast<std::uint32_t>(flag);
}

/// Base of every host service object.
class FxHostAPI
{
public:
    virtual ~FxHostAPI() = default;
};

/// Declares parameters. Results are true when the parameter now exists under the id.
class FxParameterCreationAPI : public FxHostAPI
{
public:
    static constexpr FxProtocol kProtocol = FxProtocol::ParameterCreation;

    virtual bool addPopupMenuWithName(const std::string& name, std::uint32_t parmId,
                                      std::int32_t defaultValue,
                                      const std::vector<std::string>& menuEntries,
                                      std::uint32_t parmFlags) = 0;
    /// The default value is archived with keyed coding when the host saves a project.
    virtual bool addCustomParameterWithName(const std::string& name, std::uint32_t parmId,
                                            FxCustomValuePtr defaultValue,
                                            std::uint32_t parmFlags) = 0;
    /// A slider over parameterMin..parameterMax (values outside are refused); the slider shows
    /// sliderMin..sliderMax in steps of delta.
    virtual bool addFloatSliderWithName(const std::string& name, std::uint32_t parmId,
                                        double defaultValue, double parameterMin,
                                        double parameterMax, double sliderMin, double sliderMax,
                                        double delta, std::uint32_t parmFlags) = 0;
};

/// Changes parameter values and flags for the calling instance.
class FxParameterSettingAPI : public FxHostAPI
{
public:
    static constexpr FxProtocol kProtocol = FxProtocol::ParameterSetting;

    virtual bool setCustomParameterValue(FxCustomValuePtr value, std::uint32_t parmId) = 0;
    virtual bool setParameterFlags(std::uint32_t flags, std::uint32_t parmId) = 0;
    virtual bool setIntValue(std::int32_t value, std::uint32_t parmId, double time) = 0;
    /// A slider's new value; false for a value outside its range, which is not kept.
    virtual bool setFloatValue(double value, std::uint32_t parmId, double time) = 0;
};

/// Reads parameter values of the calling instance.
class FxParameterRetrievalAPI : public FxHostAPI
{
public:
    static constexpr FxProtocol kProtocol = FxProtocol::ParameterRetrieval;

    /// True on success, with the current value in `value` (the host keeps its own reference).
    virtual bool getCustomParameterValue(FxCustomValuePtr* value, std::uint32_t parmId) = 0;
    /// True on success; a popup yields the index of its chosen entry.
    virtual bool getIntValue(std::int32_t* value, std::uint32_t parmId, double time) = 0;
    /// A slider's value at the time in `value`; false when the parameter is no slider.
    virtual bool getFloatValue(double* value, std::uint32_t parmId, double time) = 0;
};

/// Brackets a user-driven change as one host action (one undo step).
class FxCustomParameterActionAPI : public FxHostAPI
{
public:
    static constexpr FxProtocol kProtocol = FxProtocol::CustomParameterAction;

    virtual void startAction(const void* sender) = 0;
    virtual void endAction(const void* sender) = 0;
};

/// Changes parameter definitions after declaration.
class FxDynamicParameterAPI : public FxHostAPI
{
public:
    static constexpr FxProtocol kProtocol = FxProtocol::DynamicParameter;

    /// Replaces the popup's entries for this instance.
    virtual bool setPopupMenuParameter(std::uint32_t parmId,
                                       const std::vector<std::string>& entries,
                                       std::int32_t defaultValue) = 0;
};

/// The host's API manager: hands out service objects by protocol. It outlives every filter
/// made with it; the objects it returns are the host's and are not kept by the filter.
class PROAPIAccessing
{
public:
    virtual ~PROAPIAccessing() = default;

    /// The host's object for the protocol, or null when the host lacks it. The object for a
    /// protocol is always of that protocol's class.
    [[nodiscard]] virtual FxHostAPI* apiForProtocol(FxProtocol protocol) = 0;
};

/// The host's object for API class T, or null.
template <typename T> [[nodiscard]] T* apiFor(PROAPIAccessing& manager)
{
    // The host guarantees the class for each protocol, so no cross-module RTTI is needed.
    return static_cast<T*>(manager.apiForProtocol(T::kProtocol));
}

} // namespace huecast::fx
