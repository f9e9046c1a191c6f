// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <sys/wait.h>

#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

// `huecast check` end to end: the built tool on small files, its stdout and its exit status.
namespace huecast
{
namespace
{

using Json = nlohmann::json;

using test::runTool;
using test::ToolRun;

Json runJson(std::vector<std::string> files, int expectedStatus)
{
    files.insert(files.begin(), {"check", "--json"});
    const ToolRun run = runTool(files);
    EXPECT_EQ(run.status, expectedStatus) << run.out;
    return Json::parse(run.out, nullptr, false);
}

std::string sha256OfFloats(const std::vector<float>& floats)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(floats.data(), floats.size() * sizeof(float), digest.data(), &length, EVP_sha256(),
               nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i)
    {
        hex += fmt::format("{:02x}", digest[i]);
    }
    return hex;
}

class CheckCommand : public testing::Test
{
protected:
    const std::string m_entries = "0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n0.5 0.25 2\n";
    test::TempDir m_dir;
    std::string m_plain = m_dir.write("Plain.cube", "LUT_3D_SIZE 2\n" + m_entries);
    std::string m_domain = m_dir.write(
        "With Domain.cube", "DOMAIN_MIN -0.5 0 0\nDOMAIN_MAX 1 2 3\nLUT_3D_SIZE 2\n" + m_entries);
    std::string m_bad = m_dir.write("Bad.cube", "TITLE x\nLUT_3D_SIZE 2\n0 0\n");
};

TEST_F(CheckCommand, JsonDescribesEachGoodFileInArgumentOrder)
{
    const Json result = runJson({m_domain, m_plain}, 0);
    ASSERT_TRUE(result.is_array() && result.size() == 2U) << result;
    const std::string sha = sha256OfFloats(
        {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1, 0.5F, 0.25F, 2});
    EXPECT_EQ(result[0], (Json{{"file", m_domain},
                               {"ok", true},
                               {"size", 2},
                               {"sha256", sha},
                               {"domainMin", {-0.5, 0.0, 0.0}},
                               {"domainMax", {1.0, 2.0, 3.0}}}));
    EXPECT_EQ(result[1], (Json{{"file", m_plain}, {"ok", true}, {"size", 2}, {"sha256", sha}}));
}

TEST_F(CheckCommand, JsonDescribesFailuresAndExitsWithOne)
{
    const std::string missing = m_dir.pathOf("Missing.cube");
    const std::string latin1 = m_dir.write("Latin1.cube", "TITLE \"Caf\xE9\"\n");
    const Json result = runJson({m_plain, m_bad, missing, latin1}, 1);
    ASSERT_TRUE(result.is_array() && result.size() == 4U) << result;
    EXPECT_EQ(result[0]["ok"], true);
    EXPECT_EQ(result[1], (Json{{"file", m_bad},
                               {"ok", false},
                               {"domain", "PrismorDomain"},
                               {"code", 105},
                               {"message", "Malformed data Line:3"}}));
    EXPECT_EQ(result[2], (Json{{"file", missing},
                               {"ok", false},
                               {"domain", "PrismorDomain"},
                               {"code", 107},
                               {"message", "File doesn't exist"}}));
    EXPECT_EQ(result[3]["ok"], false);
    EXPECT_EQ(result[3]["domain"], "HuecastFileErrorDomain");
    EXPECT_EQ(result[3]["code"], 1001);
    EXPECT_NE(result[3]["message"].get<std::string>().find(latin1), std::string::npos);
}

TEST_F(CheckCommand, PlainOutputIsOneLineAFile)
{
    const ToolRun run = runTool({"check", m_plain, m_domain, m_bad});
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end = 0; (end = run.out.find('\n', start)) != std::string::npos;
         start = end + 1)
    {
        lines.push_back(run.out.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 3U) << run.out;
    EXPECT_TRUE(lines[0].starts_with(m_plain + ": ")) << lines[0];
    EXPECT_NE(lines[0].find("edge 2, 8 entries"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("domain"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("-0.5 0 0"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("1 2 3"), std::string::npos) << lines[1];
    EXPECT_TRUE(lines[2].starts_with(m_bad + ": ")) << lines[2];
    EXPECT_TRUE(lines[2].ends_with("Malformed data Line:3")) << lines[2];
    EXPECT_EQ(runTool({"check", m_plain}).status, 0);
}

TEST_F(CheckCommand, WarnsWithLineNumbersAndHintsAtOtherFormats)
{
    const std::string comma =
        m_dir.write("Comma.cube", "LUT_3D_SIZE 1\nLUT_1D_INPUT_RANGE 0 1\n0,5 0,5 0,5\n");
    const std::string other = m_dir.write("look.3dl", "0 512 1023\n0 0 0\n");
    const ToolRun plain = runTool({"check", comma, other});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out, comma + ": 3D LUT, edge 1, 1 entries\n" + comma +
                             ":2: warning: unknown keyword \"LUT_1D_INPUT_RANGE\": the line is "
                             "ignored\n" +
                             comma +
                             ":3: warning: \"0,5 0,5 0,5\" reads as 0 0 0: characters after a "
                             "number are ignored (a decimal comma? .cube files take a point)\n" +
                             other + ": error: Data length in file does not match declared size\n" +
                             other +
                             ":1: warning: the file has no LUT_3D_SIZE line, so its data has "
                             "nowhere to go\n" +
                             other + ": hint: Huecast reads .cube files, not .3dl files\n");

    const Json result = runJson({comma}, 0);
    ASSERT_EQ(result.size(), 1U);
    EXPECT_EQ(result[0]["warnings"].size(), 2U);
    EXPECT_EQ(result[0]["warnings"][1],
              (Json{{"line", 3},
                    {"message", "\"0,5 0,5 0,5\" reads as 0 0 0: characters after a number are "
                                "ignored (a decimal comma? .cube files take a point)"}}));
    EXPECT_FALSE(runJson({m_plain}, 0)[0].contains("warnings"));
}

TEST_F(CheckCommand, HostileNamesAreEscapedOnTheTerminalAndKeptWholeInJson)
{
    const std::string evil = m_dir.write("Evil\x1b[2J\nName\xc2\x9b.cube", "LUT_3D_SIZE 2\n0 0\n");
    const std::string latin1 = m_dir.write("Caf\xe9.cube", "LUT_3D_SIZE 2\n" + m_entries);
    const ToolRun plain = runTool({"check", evil, latin1});
    EXPECT_EQ(plain.out, m_dir.path() +
                             "/Evil\\x1b[2J\\x0aName\\xc2\\x9b.cube: error: Malformed data "
                             "Line:2\n" +
                             m_dir.path() + "/Caf\\xe9.cube: 3D LUT, edge 2, 8 entries\n");

    const Json result = runJson({latin1}, 0);
    ASSERT_EQ(result.size(), 1U);
    std::string encoded(4 * ((latin1.size() + 2) / 3), '\0');
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                    reinterpret_cast<const unsigned char*>(latin1.data()),
                    static_cast<int>(latin1.size()));
    EXPECT_EQ(result[0]["fileBase64"], encoded);

    // A library name with a newline is one entry of `list`, not two.
    const test::ScopedEnv home("HOME", m_dir.path());
    const std::string library =
        m_dir.pathOf("Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay");
    std::filesystem::create_directories(library);
    std::ofstream(library + "/Two\nLines.cube") << "LUT_3D_SIZE 2\n";
    EXPECT_EQ(runTool({"list"}).out, "No LUT\nExternal File\nTwo\\x0aLines\n");
}

TEST_F(CheckCommand, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"check"},
                                               {"check", "--json"},
                                               {"nonsense"},
                                               {"check", "--no-such-flag", m_plain}})
    {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 2) << fmt::format("{}", fmt::join(arguments, " "));
        EXPECT_EQ(run.out.find("\"ok\""), std::string::npos);
    }
}

} // namespace
} // namespace huecast
