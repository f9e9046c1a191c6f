// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "cube/ZRCubeReader.h"
#include "tests/cube/CubeTestSupport.h"
#include "tests/support/TestSupport.h"

// Real .cube files from other tools (tests/data/corpus/SOURCES.md) and what the reader makes of
// each: the edge and the SHA-256 of the lattice bytes, or the error. The digests match an
// independent parse of the files into 32-bit floats; the first and last entries of several files
// match OpenColorIO's ociochecklut at (0, 0, 0) and (1, 1, 1), and ociochecklut also stops at
// line 5 of colour_resolve_eotf_srgb_8.
namespace huecast
{
namespace
{

struct CorpusCase
{
    const char* name;
    std::int64_t edge; // 0 for a file the reader refuses
    const char* sha256;
    std::int64_t code;
    const char* message;

    friend void PrintTo(const CorpusCase& testCase, std::ostream* out) { *out << testCase.name; }
};

CorpusCase good(const char* name, std::int64_t edge, const char* sha256)
{
    return {name, edge, sha256, 0, ""};
}

CorpusCase refused(const char* name, std::int64_t code, const char* message)
{
    return {name, 0, "", code, message};
}

std::string sha256Hex(const foundation::Bytes& bytes)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i)
    {
        hex += fmt::format("{:02x}", digest[i]);
    }
    return hex;
}

class Corpus : public testing::TestWithParam<CorpusCase>
{
};

TEST_P(Corpus, ReadsAsPinned)
{
    const CorpusCase& expected = GetParam();
    foundation::Error error;
    const auto cube = ZRCubeReader::cubeFromFile(
        std::string(HUECAST_TEST_DATA "/corpus/") + expected.name + ".cube", &error);
    if (expected.edge == 0)
    {
        EXPECT_EQ(cube, nullptr);
        EXPECT_EQ(error.domain(), "PrismorDomain");
        EXPECT_EQ(error.code(), expected.code);
        EXPECT_EQ(error.localizedDescription(), expected.message);
        return;
    }
    ASSERT_NE(cube, nullptr) << error.localizedDescription();
    EXPECT_EQ(cube->cubeSize(), expected.edge);
    const foundation::Bytes& lattice = *test::entryOf(*cube, kCubeDataKey).bytes();
    ASSERT_EQ(lattice.size(),
              static_cast<std::size_t>(expected.edge * expected.edge * expected.edge * 12));
    EXPECT_EQ(sha256Hex(lattice), expected.sha256);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Corpus,
    testing::Values(good("3dlutkit_contrast_17", 17,
                         "32746dbe6186df36e76debc6110ef6122e658335825528039a0932c6f84d39b9"),
                    refused("colour_aces_proxy10_to_aces_1d32", 100, "1D LUTS are not supported"),
                    good("colour_foundry_colour_correct_4", 4,
                         "2d862cb3597146f73bc28351a436a98b4f1541fd23e78310ca7e1082b5981ae2"),
                    refused("colour_iridas_demo_1d", 100, "1D LUTS are not supported"),
                    good("colour_iridas_eotf_srgb_8_domain", 8,
                         "d1c406a60e48c78ac2545fdd86bb36387b0b13706f3b4d1daa27cdf127cd0585"),
                    good("colour_iridas_three_dimensional_table_2", 2,
                         "5713954589b472eb81bef9fc1b6b2f1c6ca7b83ca65b7848f615522e8b6e31cb"),
                    refused("colour_resolve_3d_with_shaper", 100, "1D LUTS are not supported"),
                    refused("colour_resolve_demo_1d_input_range", 100, "1D LUTS are not supported"),
                    refused("colour_resolve_eotf_srgb_8", 105, "Malformed data Line:5"),
                    refused("colour_resolve_logc_video_shaper", 100, "1D LUTS are not supported"),
                    good("cubelutloader_resolve_17_crlf", 17,
                         "b55588122af29b049421bf546179cd449254a762d21eb83c111b09df191e512f"),
                    good("google_hlg_bt2020_to_bt709_33", 33,
                         "e089de770ee710cb0ce65c84b7149f41cc6dc4d8af5bc073d8bec5fabd69722e"),
                    refused("ocio_test_iridas_1d", 100, "1D LUTS are not supported"),
                    good("ocio_test_iridas_3d_2", 2,
                         "011f9061e706792e41b0f276114a34187e7c75fa51ef65e5cb5f1e2c5cc800f3"),
                    refused("ocio_test_resolve_1d3d", 100, "1D LUTS are not supported"),
                    good("openshot_bare_teal_orange_16_neg", 16,
                         "3fa86b98ddce4460d2e3849e3897eb4bda2ee2866d0403dcdb3e364b37d8c06e"),
                    good("openshot_bare_valentine_pop_16", 16,
                         "2b72e195b3afc9d0144daf1fdf024daa2f9d6f5fa5c869063d2c984a077243e1"),
                    good("openshot_colorfinale_cold_shadows_33", 33,
                         "cafae77b9a1ace049cac3e885ac8f95a9aa4b00043b11cbc3ea55e96a8b3b4ef"),
                    good("openshot_mfahri_vintage_400_25", 25,
                         "9387d9f253a7cc353d21f7ec7e7a73b9923dcf9867c395855ab5333ac14ed906"),
                    good("openshot_photon_golden_years_33", 33,
                         "05058ec073fc38b787624346b998f7303c5ce788e738a8bf38e4beb4c61c69ce"),
                    good("openshot_photon_noir_era_33", 33,
                         "a4f9d8d3e8ca674759f45dee4aa27d9a4c5148f920ad3018ec343437a406d273"),
                    good("openshot_photoshop_retro_red_shadows_32", 32,
                         "06148a1bc74f08ba437350080806622509a96a86f10a6034b76edb63a7a028d4"),
                    good("openshot_photoshop_sunset_orange_32_utf8", 32,
                         "217641fd5d902e3fad58013125eb793bcd29265cf1d4c69f44997407b498d1eb"),
                    good("openshot_resolve_bold_red_cinema_33", 33,
                         "bf8d4fa5290727dba3f5d5e82427fc57efb41f59d5f308e4394c90bd2fbd6de9"),
                    good("openshot_resolve_city_night_film_33_sci", 33,
                         "b4869dd5980920be16a08a41671a49ec51499aaf2cc7f697ff2687cf044a3855"),
                    good("openshot_sparklestock_city_neon_32", 32,
                         "3ddf4933c617243c57ba1954a5275d2fb183bb38cdea3c657ed2840c80d76b90"),
                    good("openshot_vegas_moonlight_orange_33", 33,
                         "998905fa91eb9d489a70520eedc3ec7d4983304a31da5fba8d98266ab463dfab")),
    test::NameOfCase());

} // namespace
} // namespace huecast
