// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <functional>
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
/// Something other than a regular file (a named pipe, a device, a socket) is at the path.
inline constexpr std::int64_t kFileNotRegularError = 1003;

/// The largest file read whole: well above the biggest .cube file (edge 256 with long numbers).
inline constexpr std::uint64_t kMaxWholeFileBytes = 2ULL << 30;

/// Why the path is no regular file (nor a link to one), so that nothing may read it: "it is a
/// named pipe (FIFO), not a regular file", "it is a folder", the errno text of a failed look;
/// empty for a regular file. Only looks: a pipe or device is never opened.
[[nodiscard]] std::string whyNotRegularFile(const std::string& path);

/// True when something (a file, a folder, anything) exists at the path; a dangling link does
/// not count, a loop of links does (reading it then says why it fails).
[[nodiscard]] bool fileExists(const std::string& path);

/// Reads the whole regular file at the path (or the one a link leads to) as UTF-8 text (a
/// leading byte-order mark is kept). Anything else is refused before it is opened, so a named
/// pipe never blocks and a device is never read: a folder with EISDIR, others with
/// kFileNotRegularError, a loop of links with ELOOP, each saying what is there. The size is
/// checked against kMaxWholeFileBytes before reading, and a NUL byte (no text holds one) ends
/// the read with kFileNotUtf8Error. Empty on failure, with a kFileErrorDomain error naming the
/// path and the reason (the errno text, what the path is, an invalid UTF-8 or NUL byte's
/// offset, or the size limit) in `error` when given.
[[nodiscard]] std::optional<std::string> readUtf8File(const std::string& path, Error* error);

/// The same read with a tighter size limit than kMaxWholeFileBytes, for files whose largest
/// sensible size is known (a project): a larger one is refused before a byte is read.
[[nodiscard]] std::optional<std::string> readUtf8File(const std::string& path,
                                                      std::uint64_t maxBytes, Error* error);

/// Reads the file as readUtf8File does, with the same refusals and errors in the same order,
/// but hands the text over in pieces as it is read, through one buffer of a quarter megabyte:
/// each piece ends just after a newline (only the file's last may end without one), and
/// `consume` gets it with the number of the file's bytes after it. Once `consume` returns false
/// it gets nothing more, but the file is still read to its end for the errors above, which
/// come before anything `consume` concluded. True when the whole file was read as UTF-8 text.
[[nodiscard]] bool readUtf8FileInLines(
    const std::string& path, std::uint64_t maxBytes,
    const std::function<bool(std::string_view lines, std::size_t bytesAfter)>& consume,
    Error* error);

/// The names of the folder's direct entries, hidden ones included, in the order the system
/// lists them; empty when the folder cannot be listed.
[[nodiscard]] std::vector<std::string> directoryEntryNames(const std::string& path);

} // namespace huecast::foundation
