// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/GradingSession.h"

#include <filesystem>

#include <fmt/format.h>

#include "host/Project.h"
#include "platform/foundation/Text.h"
#include "plugin/HuecastParameters.h"

namespace huecast::tool
{
namespace
{

constexpr auto kLUTParameter = parmIdOf(HuecastParameter::LUT);
constexpr host::LutParameters kLutParameters = {kLUTParameter, parmIdOf(HuecastParameter::LoadLUT),
                                                kExternalFileIndex, kFirstLibraryIndex};
constexpr auto kInterpolationParameter = parmIdOf(HuecastParameter::Interpolation);
constexpr auto kAmountParameter = parmIdOf(HuecastParameter::Amount);

} // namespace

HostWithInstance openHostWithInstance(const std::string& bundlePath, std::FILE* errors)
{
    foundation::Error error;
    HostWithInstance opened;
    opened.host = host::ReferenceHost::create(bundlePath, &error);
    if (opened.host)
    {
        opened.instance = opened.host->createInstance({}, &error);
    }
    if (opened.instance == nullptr)
    {
        fmt::print(errors, "huecast: {}\n",
                   foundation::escapeForTerminal(error.localizedDescription()));
        opened.host.reset();
    }
    return opened;
}

std::unique_ptr<GradingSession> GradingSession::open(const std::string& bundlePath,
                                                     std::FILE* errors)
{
    auto presenter =
        std::make_shared<host::CommandLinePresenter>(std::deque<std::string>{}, errors);
    std::unique_ptr<GradingSession> session(new GradingSession(errors, presenter));
    kit::setModalPresenter(presenter);

    HostWithInstance opened = openHostWithInstance(bundlePath, errors);
    if (opened.instance == nullptr)
    {
        return nullptr;
    }
    session->m_host = std::move(opened.host);
    session->m_instance = opened.instance;
    foundation::Error error;
    session->m_renderer = host::FrameRenderer::create(&error);
    if (!session->m_renderer)
    {
        fmt::print(errors, "huecast: {}\n",
                   foundation::escapeForTerminal(error.localizedDescription()));
        return nullptr;
    }
    return session;
}

GradingSession::~GradingSession()
{
    // GL objects go in the host's context, before the host (and its context) go.
    if (m_host)
    {
        (void)m_host->makeCurrent();
    }
    m_renderer.reset();
    m_host.reset();
    kit::setModalPresenter(nullptr);
}

bool GradingSession::chooseLut(const LutChoice& choice)
{
    switch (choice.kind)
    {
    case LutChoice::Kind::None:
        return true;
    case LutChoice::Kind::LibraryEntry:
        return chooseLibraryEntry(choice.value);
    case LutChoice::Kind::File:
        return chooseFile(choice.value);
    case LutChoice::Kind::Project:
    {
        foundation::Error error;
        if (!host::loadProject(choice.value, m_host->bundle(), {m_instance}, &error))
        {
            fmt::print(m_errors, "huecast: {}\n",
                       foundation::escapeForTerminal(error.localizedDescription()));
            return false;
        }
        return true;
    }
    }
    return false;
}

host::LutChooser GradingSession::lutChooser() const
{
    return {*m_instance, *m_presenter, kLutParameters};
}

bool GradingSession::chooseLibraryEntry(const std::string& name)
{
    // The popup's first entry, "No LUT", is a choice too; "External File" needs a file.
    if (name == kNoLUTName)
    {
        (void)m_instance->choosePopupEntry(kLUTParameter, kNoLUTIndex);
        return true;
    }
    const host::LutChoiceResult result = lutChooser().chooseLibraryEntry(name);
    if (result != host::LutChoiceResult::NotOffered)
    {
        return result == host::LutChoiceResult::Loaded;
    }
    const std::string shown = foundation::escapeForTerminal(name);
    std::error_code ignored;
    if (name.ends_with(".cube") || std::filesystem::is_regular_file(name, ignored))
    {
        fmt::print(m_errors,
                   "huecast: \"{}\" is not in the LUT library; to load a .cube file, use "
                   "--lut-file {}\n",
                   shown, shown);
        return false;
    }
    fmt::print(m_errors,
               "huecast: \"{}\" is not in the LUT library (`huecast list` shows what is)\n", shown);
    return false;
}

bool GradingSession::chooseFile(const std::string& path)
{
    const host::LutChoiceResult result = lutChooser().chooseFile(path);
    if (result == host::LutChoiceResult::NotOffered)
    {
        fmt::print(m_errors, "huecast: the plug-in offers no Browse button to load {}\n",
                   foundation::escapeForTerminal(path));
    }
    return result == host::LutChoiceResult::Loaded;
}

std::vector<std::string> GradingSession::libraryNames() const
{
    return lutChooser().libraryNames();
}

bool GradingSession::setControls(const GradeControls& controls)
{
    if (controls.interpolation &&
        !m_instance->choosePopupEntry(kInterpolationParameter, *controls.interpolation))
    {
        fmt::print(m_errors, "huecast: the plug-in has no \"Interpolation\" entry {}\n",
                   *controls.interpolation);
        return false;
    }
    if (controls.amount && !m_instance->moveSlider(kAmountParameter, *controls.amount))
    {
        fmt::print(m_errors, "huecast: the plug-in's \"Amount\" doesn't take {}\n",
                   *controls.amount);
        return false;
    }
    return true;
}

bool GradingSession::saveProject(const std::string& path)
{
    foundation::Error error;
    if (!host::saveProject(path, {m_instance}, &error))
    {
        fmt::print(m_errors, "huecast: {}\n",
                   foundation::escapeForTerminal(error.localizedDescription()));
        return false;
    }
    return true;
}

bool GradingSession::render(const host::Frame& input, host::Frame* output, foundation::Error* error)
{
    return m_renderer->renderFrame(m_instance->filter(), input, output, error);
}

} // namespace huecast::tool
