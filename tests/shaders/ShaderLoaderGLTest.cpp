// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <syslog.h>

#include "platform/gl/EglContext.h"
#include "shaders/ShaderLoader.h"
#include "shaders/StoredShaders.h"
#include "tests/shaders/TestShaderSources.h"

namespace huecast
{
namespace
{

GLint programValue(GLuint program, GLenum name)
{
    GLint value = 0;
    glGetProgramiv(program, name, &value);
    return value;
}

GLint shaderValue(GLuint shader, GLenum name)
{
    GLint value = 0;
    glGetShaderiv(shader, name, &value);
    return value;
}

std::vector<GLuint> attachedShaders(GLuint program)
{
    std::vector<GLuint> shaders(8, 0);
    GLsizei count = 0;
    glGetAttachedShaders(program, static_cast<GLsizei>(shaders.size()), &count, shaders.data());
    shaders.resize(static_cast<std::size_t>(count));
    return shaders;
}

std::size_t occurrences(const std::string& text, const std::string& word)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
    {
        ++count;
    }
    return count;
}

// Copies what goes to the system log onto stderr while it runs, and hands back that text.
class SystemLogCapture
{
public:
    SystemLogCapture()
    {
        openlog("huecast-test", LOG_PERROR, LOG_USER);
        testing::internal::CaptureStderr();
    }
    std::string finish()
    {
        std::string text = testing::internal::GetCapturedStderr();
        closelog();
        return text;
    }
};

class ShaderLoaderGLTest : public testing::Test
{
protected:
    void SetUp() override
    {
        foundation::Error error;
        m_context = gl::EglContext::create(2, 1, gl::EglPlatform::Automatic, &error);
        ASSERT_NE(m_context, nullptr) << error.localizedDescription();
    }
    void TearDown() override
    {
        if (m_slot != 0)
        {
            glDeleteProgram(m_slot);
        }
    }

