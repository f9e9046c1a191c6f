// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/gl/ContextScope.h"

#include <EGL/egl.h>

namespace huecast::gl
{

ContextScope::ContextScope(EglContext* context)
    : m_api(eglQueryAPI()), m_display(eglGetCurrentDisplay()),
      m_draw(eglGetCurrentSurface(EGL_DRAW)), m_read(eglGetCurrentSurface(EGL_READ)),
      m_context(eglGetCurrentContext()),
      m_current(context != nullptr && context->makeCurrent(nullptr))
{
}

ContextScope::~ContextScope()
{
    if (m_context != EGL_NO_CONTEXT)
    {
        eglBindAPI(m_api);
        eglMakeCurrent(m_display, m_draw, m_read, m_context);
    }
    else if (eglGetCurrentContext() != EGL_NO_CONTEXT)
    {
        eglMakeCurrent(eglGetCurrentDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglBindAPI(m_api);
    }
}

} // namespace huecast::gl
