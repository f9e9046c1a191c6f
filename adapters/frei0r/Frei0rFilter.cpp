// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright Huecast contributors
#include "adapters/frei0r/Frei0rFilter.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "host/LutChooser.h"
#include "host/PluginBundle.h"
#include "host/Project.h"
#include "platform/foundation/DynamicModule.h"
#include "platform/foundation/Text.h"
#include "platform/gl/ContextScope.h"

namespace huecast::frei0r
{
namespace
{

// The plug-in's parameters, as its own header names them.
constexpr host::LutParameters kLutParameters = {parmIdOf(HuecastParameter::LUT),
                                                parmIdOf(HuecastParameter::LoadLUT),
                                                kExternalFileIndex, kFirstLibraryIndex};

// Modal UI for every instance in the process. The filter shows its open panel and alerts from
// inside a call the module makes, on the calling thread; they go to the presenter of the
// instance making that call. Installed once and never removed: the module stays loaded.
class ThreadPresenter final : public kit::ModalPresenter
{
public:
    // Routes this thread's modal UI to the presenter while the scope lives.
    class Scope
    {
    public:
        explicit Scope(kit::ModalPresenter* presenter) : m_previous(t_target)
        {
            install();
            t_target = presenter;
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        ~Scope() { t_target = m_previous; }

    private:
        kit::ModalPresenter* m_previous;
    };

    kit::OpenPanelResult runOpenPanel(const kit::OpenPanelRequest& request) override
    {
        if (t_target != nullptr)
        {
            return t_target->runOpenPanel(request);
        }
        return m_hosts ? m_hosts->runOpenPanel(request) : kit::OpenPanelResult{};
    }

    long runAlert(const kit::AlertContent& alert) override
    {
        if (t_target != nullptr)
        {
            return t_target->runAlert(alert);
        }
        return m_hosts ? m_hosts->runAlert(alert) : kit::kAlertFirstButtonReturn;
    }

private:
    // Modal UI outside the module's calls goes to whatever presenter the process had.
    explicit ThreadPresenter(std::shared_ptr<kit::ModalPresenter> hosts) : m_hosts(std::move(hosts))
    {
    }

    static void install()
    {
        static std::once_flag once;
        std::call_once(once,
                       []
                       {
                           kit::setModalPresenter(std::shared_ptr<ThreadPresenter>(
                               new ThreadPresenter(kit::modalPresenter())));
                       });
    }