    std::unique_ptr<gl::EglContext> m_context;
    GLuint m_slot = 0;
};

TEST_F(ShaderLoaderGLTest, ProbesReadTheCurrentContextSilently)
{
    int major = -1;
    int minor = -1;
    int glslMajor = -1;
    int glslMinor = -1;
    testing::internal::CaptureStderr();
    getGLVersion(&major, &minor);
    getGLSLVersion(&glslMajor, &glslMinor);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(major * 10 + minor, epoxy_gl_version());
    EXPECT_EQ(glslMajor * 100 + glslMinor, epoxy_glsl_version());
}

TEST_F(ShaderLoaderGLTest, InitEmptiesTheSlotOnlyWhenTheContextHasGlsl)
{
    m_slot = glCreateProgram();
    const GLuint program = m_slot;

    int glslMajor = -1;
    int glslMinor = -1;
    parseGLSLVersion("1.5 Vendor", "GL_ARB_multitexture", nullptr, &glslMajor, &glslMinor);
    EXPECT_FALSE(resetProgramSlot(&m_slot, glslMajor));
    EXPECT_EQ(m_slot, program);
    EXPECT_TRUE(glIsProgram(program));

    EXPECT_TRUE(GLSL_Init(&m_slot));
    EXPECT_EQ(m_slot, 0U);
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_TRUE(GLSL_Init(&m_slot));
    EXPECT_EQ(m_slot, 0U);
}

TEST_F(ShaderLoaderGLTest, FirstStageMakesTheProgramAndEachStageIsAttachedThenFlaggedForDeletion)
{
    ASSERT_TRUE(GLSL_Init(&m_slot));
    ASSERT_TRUE(GLSL_LoadVertexShader(&m_slot, vsh));
    const GLuint program = m_slot;
    ASSERT_NE(program, 0U);
    ASSERT_EQ(attachedShaders(program).size(), 1U);

    ASSERT_TRUE(GLSL_LoadFragmentShader(&m_slot, fsh));
    EXPECT_EQ(m_slot, program);
    const std::vector<GLuint> shaders = attachedShaders(program);
    ASSERT_EQ(shaders.size(), 2U);
    EXPECT_EQ(shaderValue(shaders[0], GL_SHADER_TYPE) + shaderValue(shaders[1], GL_SHADER_TYPE),
              GL_VERTEX_SHADER + GL_FRAGMENT_SHADER);
    for (const GLuint shader : shaders)
    {
        EXPECT_EQ(shaderValue(shader, GL_DELETE_STATUS), GL_TRUE);
    }

    ASSERT_TRUE(GLSL_LinkShaderProgram(&m_slot));
    EXPECT_EQ(m_slot, program);
    EXPECT_EQ(programValue(program, GL_LINK_STATUS), GL_TRUE);

    // Flagged shaders go with their program.
    glDeleteProgram(m_slot);
    m_slot = 0;
    for (const GLuint shader : shaders)
    {
        EXPECT_FALSE(glIsShader(shader));
    }
}

TEST_F(ShaderLoaderGLTest, NullSourcesAttachNothingButStillMakeTheProgram)
{
    ASSERT_TRUE(GLSL_LoadVertexShader(&m_slot, nullptr));
    ASSERT_NE(m_slot, 0U);
    EXPECT_TRUE(glIsProgram(m_slot));
    EXPECT_TRUE(attachedShaders(m_slot).empty());
    ASSERT_TRUE(GLSL_LoadFragmentShader(&m_slot, fsh));
    EXPECT_EQ(attachedShaders(m_slot).size(), 1U);
    // A compatibility context runs the fixed-function vertex stage.
    EXPECT_TRUE(GLSL_LinkShaderProgram(&m_slot));

    GLuint empty = 0;
    ASSERT_TRUE(GLSL_LoadVertexShader(&empty, nullptr));
    const GLuint program = empty;
    ASSERT_TRUE(GLSL_LoadFragmentShader(&empty, nullptr));
    EXPECT_EQ(empty, program);
    EXPECT_TRUE(attachedShaders(empty).empty());
    // The driver's link status decides; the slot follows it.
    const bool linked = GLSL_LinkShaderProgram(&empty);
    EXPECT_EQ(linked, empty != 0);
    EXPECT_EQ(linked, static_cast<bool>(glIsProgram(program)));
    glDeleteProgram(empty);
}

TEST_F(ShaderLoaderGLTest, EmptySourceIsCompiledAsEmptyText)
{
    ASSERT_TRUE(GLSL_LoadVertexShader(&m_slot, vsh));
    // The driver's compile status decides (Mesa refuses an empty text); either way GL saw it.
    SystemLogCapture log;
    const bool compiled = GLSL_LoadFragmentShader(&m_slot, "");
    const std::string text = log.finish();
    EXPECT_EQ(attachedShaders(m_slot).size(), compiled ? 2U : 1U);
    EXPECT_EQ(text.find("Compile Log: ") != std::string::npos, !compiled) << text;
}

TEST_F(ShaderLoaderGLTest, VertexFailureLeavesTheSlotEmptyAndLogsNothing)
{
    SystemLogCapture log;
    EXPECT_FALSE(GLSL_LoadVertexShader(&m_slot, test::brokenVertex));
    EXPECT_EQ(m_slot, 0U);
    // Text that does not descramble to ASCII is refused before GL sees it.
    EXPECT_FALSE(GLSL_LoadVertexShader(&m_slot, "\xc3\xa9"));
    EXPECT_FALSE(GLSL_LoadFragmentShader(&m_slot, "\xc3\xa9"));
    EXPECT_EQ(m_slot, 0U);
    EXPECT_EQ(log.finish(), "");
}

TEST_F(ShaderLoaderGLTest, FragmentFailureLogsOnceAndLeavesTheVertexStagesProgramUnlinked)
{
    ASSERT_TRUE(GLSL_LoadVertexShader(&m_slot, vsh));
    const GLuint program = m_slot;

    SystemLogCapture log;
    EXPECT_FALSE(GLSL_LoadFragmentShader(&m_slot, test::brokenFragment));
    const std::string text = log.finish();

    EXPECT_EQ(m_slot, program);
    EXPECT_TRUE(glIsProgram(program));
    EXPECT_EQ(attachedShaders(program).size(), 1U);
    EXPECT_EQ(programValue(program, GL_LINK_STATUS), GL_FALSE);
    EXPECT_EQ(text.rfind("huecast-test: Compile Log: ", 0), 0U) << text;
    EXPECT_EQ(occurrences(text, "Compile Log: "), 1U) << text;
    EXPECT_NE(text.find("error"), std::string::npos) << text;
}

TEST_F(ShaderLoaderGLTest, LinkFailureDeletesTheProgramAndEmptiesTheSlot)
{
    const auto expectLinkFailure = [this](const char* vertex, const char* fragment)
    {
        ASSERT_TRUE(GLSL_LoadVertexShader(&m_slot, vsh));
        ASSERT_TRUE(GLSL_LoadVertexShader(&m_slot, vertex));
        ASSERT_TRUE(GLSL_LoadFragmentShader(&m_slot, fragment));
        const GLuint program = m_slot;
        EXPECT_FALSE(GLSL_LinkShaderProgram(&m_slot));
        EXPECT_EQ(m_slot, 0U);
        EXPECT_FALSE(glIsProgram(program));
    };
    // A function declared and never defined fails only at the link.
    expectLinkFailure(nullptr, test::undefinedCallFragment);
    // Two vertex stages, each with its own main.
    expectLinkFailure(vsh, fsh);

    EXPECT_FALSE(GLSL_LinkShaderProgram(&m_slot));
    EXPECT_EQ(m_slot, 0U);
}

} // namespace
} // namespace huecast
