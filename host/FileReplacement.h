// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace huecast::host
{

/// Writes the bytes of a file under a temporary name; false with the reason (no file name in
/// it) when it can't.
using TemporaryWriter = std::function<bool(const std::string& temporary, std::string* reason)>;

/// Replaces the file at `path` in one step, so that it appears whole or not at all and a
/// failure leaves the former file as it was: `write` fills a temporary file in the same folder,
/// which is flushed to disk and renamed over `path`. The temporary is named
/// ".NAME.huecast-HOST-PID.partial" (this machine's host name and process id), so many machines
/// can write into one shared folder at once; the first write into a folder removes the
/// temporaries that this machine's processes left there and that no longer exist. False with
/// the first reason for the failure (an errno text, or the writer's) in `reason`; the temporary
/// is gone then.
[[nodiscard]] bool replaceFile(const std::string& path, const TemporaryWriter& write,
                               std::string* reason);

/// As replaceFileWithBytes, but only where nothing is at the path yet: when something is (a
/// file another process made meanwhile), false with EEXIST's text in `reason`, and what is
/// there stays as it is.
[[nodiscard]] bool createFileWithBytes(const std::string& path, std::string_view bytes,
                                       std::string* reason);

/// replaceFile with a writer that writes these bytes.
[[nodiscard]] bool replaceFileWithBytes(const std::string& path, std::string_view bytes,
                                        std::string* reason);

/// The temporary replaceFile uses for `path` in this process.
[[nodiscard]] std::string temporaryPathFor(const std::string& path);

/// Makes SIGINT and SIGTERM remove the temporary that replaceFile is writing, if any, then end
/// the process by that signal, as its default action would. Call once, from the main thread.
void removeTemporaryOnSignals();

} // namespace huecast::host
