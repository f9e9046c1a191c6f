// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Error.h"

namespace huecast::foundation
{

/// Domain of the errors of the file services; codes are errno values, or the codes below.
inline constexpr std::string_view kFileErrorDomain = "HuecastFileErrorDomain";
/// The file's bytes are not valid UTF-8.
inline constexpr std::int64_t kFileNotUtf8Error = 1001;
/// The file is larger than any file the system reads whole.
inline constexpr std::int64_t kFileTooLargeError = 1002;

/// The largest file read whole: well above the biggest .cube file (edge 256 with long numbers).
inline constexpr std::uint64_t kMaxWholeFileBytes = 2ULL << 30;

/// True when something (a file, a folder, anything) exists at the path; a dangling link does
/// not count.
[[nodiscard]] bool fileExists(const std::string& path);

/// Reads the whole file at the path as UTF-8 text (a leading byte-order mark is kept). Empty
/// on failure, with a kFileErrorDomain error naming the path and the reason (the errno text,
/// an invalid UTF-8 byte's offset, or the size limit) in `error` when given.
[[nodiscard]] std::optional<std::string> readUtf8File(const std::string& path, Error* error);

/// Writes the bytes to the path whole or not at all (the platform's atomic file write): into a
/// new temporary file beside it, flushed to disk, then renamed over the path, so a reader sees
/// the former file or the complete new one. The file gets mode 0644. False on failure, with a
/// kFileErrorDomain error (the errno value) naming the path and the reason in `error` when
/// given; no temporary file is left behind.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view bytes,
                                       Error* error);

/// The names of the folder's direct entries, hidden ones included, in the order the system
/// lists them; empty when the folder cannot be listed.
[[nodiscard]] std::vector<std::string> directoryEntryNames(const std::string& path);

} // namespace huecast::foundation
