// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/ReferenceHost.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/kit/NSControl.h"

namespace huecast::host
{

EffectInstance::~EffectInstance()
{
    if (m_filter != nullptr)
    {
        m_bundle.destroyFilter(m_filter);
    }
}

bool EffectInstance::choosePopupEntry(std::uint32_t parmId, std::int32_t index)
{
    if (!m_parameters->setIntValue(index, parmId, 0.0))
    {
        return false;
    }
    return m_filter->parameterChanged(parmId);
}

bool EffectInstance::moveSlider(std::uint32_t parmId, double value)
{
    if (!m_parameters->setFloatValue(value, parmId, 0.0))
    {
        return false;
    }
    return m_filter->parameterChanged(parmId);
}

bool EffectInstance::clickBrowse(std::uint32_t parmId)
{
    fx::FxCustomParameterViewHost* viewHost = m_filter->customParameterViewHost();
    if (viewHost == nullptr)
    {
        return false;
    }
    const std::shared_ptr<kit::NSView> control = viewHost->createViewForParm(parmId);
    if (!control)
    {
        return false;
    }
    // The control's first button is the one a user clicks.
    for (const auto& subview : control->subviews())
    {
        if (auto* button = dynamic_cast<kit::NSButton*>(subview.get()))
        {
            button->performClick();
            return true;
        }
    }
    return false;
}

std::unique_ptr<ReferenceHost> ReferenceHost::create(const std::string& bundlePath,
                                                     foundation::Error* error)
{
    auto context = gl::EglContext::createHighest(gl::EglPlatform::Automatic, error);
    if (!context)
    {
        return nullptr;
    }
    auto bundle = PluginBundle::load(bundlePath, error);
    if (!bundle)
    {
        return nullptr;
    }
    return std::unique_ptr<ReferenceHost>(new ReferenceHost(std::move(context), std::move(bundle)));
}

ReferenceHost::~ReferenceHost()
{
    // Filters delete their GL objects in the current context: make sure it is ours.
    (void)makeCurrent();
    m_instances.clear();
}

bool ReferenceHost::makeCurrent()
{
    return m_context->makeCurrent(nullptr);
}

EffectInstance* ReferenceHost::createInstance(const std::set<fx::FxProtocol>& leftOut,
                                              foundation::Error* error)
{
    if (!m_context->makeCurrent(error))
    {
        return nullptr;
    }
    auto parameters = std::make_unique<ParameterStore>();
    for (const fx::FxProtocol protocol : leftOut)
    {
        parameters->leaveOut(protocol);
    }
    auto instance =
        std::unique_ptr<EffectInstance>(new EffectInstance(m_bundle->api(), std::move(parameters)));
    instance->m_filter = m_bundle->api().createFilter(instance->m_parameters.get());
    if (instance->m_filter == nullptr)
    {
        foundation::setError(
            error, kHostErrorDomain, static_cast<std::int64_t>(HostError::FilterNotCreated),
            fmt::format("The plug-in \"{}\" couldn't create its filter (its shader "
                        "program didn't build in this GL context)",
                        m_bundle->path()));
        return nullptr;
    }
    instance->m_filter->addParameters();
    m_instances.push_back(std::move(instance));
    return m_instances.back().get();
}

void ReferenceHost::removeInstance(EffectInstance* instance)
{
    (void)makeCurrent();
    std::erase_if(m_instances, [instance](const auto& owned) { return owned.get() == instance; });
}

} // namespace huecast::host
