// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include "platform/gl/EglContext.h"

namespace huecast::gl
{

/// Makes a context current on the calling thread for one call, then gives the thread back what
/// was current before (the caller's own context, with its API and surfaces, or none). For
/// modules that other programs load: their hosts move instances between threads, and a context
/// still current on another thread can't be made current.
class ContextScope
{
public:
    /// Remembers what is current, then makes `context` current when it is not null.
    explicit ContextScope(EglContext* context);
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;
    ~ContextScope();

    /// Whether `context` was made current.
    [[nodiscard]] bool current() const { return m_current; }

private:
    // EGL handles, kept opaque as EglContext keeps them.
    unsigned m_api;
    void* m_display;
    void* m_draw;
    void* m_read;
    void* m_context;
    bool m_current;
};

} // namespace huecast::gl