    static thread_local kit::ModalPresenter* t_target;
    std::shared_ptr<kit::ModalPresenter> m_hosts;
};

thread_local kit::ModalPresenter* ThreadPresenter::t_target = nullptr;

// The instance's context, current for one call into the module.
gl::ContextScope contextOf(host::ReferenceHost* host)
{
    return gl::ContextScope(host != nullptr ? &host->context() : nullptr);
}

// A value naming a file rather than a library entry: it has a folder or the .cube extension.
bool namesFile(const std::string& value)
{
    return value.find('/') != std::string::npos || value.ends_with(".cube");
}

} // namespace

std::string bundlePath()
{
    // The module is loaded by someone else's program: find the bundle from the module's own
    // file, through the relative paths the build computed for the installed layout and for the
    // build tree; a copy of the module elsewhere (~/.frei0r-1/lib/) finds it where the Debian
    // package installs it.
    const std::filesystem::path folder =
        foundation::moduleFolderOf(reinterpret_cast<const void*>(&bundlePath));
    std::vector<std::filesystem::path> candidates;
    if (!folder.empty())
    {
        candidates = {folder / HUECAST_FREI0R_INSTALLED_BUNDLE,
                      folder / HUECAST_FREI0R_BUILT_BUNDLE};
    }
    candidates.emplace_back(HUECAST_FREI0R_PACKAGE_BUNDLE);
    return host::PluginBundle::find(candidates);
}

Frei0rFilter::Frei0rFilter(unsigned width, unsigned height, std::FILE* messages)
    : m_width(width), m_height(height), m_messages(messages), m_strict(strictFromEnvironment()),
      m_presenter(std::make_shared<host::CommandLinePresenter>(std::deque<std::string>{}, messages))
{
}

Frei0rFilter::~Frei0rFilter()
{
    const gl::ContextScope scope = contextOf(m_host.get());
    // GL objects go in our context, before the host takes the context with it.
    m_renderer.reset();
    m_host.reset();
}

void Frei0rFilter::setParameter(Frei0rParameter parameter, const char* value)
{
    if (parameter == Frei0rParameter::Amount)
    {
        return;
    }
    const bool control = parameter == Frei0rParameter::Interpolation;
    std::string& stored = control                             ? m_interpolation
                          : parameter == Frei0rParameter::Lut ? m_lut
                                                              : m_project;
    const std::string text = value != nullptr ? value : "";
    // Hosts such as MLT set every parameter before every frame; only a new value is a change.
    if (text != stored)
    {
        stored = text;
        (control ? m_controlsChanged : m_changed) = true;
    }
}

char* Frei0rFilter::parameter(Frei0rParameter parameter)
{
    switch (parameter)
    {
    case Frei0rParameter::Project:
        return m_project.data();
    case Frei0rParameter::Interpolation:
        return m_interpolation.data();
    case Frei0rParameter::Lut:
    case Frei0rParameter::Amount:
        break;
    }
    return m_lut.data();
}

void Frei0rFilter::setAmount(double amount)
{
    // NaN never equals itself: it is stored, and refused at the next frame.
    if (!(m_amount == amount))
    {
        m_amount = amount;
        m_controlsChanged = true;
    }
}

void Frei0rFilter::update(double time, const std::uint32_t* input, std::uint32_t* output)
{
    if (m_changed)
    {
        m_changed = false;
        m_controlsChanged = false;
        applyChoice();
    }
    else if (std::exchange(m_controlsChanged, false) && m_instance != nullptr && m_chosen)
    {
        // A corrected control grades again; the LUT's choice needs no new instance.
        m_grading = setControls();
    }
    if (!m_grading)
    {
        passThrough(input, output);
        return;
    }
    const gl::ContextScope scope = contextOf(m_host.get());
    if (!scope.current())
    {
        report("the GL context couldn't be made current on this thread");
        m_grading = false;
        passThrough(input, output);
        return;
    }
    std::memcpy(m_input.data(), input, m_input.pixelRowBytes() * m_height);
    m_renderer->setTime(time);
    foundation::Error error;
    if (!m_renderer->renderFrame(m_instance->filter(), m_input, &m_output, &error) ||
        m_output.width() != m_width || m_output.height() != m_height)
    {
        report(error.localizedDescription());
        m_grading = false;
        passThrough(input, output);
        return;
    }
    std::memcpy(output, m_output.data(), m_output.pixelRowBytes() * m_height);
}

bool Frei0rFilter::openHost()
{
    if (m_host || m_hostFailed)
    {
        return static_cast<bool>(m_host);
    }
    m_hostFailed = true;
    const std::string bundle = bundlePath();
    if (bundle.empty())
    {
        report("Huecast.bundle is neither beside this module where it was installed, nor "
               "in " HUECAST_FREI0R_PACKAGE_BUNDLE ", nor named by HUECAST_BUNDLE");
        return false;
    }
    // The new context is current once made; the scope gives the thread back its own after.
    const gl::ContextScope scope(nullptr);
    foundation::Error error;
    auto host = host::ReferenceHost::create(bundle, &error);
    std::unique_ptr<host::FrameRenderer> renderer;
    if (host)
    {
        renderer = host::FrameRenderer::create(&error);
    }
    if (!renderer)
    {
        report(error.localizedDescription());
        return false;
    }
    m_host = std::move(host);
    m_renderer = std::move(renderer);
    m_input.reshape(m_width, m_height, host::PixelType::UInt8);
    m_output.reshape(m_width, m_height, host::PixelType::UInt8);
    m_hostFailed = false;
    return true;
}

void Frei0rFilter::applyChoice()
{
    m_grading = false;
    m_chosen = false;
    if (m_lut.empty() && m_project.empty())
    {
        return;
    }
    if (!m_lut.empty() && !m_project.empty())
    {
        report("lut and project are both set; give one of them");
        return;
    }
    if (!openHost())
    {
        return;
    }
    const gl::ContextScope scope = contextOf(m_host.get());
    if (!scope.current())
    {
        report("the GL context couldn't be made current on this thread");
        return;
    }
    // A fresh effect instance for every choice, so nothing of an earlier one stays.
    if (m_instance != nullptr)
    {
        m_host->removeInstance(m_instance);
        m_instance = nullptr;
    }
    foundation::Error error;
    m_instance = m_host->createInstance({}, &error);
    if (m_instance == nullptr)
    {
        report(error.localizedDescription());
        return;
    }
    const ThreadPresenter::Scope modal(m_presenter.get());
    if (!m_project.empty())
    {
        if (!host::loadProject(m_project, m_host->bundle(), {m_instance}, &error))
        {
            report(error.localizedDescription());
            return;
        }
    }
    else if (!(namesFile(m_lut) ? chooseFile(m_lut) : chooseLibraryEntry(m_lut)))
    {
        endIfStrict(); // the alert said why
        return;
    }
    m_chosen = true;
    // What the effect (or the project) holds before the module's own controls go on it.
    const host::ParameterStore& parameters = m_instance->parameters();
    const host::Parameter* interpolation =
        parameters.parameter(parmIdOf(HuecastParameter::Interpolation));
    const host::Parameter* amount = parameters.parameter(parmIdOf(HuecastParameter::Amount));
    m_chosenControls = {interpolation != nullptr ? interpolation->index : kTrilinearIndex,
                        amount != nullptr ? amount->number : kAmountDefault};
    m_grading = setControls();
}

bool Frei0rFilter::setControls()
{
    // Unset controls ("" and the default amount, which hosts such as GStreamer always set) keep
    // what the LUT's choice holds: a project's saved values, else the effect's defaults.
    std::optional<std::int32_t> index = m_chosenControls.interpolation;
    if (!m_interpolation.empty())
    {
        index = interpolationIndexOf(m_interpolation);
        if (!index)
        {
            report(fmt::format("interpolation \"{}\" is neither trilinear nor tetrahedral",
                               m_interpolation));
            return false;
        }
    }
    if (!m_instance->choosePopupEntry(parmIdOf(HuecastParameter::Interpolation), *index))
    {
        report(fmt::format("the plug-in has no \"Interpolation\" entry {}", *index));
        return false;
    }
    const double amount = m_amount == kAmountDefault ? m_chosenControls.amount : m_amount;
    if (!m_instance->moveSlider(parmIdOf(HuecastParameter::Amount), amount))
    {
        report(fmt::format("amount {} is outside 0 to 1", amount));
        return false;
    }
    return true;
}

bool Frei0rFilter::chooseLibraryEntry(const std::string& name)
{
    const host::LutChoiceResult result =
        host::LutChooser(*m_instance, *m_presenter, kLutParameters).chooseLibraryEntry(name);
    if (result == host::LutChoiceResult::NotOffered)
    {
        report(fmt::format("\"{}\" is neither a .cube file nor in the LUT library (`huecast "
                           "list` shows what is)",
                           name));
    }
    return result == host::LutChoiceResult::Loaded;
}

bool Frei0rFilter::chooseFile(const std::string& path)
{
    const host::LutChoiceResult result =
        host::LutChooser(*m_instance, *m_presenter, kLutParameters).chooseFile(path);
    if (result == host::LutChoiceResult::NotOffered)
    {
        report(fmt::format("the plug-in offers no Browse button to load {}", path));
    }
    return result == host::LutChoiceResult::Loaded;
}

void Frei0rFilter::passThrough(const std::uint32_t* input, std::uint32_t* output) const
{
    if (input != output)
    {
        std::memcpy(output, input, std::size_t{m_width} * m_height * sizeof *input);
    }
}

void Frei0rFilter::report(const std::string& message) const
{
    // Names and paths in it come from the host's parameters: escaped, as everywhere else.
    fmt::print(m_messages, "huecast: {}\n", foundation::escapeForTerminal(message));
    std::fflush(m_messages);
    endIfStrict();
}

void Frei0rFilter::endIfStrict() const
{
    if (!m_strict)
    {
        return;
    }
    // frei0r gives a filter no way to fail a frame: a batch run learns of the failure from the
    // exit status. _Exit, not exit: the host's other threads are still running, and its exit
    // handlers would tear down what they use.
    std::fflush(m_messages);
    std::_Exit(EXIT_FAILURE);
}

bool strictFromEnvironment()
{
    const char* strict = std::getenv("HUECAST_FREI0R_STRICT");
    return strict != nullptr && std::string_view(strict) == "1";
}

} // namespace huecast::frei0r
