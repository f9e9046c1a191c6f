// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <cstdlib>
#include <string>

#include <epoxy/egl.h>
#include <gtest/gtest.h>

#include "platform/gl/ContextScope.h"
#include "platform/gl/EglContext.h"
#include "platform/gl/GL.h"

namespace huecast::gl
{
namespace
{

// True when the current context still has the fixed-function pipeline the render pass draws
// with; a core context raises GL_INVALID_OPERATION on these calls.
bool hasCompatibilityFeatures()
{
    while (glGetError() != GL_NO_ERROR)
    {
    }
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glPopAttrib();
    if (epoxy_gl_version() >= 32)
    {
        GLint profile = 0;
        glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
        if ((profile & GL_CONTEXT_COMPATIBILITY_PROFILE_BIT) == 0)
        {
            return false;
        }
    }
    return glGetError() == GL_NO_ERROR;
}

TEST(EglContextGLTest, MakesCurrentCompatibilityContextsOfRequestedAndHighestVersion)
{
    foundation::Error error;
    auto requested = EglContext::create(2, 1, EglPlatform::Automatic, &error);
    ASSERT_NE(requested, nullptr) << error.localizedDescription();
    EXPECT_NE(requested->platform(), EglPlatform::Automatic);
    const int requestedVersion = epoxy_gl_version();
    EXPECT_GE(requestedVersion, 21);
    EXPECT_TRUE(hasCompatibilityFeatures());

    auto highest = EglContext::createHighest(EglPlatform::Automatic, &error);
    ASSERT_NE(highest, nullptr) << error.localizedDescription();
    EXPECT_GE(epoxy_gl_version(), requestedVersion);
    EXPECT_TRUE(hasCompatibilityFeatures());
}

TEST(EglContextGLTest, DevicePlatformMakesAContextToo)
{
    foundation::Error error;
    auto context = EglContext::createHighest(EglPlatform::Device, &error);
    ASSERT_NE(context, nullptr) << error.localizedDescription();
    EXPECT_EQ(context->platform(), EglPlatform::Device);
    EXPECT_NE(glGetString(GL_RENDERER), nullptr);
    EXPECT_TRUE(hasCompatibilityFeatures());
}

// Both contexts share one EGL display; ending the first must not terminate it under the second.
TEST(EglContextGLTest, ContextsOnOneDisplayOutliveEachOther)
{
    foundation::Error error;
    auto first = EglContext::create(2, 1, EglPlatform::Automatic, &error);
    auto second = EglContext::create(2, 1, EglPlatform::Automatic, &error);
    ASSERT_NE(first, nullptr) << error.localizedDescription();
    ASSERT_NE(second, nullptr) << error.localizedDescription();
    first.reset();
    ASSERT_TRUE(second->makeCurrent(&error)) << error.localizedDescription();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    EXPECT_TRUE(glIsTexture(texture));
    glDeleteTextures(1, &texture);
}

TEST(EglContextGLTest, MovedContextStaysUsableAndTheSourceRefusesToBecomeCurrent)
{
    foundation::Error error;
    auto made = EglContext::create(2, 1, EglPlatform::Automatic, &error);
    ASSERT_NE(made, nullptr) << error.localizedDescription();
    EglContext moved(std::move(*made));

    EXPECT_FALSE(made->makeCurrent(&error));
    EXPECT_EQ(error.domain(), kEglErrorDomain);
    EXPECT_EQ(error.code(), static_cast<std::int64_t>(EglError::NotCurrent));
    EXPECT_EQ(error.localizedDescription(), "The context was moved away");

    made.reset();
    ASSERT_TRUE(moved.makeCurrent(&error)) << error.localizedDescription();
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
}

// A module called from a host's thread gives the thread back the context it had, or none.
TEST(EglContextGLTest, ContextScopeGivesTheThreadBackWhatWasCurrent)
{
    foundation::Error error;
    auto hosts = EglContext::create(2, 1, EglPlatform::Automatic, &error);
    auto ours = EglContext::create(2, 1, EglPlatform::Automatic, &error);
    ASSERT_NE(ours, nullptr) << error.localizedDescription();
    ASSERT_TRUE(hosts->makeCurrent(&error)) << error.localizedDescription();
    const EGLContext hostsHandle = eglGetCurrentContext();
    {
        const ContextScope scope(ours.get());
        EXPECT_TRUE(scope.current());
        EXPECT_NE(eglGetCurrentContext(), hostsHandle);
    }
    EXPECT_EQ(eglGetCurrentContext(), hostsHandle);

    eglMakeCurrent(eglGetCurrentDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    {
        const ContextScope scope(ours.get());
        EXPECT_NE(eglGetCurrentContext(), EGL_NO_CONTEXT);
    }
    EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
    const ContextScope none(nullptr);
    EXPECT_FALSE(none.current());
}

TEST(EglContextGLTest, FailuresComeBackAsErrors)
{
    foundation::Error error;
    EXPECT_EQ(EglContext::create(99, 0, EglPlatform::Automatic, &error), nullptr);
    EXPECT_EQ(error.domain(), kEglErrorDomain);
    EXPECT_EQ(error.code(), static_cast<std::int64_t>(EglError::NoContext));
    EXPECT_EQ(
        error.localizedDescription().rfind("No OpenGL 99.0 compatibility context (EGL error 0x", 0),
        0U)
        << error.localizedDescription();

    ASSERT_EQ(setenv("HUECAST_EGL_PLATFORM", "wayland", 1), 0);
    const auto refused = EglContext::createHighest(EglPlatform::Automatic, &error);
    unsetenv("HUECAST_EGL_PLATFORM");
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(error.code(), static_cast<std::int64_t>(EglError::NoDisplay));
    EXPECT_EQ(error.localizedDescription(),
              "HUECAST_EGL_PLATFORM is \"wayland\"; expected \"surfaceless\" or \"device\"");
}

} // namespace
} // namespace huecast::gl
