// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/GradingSession.h"

#include <algorithm>
#include <filesystem>

#include <fmt/format.h>

#include "host/Project.h"
#include "platform/foundation/Text.h"
#include "platform/fx/FxCustomValue.h"
#include "plugin/HuecastParameters.h"

namespace huecast::tool
{
namespace
{

constexpr auto kLUTParameter = parmIdOf(HuecastParameter::LUT);
constexpr auto kLoadLUTParameter = parmIdOf(HuecastParameter::LoadLUT);
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

bool GradingSession::chooseLibraryEntry(const std::string& name)
{
    const std::vector<std::string>& entries =
        m_instance->parameters().parameter(kLUTParameter)->entries;
    // The popup's first entry, "No LUT", is a choice too; "External File" needs a file.
    if (!entries.empty() && name == entries.front())
    {
        (void)m_instance->choosePopupEntry(kLUTParameter, 0);
        return true;
    }
    const auto found = std::find(
        entries.begin() + std::min<std::ptrdiff_t>(kFirstLibraryIndex, std::ssize(entries)),
        entries.end(), name);
    if (found == entries.end())
    {
        std::error_code ignored;
        if (name.ends_with(".cube") || std::filesystem::is_regular_file(name, ignored))
        {
            fmt::print(m_errors,
                       "huecast: \"{}\" is not in the LUT library; to load a .cube file, use "
                       "--lut-file {}\n",
                       name, name);
            return false;
        }
        fmt::print(m_errors,
                   "huecast: \"{}\" is not in the LUT library (`huecast list` shows what is)\n",
                   foundation::escapeForTerminal(name));
        return false;
    }
    const auto index = static_cast<std::int32_t>(found - entries.begin());
    m_presenter->setAlertPrefix(
        fmt::format("huecast: {}.cube: ", foundation::escapeForTerminal(name)));
    const int alertsBefore = m_presenter->alertCount();
    (void)m_instance->choosePopupEntry(kLUTParameter, index);
    // A file that fails to load is reported in an alert and leaves the popup.
    return m_presenter->alertCount() == alertsBefore;
}

bool GradingSession::chooseFile(const std::string& path)
{
    m_presenter->setAlertPrefix(fmt::format("huecast: {}: ", foundation::escapeForTerminal(path)));
    const int alertsBefore = m_presenter->alertCount();
    (void)m_instance->choosePopupEntry(kLUTParameter, kExternalFileIndex);
    // A real open panel answers with an absolute path; a relative one could equal a name the
    // cube cache keeps for something else ("kIdentityCube").
    std::error_code ignored;
    const std::string chosen = std::filesystem::absolute(path, ignored).string();
    m_presenter->answerNextPanel(chosen);
    if (!m_instance->clickBrowse(kLoadLUTParameter))
    {
        fmt::print(m_errors, "huecast: the plug-in offers no Browse button to load {}\n",
                   foundation::escapeForTerminal(path));
        return false;
    }
    const std::string* loaded =
        fx::stringOf(m_instance->parameters().parameter(kLoadLUTParameter)->value);
    return m_presenter->alertCount() == alertsBefore && loaded != nullptr && *loaded == chosen;
}

std::vector<std::string> GradingSession::libraryNames() const
{
    const std::vector<std::string>& entries =
        m_instance->parameters().parameter(kLUTParameter)->entries;
    return {entries.begin() + std::min<std::ptrdiff_t>(kFirstLibraryIndex, std::ssize(entries)),
            entries.end()};
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
