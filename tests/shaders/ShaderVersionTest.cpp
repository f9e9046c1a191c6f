// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <string>

#include <gtest/gtest.h>

#include "shaders/ShaderLoader.h"

namespace huecast
{
namespace
{

constexpr const char* kGLMessage = "Invalid GL Version Format!\n";
constexpr const char* kGLSLMessage = "Invalid GLSL Version Format!\n";

struct VersionCase
{
    const char* name;
    const char* version;
    const char* extensions;
    const char* shadingLanguage;
    int glMajor;
    int glMinor;
    int glslMajor;
    int glslMinor;
    // Everything the GLSL probe writes to stderr, the GL probe's message included.
    std::string stderrText;
};

class ShaderVersion : public testing::TestWithParam<VersionCase>
{
};

TEST_P(ShaderVersion, ParsesLikeTheProbes)
{
    const VersionCase& c = GetParam();
    int major = -1;
    int minor = -1;
    testing::internal::CaptureStderr();
    parseGLVersion(c.version, &major, &minor);
    const std::string glText = testing::internal::GetCapturedStderr();
    EXPECT_EQ(major, c.glMajor);
    EXPECT_EQ(minor, c.glMinor);
    EXPECT_EQ(glText, c.glMajor == 0 && c.glMinor == 0 ? kGLMessage : "");

    major = -1;
    minor = -1;
    testing::internal::CaptureStderr();
    parseGLSLVersion(c.version, c.extensions, c.shadingLanguage, &major, &minor);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.stderrText);
    EXPECT_EQ(major, c.glslMajor);
    EXPECT_EQ(minor, c.glslMinor);
}

constexpr const char* kShadingLanguage100 = "GL_ARB_multitexture GL_ARB_shading_language_100";

INSTANTIATE_TEST_SUITE_P(
    Strings, ShaderVersion,
    testing::Values(
        VersionCase{"MesaWithRelease", "2.1 Mesa 22.3.6", nullptr, "1.20", 2, 1, 1, 20, ""},
        VersionCase{"CompatibilityProfile", "4.5 (Compatibility Profile) Mesa 22.3.6", nullptr,
                    "4.50", 4, 5, 4, 50, ""},
        VersionCase{"VendorSuffixes", "4.6.0 NVIDIA 535.54.03", nullptr, "4.60 NVIDIA", 4, 6, 4, 60,
                    ""},
        VersionCase{"LeadingBlanksAndSign", " 3.+0", nullptr, "\t1.30", 3, 0, 1, 30, ""},
        VersionCase{"GL1WithShadingLanguage", "1.5", kShadingLanguage100, nullptr, 1, 5, 1, 0, ""},
        VersionCase{"GL1WithLongerExtensionName", "1.5 Vendor",
                    "GL_ARB_shading_language_100_and_more", nullptr, 1, 5, 1, 0, ""},
        VersionCase{"GL1WithoutShadingLanguage", "1.5", "GL_ARB_multitexture", "1.10", 1, 5, 0, 0,
                    ""},
        VersionCase{"GL1WithoutExtensions", "1.4", nullptr, "1.10", 1, 4, 0, 0, ""},
        VersionCase{"GL0", "0.9", kShadingLanguage100, "1.10", 0, 9, 0, 0, ""},
        VersionCase{"SingleNumber", "3", kShadingLanguage100, "3.30", 0, 0, 0, 0, kGLMessage},
        VersionCase{"NoPointAfterMajor", "2 .1", nullptr, "1.20", 0, 0, 0, 0, kGLMessage},
        VersionCase{"NoGLString", nullptr, nullptr, "1.20", 0, 0, 0, 0, kGLMessage},
        VersionCase{"OpenGLES", "OpenGL ES 3.2 Mesa", nullptr, "1.20", 0, 0, 0, 0, kGLMessage},
        VersionCase{"MajorBeyondInt", "99999999999.1", nullptr, "1.20", 0, 0, 0, 0, kGLMessage},
        VersionCase{"UnreadableShadingLanguage", "2.1", nullptr, "GLSL 1.20", 2, 1, 0, 0,
                    kGLSLMessage},
        VersionCase{"ShadingLanguageWithoutMinor", "3.0", nullptr, "1", 3, 0, 0, 0, kGLSLMessage},
        VersionCase{"NoShadingLanguageString", "2.0", nullptr, nullptr, 2, 0, 0, 0, kGLSLMessage}),
    [](const testing::TestParamInfo<VersionCase>& param) { return std::string(param.param.name); });

} // namespace
} // namespace huecast
