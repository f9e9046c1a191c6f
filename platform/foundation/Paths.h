// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <string>
#include <string_view>

namespace huecast::foundation
{

/// The user's home folder: $HOME when set and not empty, else the password database's entry
/// for the current user, else an empty string.
[[nodiscard]] std::string homeDirectory();

/// The path with a leading "~" or "~/" replaced by the home folder, and "~name" by that user's
/// home folder. Any other path, or "~name" for an unknown user, comes back unchanged.
[[nodiscard]] std::string expandTilde(std::string_view path);

/// The text after the last "/", ignoring trailing slashes; "/" for the root.
[[nodiscard]] std::string_view lastPathComponent(std::string_view path);

/// The path without its extension: the last "." of the last component and what follows it.
/// A component without "." comes back unchanged.
[[nodiscard]] std::string_view deletingPathExtension(std::string_view path);

} // namespace huecast::foundation
