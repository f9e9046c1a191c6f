// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/CommandLinePresenter.h"
#include "host/Frame.h"
#include "host/FrameRenderer.h"
#include "host/LutChooser.h"
#include "host/ReferenceHost.h"

namespace huecast::tool
{

/// A reference host through the bundle and one effect instance in it.
struct HostWithInstance
{
    std::unique_ptr<host::ReferenceHost> host;
    host::EffectInstance* instance = nullptr; ///< owned by the host
};

/// Makes the host and its instance; both null after printing "huecast: REASON" on `errors`
/// when either can't be made (no GL context, no bundle, a filter the bundle refused).
[[nodiscard]] HostWithInstance openHostWithInstance(const std::string& bundlePath,
                                                    std::FILE* errors);

/// Which LUT a command grades through, chosen the way a user would choose it.
struct LutChoice
{
    enum class Kind : std::uint8_t
    {
        None,         ///< the popup left at "No LUT"
        LibraryEntry, ///< a "3D LUT" popup entry, by name
        File,         ///< "External File", then the file through Browse
        Project,      ///< a saved project restored, no .cube read at all
    };
    Kind kind = Kind::None;
    std::string value; ///< the entry's name, the file's path or the project's path
};

/// The grade controls a command sets; each left unset keeps what the instance holds (the
/// effect's default, or what a restored project saved).
struct GradeControls
{
    std::optional<std::int32_t> interpolation; ///< an "Interpolation" popup index
    std::optional<double> amount;              ///< "Amount", 0..1
};

/// One filter instance in the reference host, with the frame path, as the command-line tools
/// use it. Errors are printed on the given stream as "huecast: ...", naming the file at fault.
class GradingSession
{
public:
    /// A session through the bundle, or null after printing why there is none.
    [[nodiscard]] static std::unique_ptr<GradingSession> open(const std::string& bundlePath,
                                                              std::FILE* errors);

    GradingSession(const GradingSession&) = delete;
    GradingSession& operator=(const GradingSession&) = delete;
    ~GradingSession();

    /// Makes the choice in the instance; false after printing why it failed (for a .cube file,
    /// the reader's message with its line).
    [[nodiscard]] bool chooseLut(const LutChoice& choice);
    /// The "3D LUT" popup's library entries, in order (the entries after "External File").
    [[nodiscard]] std::vector<std::string> libraryNames() const;
    /// Sets the controls that are given; false after printing why one was refused.
    [[nodiscard]] bool setControls(const GradeControls& controls);
    /// Saves the instance's parameters; false after printing why.
    [[nodiscard]] bool saveProject(const std::string& path);
    /// Grades one frame; false with the reason in the error.
    [[nodiscard]] bool render(const host::Frame& input, host::Frame* output,
                              foundation::Error* error);

private:
    GradingSession(std::FILE* errors, std::shared_ptr<host::CommandLinePresenter> presenter)
        : m_errors(errors), m_presenter(std::move(presenter))
    {
    }
    [[nodiscard]] host::LutChooser lutChooser() const;
    bool chooseLibraryEntry(const std::string& name);
    bool chooseFile(const std::string& path);

    std::FILE* m_errors;
    std::shared_ptr<host::CommandLinePresenter> m_presenter;
    std::unique_ptr<host::ReferenceHost> m_host;
    host::EffectInstance* m_instance = nullptr;
    std::unique_ptr<host::FrameRenderer> m_renderer;
};

} // namespace huecast::tool
