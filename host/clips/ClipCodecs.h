// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Inside the clip module: the reader and the writer, as the module's entry point offers them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/ClipModule.h"
#include "host/Frame.h"
#include "host/clips/Libav.h"
#include "platform/foundation/Error.h"

namespace huecast::host::clips
{

bool openClip(const std::string& path, std::shared_ptr<void>* clip, long* frames,
              foundation::Error* error);
bool readClipFrame(void* clip, long index, Frame* frame, int* channels, std::int64_t* time,
                   foundation::Error* error);

bool openMovie(const std::string& source, const std::string& path, const std::string& destination,
               const MovieOptions& options, std::shared_ptr<void>* movie, foundation::Error* error);
bool writeMovieFrame(void* movie, const Frame& frame, std::int64_t time, foundation::Error* error);
bool finishMovie(void* movie, foundation::Error* error);

} // namespace huecast::host::clips
