// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/CommandLinePresenter.h"
#include "host/ReferenceHost.h"

namespace huecast::host
{

/// Where a plug-in keeps its LUT choice. The host knows the plug-in only through parameter ids,
/// so whoever drives it names them (from the plug-in's own header).
struct LutParameters
{
    std::uint32_t popup;            ///< the popup of LUTs
    std::uint32_t browse;           ///< the control whose Browse button loads a file, and its path
    std::int32_t externalFileIndex; ///< the popup entry that takes a file through Browse
    std::int32_t firstLibraryIndex; ///< the popup's first library entry; the rest follow it
};

/// How choosing a LUT went.
enum class LutChoiceResult : std::uint8_t
{
    Loaded,     ///< the plug-in holds the LUT
    Refused,    ///< the plug-in didn't take it; its alert, printed by the presenter, said why
    NotOffered, ///< no library entry of that name, or no Browse button; nothing was shown
};

/// Chooses a LUT in one effect instance as a user would: a library entry from the popup, or
/// the external-file entry and then Browse, its open panel answered by the command-line
/// presenter. The plug-in reports a file that fails to load in an alert, so a choice succeeds
/// when no alert came; the presenter prints each alert after "huecast: FILE: ".
class LutChooser
{
public:
    LutChooser(EffectInstance& instance, CommandLinePresenter& presenter,
               const LutParameters& parameters)
        : m_instance(instance), m_presenter(presenter), m_parameters(parameters)
    {
    }

    /// The popup's library entries, in order.
    [[nodiscard]] std::vector<std::string> libraryNames() const;
    /// Picks the library entry `name` (a file NAME.cube in a library folder).
    [[nodiscard]] LutChoiceResult chooseLibraryEntry(const std::string& name);
    /// Picks the external-file entry and answers Browse with `path` made absolute, as a real
    /// open panel does: a relative one could equal a name the plug-in's cube cache keeps for
    /// something else. Never normalised as text: through a symbolic link, "link/.." is not the
    /// folder the link is in, and the file the kernel opens is the one to grade.
    [[nodiscard]] LutChoiceResult chooseFile(const std::string& path);

private:
    EffectInstance& m_instance;
    CommandLinePresenter& m_presenter;
    LutParameters m_parameters;
};

} // namespace huecast::host
