// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace huecast::kit
{

/// Response codes of modal panels.
inline constexpr long kModalResponseOK = 1;
inline constexpr long kModalResponseCancel = 0;
/// The first button of an alert.
inline constexpr long kAlertFirstButtonReturn = 1000;

/// What an open panel asks the user for.
struct OpenPanelRequest
{
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    std::vector<std::string> allowedFileTypes; ///< extensions without the dot; empty: any
};

struct OpenPanelResult
{
    long response = kModalResponseCancel;
    std::vector<std::string> paths;
};

enum class NSAlertStyle : long
{
    Warning = 0,
    Informational = 1,
    Critical = 2,
};

struct AlertContent
{
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttonTitles;
    NSAlertStyle style = NSAlertStyle::Warning;
};

/// Shows modal UI. The host installs one: the command-line host answers open panels from its
/// arguments and prints alerts; tests script the answers and read back what was shown.
class __attribute__((visibility("default"))) ModalPresenter
{
public:
    virtual ~ModalPresenter();
    virtual OpenPanelResult runOpenPanel(const OpenPanelRequest& request) = 0;
    /// Returns the response of the button pressed (kAlertFirstButtonReturn for the first).
    virtual long runAlert(const AlertContent& alert) = 0;
};

/// Installs the process's presenter (null: modal UI answers "cancel" and shows nothing).
[[gnu::visibility("default")]] void setModalPresenter(std::shared_ptr<ModalPresenter> presenter);
[[gnu::visibility("default")]] [[nodiscard]] std::shared_ptr<ModalPresenter> modalPresenter();

/// A modal file chooser.
class __attribute__((visibility("default"))) NSOpenPanel
{
public:
    void setCanChooseFiles(bool value) { m_request.canChooseFiles = value; }
    void setCanChooseDirectories(bool value) { m_request.canChooseDirectories = value; }
    void setAllowsMultipleSelection(bool value) { m_request.allowsMultipleSelection = value; }
    void setAllowedFileTypes(std::vector<std::string> types)
    {
        m_request.allowedFileTypes = std::move(types);
    }

    /// Runs the panel; kModalResponseOK when the user chose something.
    long runModal();
    /// The chosen paths, after runModal.
    [[nodiscard]] const std::vector<std::string>& paths() const { return m_paths; }

private:
    OpenPanelRequest m_request;
    std::vector<std::string> m_paths;
};

/// A modal alert.
class __attribute__((visibility("default"))) NSAlert
{
public:
    void addButtonWithTitle(std::string title)
    {
        m_content.buttonTitles.push_back(std::move(title));
    }
    void setMessageText(std::string text) { m_content.messageText = std::move(text); }
    void setInformativeText(std::string text) { m_content.informativeText = std::move(text); }
    void setAlertStyle(NSAlertStyle style) { m_content.style = style; }
    long runModal();

private:
    AlertContent m_content;
};

} // namespace huecast::kit
