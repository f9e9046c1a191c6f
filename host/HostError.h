// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/Error.h"

namespace huecast::host
{

/// Domain and codes of every error the reference host reports.
inline constexpr std::string_view kHostErrorDomain = "HuecastHostErrorDomain";
enum class HostError : std::int64_t
{
    BundleNotLoaded = 1,   ///< the bundle's library could not be opened
    NoEntryPoint = 2,      ///< the library has no entry point, or an incompatible one
    FilterNotCreated = 3,  ///< the bundle refused to create a filter
    NoGLContext = 4,       ///< no headless GL context could be made
    ProjectUnreadable = 5, ///< a project file could not be read or is damaged
    ProjectTooNew = 6,     ///< a project file from a newer format version
    ProjectMismatch = 7,   ///< a project's parameters don't fit the instances it is loaded into
    ProjectNotWritten = 8, ///< a project file could not be written
    FrameNotRendered = 9,  ///< the filter refused a frame or drew nothing
    GLUnsupported = 10,    ///< the GL context lacks what the frame path needs
    FrameUnreadable = 11,  ///< a frame file could not be read
    FrameNotWritten = 12,  ///< a frame file could not be written
};

/// Puts a kHostErrorDomain error with the code and message in `error` (when given); returns
/// false, so a failing path can end with `return hostError(...)`.
inline bool hostError(foundation::Error* error, HostError code, const std::string& message)
{
    foundation::setError(error, kHostErrorDomain, static_cast<std::int64_t>(code), message);
    return false;
}

} // namespace huecast::host
