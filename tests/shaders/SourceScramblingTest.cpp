// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "shaders/SourceScrambling.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "platform/foundation/Text.h"
#include "shaders/StoredShaders.h"

namespace huecast
{
namespace
{

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SourceScrambling, XorsEachByteWithTheKeyByteOfItsIndexAndUndoesItself)
{
    const std::string text = "a lattice of colours\n";
    const std::string scrambled = scrambledSource(text);
    ASSERT_EQ(scrambled.size(), text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        EXPECT_EQ(static_cast<std::uint8_t>(scrambled[i]),
                  static_cast<std::uint8_t>(text[i]) ^ kSourceKey[i % 4])
            << "byte " << i;
    }
    EXPECT_EQ(scrambledSource(scrambled), text);
    EXPECT_EQ(scrambledSource(""), "");
}

// Each stored array is its GLSL file scrambled from key byte 0, with no zero byte before the
// terminator and valid UTF-8 throughout.
TEST(SourceScrambling, StoredSourcesAreTheirFilesEachScrambledFromKeyByteZero)
{
    const std::filesystem::path dir = std::filesystem::path(HUECAST_SOURCE_DIR) / "shaders";
    const std::array<std::pair<const char*, const char*>, 2> sources = {
        {{vsh, "vsh.glsl"}, {fsh, "fsh.glsl"}}};
    for (const auto& [stored, file] : sources)
    {
        const std::string plain = readFile(dir / file);
        ASSERT_FALSE(plain.empty()) << file;
        const std::string_view bytes(stored); // up to the first zero byte
        EXPECT_EQ(bytes.size(), plain.size()) << file;
        EXPECT_TRUE(foundation::isValidUtf8(bytes)) << file;
        EXPECT_EQ(scrambledSource(bytes), plain) << file;
    }
}

class ScrambleShadersTool : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::path(testing::TempDir()) / "huecast-scramble-test";
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // Runs the generator on one file holding `text`; returns its exit status and its stderr.
    std::pair<int, std::string> run(const std::string& text)
    {
        const auto input = m_dir / "stage.glsl";
        std::ofstream(input, std::ios::binary) << text;
        const std::string command =
            std::string(HUECAST_SCRAMBLER) + " " + (m_dir / "out.cpp").string() +
            " some/Header.h ns stage=" + input.string() + " 2>" + (m_dir / "err.txt").string();
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(m_dir / "err.txt")};
    }

    std::filesystem::path m_dir;
};

TEST_F(ScrambleShadersTool, FailsTheBuildForSourcesTheLoaderCouldNotTakeBack)
{
    const std::string prefix = "ScrambleShaders: " + (m_dir / "stage.glsl").string();

    // Byte 5 scrambles with key byte 1, line 2.
    std::string keyByte = "a;\nb;x";
    keyByte[5] = static_cast<char>(kSourceKey[1]);
    EXPECT_EQ(run(keyByte), std::pair(1, prefix + ":2: byte 5 scrambles to a zero byte\n"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out.cpp"));

    EXPECT_EQ(run("// caf\xc3\xa9\n"), std::pair(1, prefix + ":1: byte 6 is not 7-bit ASCII\n"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out.cpp"));

    EXPECT_EQ(run("float f;\n"), std::pair(0, std::string()));
    const std::string generated = readFile(m_dir / "out.cpp");
    EXPECT_NE(generated.find("#include \"some/Header.h\""), std::string::npos);
    EXPECT_NE(generated.find("const char stage[] = {"), std::string::npos);
    EXPECT_EQ(generated.find("float f"), std::string::npos);
}

} // namespace
} // namespace huecast
