// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/fx/FxHostAPI.h"

namespace huecast::host
{

enum class ParameterKind : std::uint8_t
{
    Popup = 1,
    Custom = 2,
    Float = 3,
};

/// One declared parameter of an instance, as the host keeps it.
struct Parameter
{
    std::string name;
    std::uint32_t id = 0;
    ParameterKind kind = ParameterKind::Popup;
    std::uint32_t flags = 0;
    std::vector<std::string> entries; ///< a popup's menu entries
    std::int32_t defaultIndex = 0;
    std::int32_t index = 0; ///< a popup's chosen entry
    fx::FxCustomValuePtr defaultValue;
    fx::FxCustomValuePtr value; ///< a custom parameter's current value
    double defaultNumber = 0.0; ///< a slider's default
    double number = 0.0;        ///< a slider's current value
    double minimum = 0.0;       ///< a slider's lowest value
    double maximum = 0.0;       ///< a slider's highest value
};

/// One user action: the parameters changed between startAction and endAction.
struct HostAction
{
    std::vector<std::uint32_t> changedParameters;
};

/// The host side of one effect instance: its parameters, and every host service a filter may
/// ask for, each of which can be left out to play a host that lacks it.
class ParameterStore final : public fx::PROAPIAccessing,
                             public fx::FxParameterCreationAPI,
                             public fx::FxParameterSettingAPI,
                             public fx::FxParameterRetrievalAPI,
                             public fx::FxCustomParameterActionAPI,
                             public fx::FxDynamicParameterAPI
{
public:
    /// Makes apiForProtocol answer null for the protocol.
    void leaveOut(fx::FxProtocol protocol) { m_leftOut.insert(protocol); }

    [[nodiscard]] fx::FxHostAPI* apiForProtocol(fx::FxProtocol protocol) override;

    bool addPopupMenuWithName(const std::string& name, std::uint32_t parmId,
                              std::int32_t defaultValue,
                              const std::vector<std::string>& menuEntries,
                              std::uint32_t parmFlags) override;
    bool addCustomParameterWithName(const std::string& name, std::uint32_t parmId,
                                    fx::FxCustomValuePtr defaultValue,
                                    std::uint32_t parmFlags) override;
    bool addFloatSliderWithName(const std::string& name, std::uint32_t parmId, double defaultValue,
                                double parameterMin, double parameterMax, double sliderMin,
                                double sliderMax, double delta, std::uint32_t parmFlags) override;

    bool setCustomParameterValue(fx::FxCustomValuePtr value, std::uint32_t parmId) override;
    bool setParameterFlags(std::uint32_t flags, std::uint32_t parmId) override;
    bool setIntValue(std::int32_t value, std::uint32_t parmId, double time) override;
    /// False for a value outside the slider's range (or not a number); the value is kept.
    bool setFloatValue(double value, std::uint32_t parmId, double time) override;

    bool getCustomParameterValue(fx::FxCustomValuePtr* value, std::uint32_t parmId) override;
    bool getIntValue(std::int32_t* value, std::uint32_t parmId, double time) override;
    bool getFloatValue(double* value, std::uint32_t parmId, double time) override;

    void startAction(const void* sender) override;
    void endAction(const void* sender) override;

    bool setPopupMenuParameter(std::uint32_t parmId, const std::vector<std::string>& entries,
                               std::int32_t defaultValue) override;

    /// The parameter under the id, or null.
    [[nodiscard]] const Parameter* parameter(std::uint32_t parmId) const;
    /// Every parameter, in declaration order.
    [[nodiscard]] const std::vector<Parameter>& parameters() const { return m_parameters; }
    /// Replaces every parameter at once (a project being loaded). A popup keeps the entries the
    /// filter declared for this instance, and its choice is found there by the saved entry's
    /// name: the saved list may differ from the filter's (an entry removed after a failed load,
    /// a library that changed), and an index means what the filter's list says. A name the
    /// filter's list lacks becomes its first entry, "No LUT"; a custom value such as the stored
    /// cube is restored as saved.
    void replaceParameters(std::vector<Parameter> parameters);
    /// The completed user actions, oldest first.
    [[nodiscard]] const std::vector<HostAction>& actions() const { return m_actions; }

private:
    Parameter* find(std::uint32_t parmId);
    bool declare(Parameter parameter);
    void noteChange(std::uint32_t parmId);

    std::vector<Parameter> m_parameters;
    std::set<fx::FxProtocol> m_leftOut;
    std::vector<HostAction> m_actions;
    std::optional<HostAction> m_openAction;
    int m_actionDepth = 0;
};

} // namespace huecast::host
