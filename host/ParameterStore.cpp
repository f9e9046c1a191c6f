// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/ParameterStore.h"

#include <algorithm>

namespace huecast::host
{

fx::FxHostAPI* ParameterStore::apiForProtocol(fx::FxProtocol protocol)
{
    if (m_leftOut.contains(protocol))
    {
        return nullptr;
    }
    // Each service's base subobject, so the filter's cast to the service class lands on it.
    switch (protocol)
    {
    case fx::FxProtocol::ParameterCreation:
        return static_cast<fx::FxParameterCreationAPI*>(this);
    case fx::FxProtocol::ParameterSetting:
        return static_cast<fx::FxParameterSettingAPI*>(this);
    case fx::FxProtocol::ParameterRetrieval:
        return static_cast<fx::FxParameterRetrievalAPI*>(this);
    case fx::FxProtocol::CustomParameterAction:
        return static_cast<fx::FxCustomParameterActionAPI*>(this);
    case fx::FxProtocol::DynamicParameter:
        return static_cast<fx::FxDynamicParameterAPI*>(this);
    }
    return nullptr;
}

Parameter* ParameterStore::find(std::uint32_t parmId)
{
    const auto found = std::find_if(m_parameters.begin(), m_parameters.end(),
                                    [parmId](const Parameter& p) { return p.id == parmId; });
    return found == m_parameters.end() ? nullptr : &*found;
}

const Parameter* ParameterStore::parameter(std::uint32_t parmId) const
{
    return const_cast<ParameterStore*>(this)->find(parmId);
}

bool ParameterStore::declare(Parameter parameter)
{
    if (find(parameter.id) != nullptr)
    {
        return false; // one parameter per id
    }
    m_parameters.push_back(std::move(parameter));
    return true;
}

bool ParameterStore::addPopupMenuWithName(const std::string& name, std::uint32_t parmId,
                                          std::int32_t defaultValue,
                                          const std::vector<std::string>& menuEntries,
                                          std::uint32_t parmFlags)
{
    Parameter parameter;
    parameter.name = name;
    parameter.id = parmId;
    parameter.kind = ParameterKind::Popup;
    parameter.flags = parmFlags;
    parameter.entries = menuEntries;
    parameter.defaultIndex = defaultValue;
    parameter.index = defaultValue;
    return declare(std::move(parameter));
}

bool ParameterStore::addCustomParameterWithName(const std::string& name, std::uint32_t parmId,
                                                fx::FxCustomValuePtr defaultValue,
                                                std::uint32_t parmFlags)
{
    Parameter parameter;
    parameter.name = name;
    parameter.id = parmId;
    parameter.kind = ParameterKind::Custom;
    parameter.flags = parmFlags;
    parameter.defaultValue = defaultValue;
    parameter.value = std::move(defaultValue);
    return declare(std::move(parameter));
}

bool ParameterStore::addFloatSliderWithName(const std::string& name, std::uint32_t parmId,
                                            double defaultValue, double parameterMin,
                                            double parameterMax, double /*sliderMin*/,
                                            double /*sliderMax*/, double /*delta*/,
                                            std::uint32_t parmFlags)
{
    // The slider's own range and step are how a panel shows it; this host has no panel.
    if (!(parameterMin <= defaultValue && defaultValue <= parameterMax))
    {
        return false;
    }
    Parameter parameter;
    parameter.name = name;
    parameter.id = parmId;
    parameter.kind = ParameterKind::Float;
    parameter.flags = parmFlags;
    parameter.defaultNumber = defaultValue;
    parameter.number = defaultValue;
    parameter.minimum = parameterMin;
    parameter.maximum = parameterMax;
    return declare(std::move(parameter));
}

void ParameterStore::noteChange(std::uint32_t parmId)
{
    if (m_openAction)
    {
        m_openAction->changedParameters.push_back(parmId);
    }
}

bool ParameterStore::setCustomParameterValue(fx::FxCustomValuePtr value, std::uint32_t parmId)
{
    Parameter* parameter = find(parmId);
    if (parameter == nullptr || parameter->kind != ParameterKind::Custom)
    {
        return false;
    }
    parameter->value = std::move(value);
    noteChange(parmId);
    return true;
}

bool ParameterStore::setParameterFlags(std::uint32_t flags, std::uint32_t parmId)
{
    Parameter* parameter = find(parmId);
    if (parameter == nullptr)
    {
        return false;
    }
    parameter->flags = flags;
    return true;
}

bool ParameterStore::setIntValue(std::int32_t value, std::uint32_t parmId, double /*time*/)
{
    Parameter* parameter = find(parmId);
    if (parameter == nullptr || parameter->kind != ParameterKind::Popup)
    {
        return false;
    }
    parameter->index = value;
    noteChange(parmId);
    return true;
}

bool ParameterStore::setFloatValue(double value, std::uint32_t parmId, double /*time*/)
{
    Parameter* parameter = find(parmId);
    // Written so that NaN fails too.
    if (parameter == nullptr || parameter->kind != ParameterKind::Float ||
        !(parameter->minimum <= value && value <= parameter->maximum))
    {
        return false;
    }
    parameter->number = value;
    noteChange(parmId);
    return true;
}

bool ParameterStore::getCustomParameterValue(fx::FxCustomValuePtr* value, std::uint32_t parmId)
{
    const Parameter* parameter = find(parmId);
    if (value == nullptr || parameter == nullptr || parameter->kind != ParameterKind::Custom)
    {
        return false;
    }
    *value = parameter->value;
    return true;
}

bool ParameterStore::getIntValue(std::int32_t* value, std::uint32_t parmId, double /*time*/)
{
    const Parameter* parameter = find(parmId);
    if (value == nullptr || parameter == nullptr || parameter->kind != ParameterKind::Popup)
    {
        return false;
    }
    *value = parameter->index;
    return true;
}

bool ParameterStore::getFloatValue(double* value, std::uint32_t parmId, double /*time*/)
{
    const Parameter* parameter = find(parmId);
    if (value == nullptr || parameter == nullptr || parameter->kind != ParameterKind::Float)
    {
        return false;
    }
    *value = parameter->number;
    return true;
}

void ParameterStore::startAction(const void* /*sender*/)
{
    // Nested brackets make one action, closed by the outermost end.
    if (m_actionDepth++ == 0)
    {
        m_openAction.emplace();
    }
}

void ParameterStore::endAction(const void* /*sender*/)
{
    if (m_actionDepth == 0)
    {
        return; // an end without a start closes nothing
    }
    if (--m_actionDepth == 0)
    {
        m_actions.push_back(std::move(*m_openAction));
        m_openAction.reset();
    }
}

void ParameterStore::replaceParameters(std::vector<Parameter> parameters)
{
    for (Parameter& restored : parameters)
    {
        const Parameter* declared = find(restored.id);
        if (restored.kind != ParameterKind::Popup || declared == nullptr ||
            declared->kind != ParameterKind::Popup)
        {
            continue;
        }
        const std::vector<std::string>& entries = declared->entries;
        const auto index = static_cast<std::size_t>(restored.index);
        std::int32_t found = declared->defaultIndex;
        if (restored.index >= 0 && index < restored.entries.size())
        {
            // The same position first: a library file may share a fixed entry's name.
            const std::string& name = restored.entries[index];
            const auto match = index < entries.size() && entries[index] == name
                                   ? entries.begin() + restored.index
                                   : std::find(entries.begin(), entries.end(), name);
            if (match != entries.end())
            {
                found = static_cast<std::int32_t>(match - entries.begin());
            }
        }
        restored.index = found;
        restored.entries = declared->entries;
        restored.defaultIndex = declared->defaultIndex;
    }
    m_parameters = std::move(parameters);
}

bool ParameterStore::setPopupMenuParameter(std::uint32_t parmId,
                                           const std::vector<std::string>& entries,
                                           std::int32_t defaultValue)
{
    Parameter* parameter = find(parmId);
    if (parameter == nullptr || parameter->kind != ParameterKind::Popup)
    {
        return false;
    }
    parameter->entries = entries;
    parameter->defaultIndex = defaultValue;
    return true;
}

} // namespace huecast::host
