// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "shaders/ShaderLoader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <syslog.h>

#include "shaders/SourceScrambling.h"

namespace huecast
{
namespace
{

constexpr std::string_view kInvalidGLVersion = "Invalid GL Version Format!\n";
constexpr std::string_view kInvalidGLSLVersion = "Invalid GLSL Version Format!\n";
constexpr const char* kShadingLanguageExtension = "GL_ARB_shading_language_100";

void complain(std::string_view message)
{
    std::fwrite(message.data(), 1, message.size(), stderr);
}

const char* glString(GLenum name)
{
    return reinterpret_cast<const char*>(glGetString(name));
}

bool isScanfSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d" conversion as sscanf makes it: blanks, an optional sign, then at least one digit.
// A number beyond int's range is unreadable here rather than undefined.
std::optional<int> scanInt(std::string_view& rest)
{
    std::size_t pos = 0;
    while (pos < rest.size() && isScanfSpace(rest[pos]))
    {
        ++pos;
    }
    const bool negative = pos < rest.size() && rest[pos] == '-';
    if (pos < rest.size() && (rest[pos] == '-' || rest[pos] == '+'))
    {
        ++pos;
    }
    const char* first = rest.data() + pos;
    const char* last = rest.data() + rest.size();
    if (first == last || *first < '0' || *first > '9')
    {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, code] = std::from_chars(first, last, value);
    value = negative ? -value : value;
    if (code != std::errc() || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max())
    {
        return std::nullopt;
    }
    rest = std::string_view(end, static_cast<std::size_t>(last - end));
    return static_cast<int>(value);
}

// "%d.%d": both numbers, or nothing. What follows the minor number is ignored.
bool scanVersion(const char* text, int* major, int* minor)
{
    if (text == nullptr)
    {
        return false;
    }
    std::string_view rest(text);
    const std::optional<int> first = scanInt(rest);
    if (!first || rest.empty() || rest.front() != '.')
    {
        return false;
    }
    rest.remove_prefix(1);
    const std::optional<int> second = scanInt(rest);
    if (!second)
    {
        return false;
    }
    *major = *first;
    *minor = *second;
    return true;
}

void glslVersionFor(int glMajor, const char* extensions, const char* shadingLanguageVersion,
                    int* major, int* minor)
{
    *major = 0;
    *minor = 0;
    if (glMajor == 1)
    {
        // A plain substring search, as the probe has always made it: a longer name that starts
        // with the extension's name counts too.
        if (extensions != nullptr && std::strstr(extensions, kShadingLanguageExtension) != nullptr)
        {
            *major = 1;
        }
        return;
    }
    if (glMajor >= 2 && !scanVersion(shadingLanguageVersion, major, minor))
    {
        *major = 0;
        *minor = 0;
        complain(kInvalidGLSLVersion);
    }
}

void logCompileFailure(GLuint shader)
{
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    // A length of 1 is the terminator alone: there is nothing to say.
    if (length > 1)
    {
        std::vector<char> log(static_cast<std::size_t>(length) + 1, '\0');
        glGetShaderInfoLog(shader, length, nullptr, log.data());
        syslog(LOG_ERR, "Compile Log: %s", log.data());
    }
}

bool compileStage(GLuint shader, const char* source, const char* defines, GLenum type)
{
    std::string text(source);
    scrambleSource(text);
    // The descrambled text goes to GL as ASCII. Anything else is not a source this loader
    // stored, and is refused like a stage that does not compile.
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
    {
        return false;
    }
    const std::array<const char*, 2> texts = {defines, text.c_str()};
    glShaderSource(shader, 2, texts.data(), nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_FALSE && type == GL_FRAGMENT_SHADER)
    {
        logCompileFailure(shader);
    }
    return status != GL_FALSE;
}

bool loadStage(GLuint* programObject, const char* source, const char* defines, GLenum type)
{
    GLuint shader = 0;
    if (source != nullptr)
    {
        shader = glCreateShader(type);
        if (!compileStage(shader, source, defines, type))
        {
            if (shader != 0)
            {
                glDeleteShader(shader);
            }
            return false;
        }
    }
    // The program is made by the first stage that gets here, and only once it compiled.
    if (*programObject == 0)
    {
        *programObject = glCreateProgram();
    }
    if (shader != 0)
    {
        // The program keeps the shader alive; deleting it now frees it with the program.
        glAttachShader(*programObject, shader);
        glDeleteShader(shader);
    }
    return true;
}

} // namespace

void parseGLVersion(const char* versionString, int* major, int* minor)
{
    if (!scanVersion(versionString, major, minor))
    {
        *major = 0;
        *minor = 0;
        complain(kInvalidGLVersion);
    }
}

void parseGLSLVersion(const char* versionString, const char* extensions,
                      const char* shadingLanguageVersion, int* major, int* minor)
{
    int glMajor = 0;
    int glMinor = 0;
    parseGLVersion(versionString, &glMajor, &glMinor);
    glslVersionFor(glMajor, extensions, shadingLanguageVersion, major, minor);
}

void getGLVersion(int* major, int* minor)
{
    parseGLVersion(glString(GL_VERSION), major, minor);
}

void getGLSLVersion(int* major, int* minor)
{
    int glMajor = 0;
    int glMinor = 0;
    getGLVersion(&glMajor, &glMinor);
    // Each string is read only when its answer is needed.
    glslVersionFor(glMajor, glMajor == 1 ? glString(GL_EXTENSIONS) : nullptr,
                   glMajor >= 2 ? glString(GL_SHADING_LANGUAGE_VERSION) : nullptr, major, minor);
}

bool resetProgramSlot(GLuint* programObject, int glslMajor)
{
    if (glslMajor <= 0)
    {
        return false;
    }
    if (*programObject != 0)
    {
        glDeleteProgram(*programObject);
        *programObject = 0;
    }
    return true;
}

bool GLSL_Init(GLuint* programObject)
{
    int major = 0;
    int minor = 0;
    getGLSLVersion(&major, &minor);
    return resetProgramSlot(programObject, major);
}

bool GLSL_LoadVertexShader(GLuint* programObject, const char* source)
{
    return loadStage(programObject, source, "", GL_VERTEX_SHADER);
}

bool GLSL_LoadFragmentShader(GLuint* programObject, const char* source)
{
    return loadStage(programObject, source, "", GL_FRAGMENT_SHADER);
}

bool GLSL_LoadFragmentShaderVariant(GLuint* programObject, const char* source, const char* defines)
{
    return loadStage(programObject, source, defines != nullptr ? defines : "", GL_FRAGMENT_SHADER);
}

bool GLSL_LinkShaderProgram(GLuint* programObject)
{
    glLinkProgram(*programObject);
    GLint status = GL_FALSE;
    glGetProgramiv(*programObject, GL_LINK_STATUS, &status);
    if (status != GL_FALSE)
    {
        return true;
    }
    // A failed link deletes the program and empties the slot.
    glDeleteProgram(*programObject);
    *programObject = 0;
    return false;
}

} // namespace huecast
