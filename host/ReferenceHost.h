// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/ParameterStore.h"
#include "host/PluginBundle.h"
#include "platform/foundation/Error.h"
#include "platform/gl/EglContext.h"

namespace huecast::host
{

/// One applied effect: the filter the bundle made and the host's parameters for it.
class EffectInstance
{
public:
    EffectInstance(const EffectInstance&) = delete;
    EffectInstance& operator=(const EffectInstance&) = delete;
    ~EffectInstance();

    [[nodiscard]] fx::FxFilter& filter() { return *m_filter; }
    [[nodiscard]] ParameterStore& parameters() { return *m_parameters; }
    [[nodiscard]] const ParameterStore& parameters() const { return *m_parameters; }

    /// What a user's pick in a popup does: the new index, then the filter is told.
    bool choosePopupEntry(std::uint32_t parmId, std::int32_t index);
    /// What a user's move of a slider does: the new value, then the filter is told. False, with
    /// nothing changed, for a value outside the slider's range.
    bool moveSlider(std::uint32_t parmId, double value);

    /// What a click on the Browse button of the "Load LUT" control does: asks the filter for
    /// the control and clicks its button (the open panel answers through the installed
    /// presenter). False when the filter offers no such control.
    bool clickBrowse(std::uint32_t parmId);

private:
    friend class ReferenceHost;
    EffectInstance(const fx::FxBundleInterface& bundle, std::unique_ptr<ParameterStore> parameters)
        : m_bundle(bundle), m_parameters(std::move(parameters))
    {
    }

    const fx::FxBundleInterface& m_bundle;
    // The filter keeps a reference to the store, so the store outlives the filter.
    std::unique_ptr<ParameterStore> m_parameters;
    fx::FxFilter* m_filter = nullptr;
};

/// The reference host: owns a headless GL context, loads a plug-in bundle and makes effect
/// instances with it. Instances live until the host is destroyed (or removeInstance), always
/// before the bundle and the context.
class ReferenceHost
{
public:
    /// A host with its GL context current and the bundle loaded; null with an error (the EGL
    /// or bundle reason) on failure.
    [[nodiscard]] static std::unique_ptr<ReferenceHost> create(const std::string& bundlePath,
                                                               foundation::Error* error);

    ReferenceHost(const ReferenceHost&) = delete;
    ReferenceHost& operator=(const ReferenceHost&) = delete;
    ~ReferenceHost();

    /// A new instance whose host leaves out the given services; null when the bundle refused
    /// to make a filter. The instance's parameters are declared.
    [[nodiscard]] EffectInstance* createInstance(const std::set<fx::FxProtocol>& leftOut,
                                                 foundation::Error* error);
    void removeInstance(EffectInstance* instance);

    [[nodiscard]] const fx::FxBundleInterface& bundle() const { return m_bundle->api(); }
    [[nodiscard]] gl::EglContext& context() { return *m_context; }
    /// Makes the host's context current on the calling thread.
    [[nodiscard]] bool makeCurrent();

private:
    ReferenceHost(std::unique_ptr<gl::EglContext> context, std::unique_ptr<PluginBundle> bundle)
        : m_context(std::move(context)), m_bundle(std::move(bundle))
    {
    }

    // Destroyed in reverse order: instances, then the bundle, then the context.
    std::unique_ptr<gl::EglContext> m_context;
    std::unique_ptr<PluginBundle> m_bundle;
    std::vector<std::unique_ptr<EffectInstance>> m_instances;
};

} // namespace huecast::host
