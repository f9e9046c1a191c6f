// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// `huecast sheet` end to end: tiles in order, each graded as `render` grades, names drawn under
// them, and a look that fails drawn and reported without losing the sheet.
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "host/FrameFiles.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

namespace huecast::test
{
namespace
{

// The layout the sheet promises: 8 pixels around and between tiles, a 24-pixel name band.
constexpr std::uint32_t kGap = 8;
constexpr std::uint32_t kLabel = 24;
constexpr std::uint32_t kWidth = 32;
constexpr std::uint32_t kHeight = 16;
constexpr const char* kSteepCube =
    "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n0.2 0.4 0.6\n";

class Sheet : public testing::Test
{
protected:
    void SetUp() override
    {
        host::Frame frame(kWidth, kHeight, host::PixelType::UInt8);
        std::mt19937 random(7);
        for (std::uint32_t y = 0; y < kHeight; ++y)
        {
            auto pixels = frame.rowAs<std::uint8_t>(y);
            for (std::size_t i = 0; i < pixels.size(); ++i)
            {
                pixels[i] = i % 4 == 3 ? 255 : static_cast<std::uint8_t>(random());
            }
        }
        foundation::Error error;
        ASSERT_TRUE(host::writeFrameFile(m_frame, frame, host::FrameFileFormat(), &error));
        std::filesystem::create_directories(m_library);
        std::ofstream(m_library + "/Steep.cube") << kSteepCube;
    }

    static host::Frame read(const std::string& path)
    {
        host::Frame frame;
        host::FrameFileFormat format;
        foundation::Error error;
        EXPECT_TRUE(host::readFrameFile(path, &frame, &format, &error))
            << error.localizedDescription();
        return frame;
    }

    // Whether the sheet's tile at (column, row) holds exactly the frame's pixels.
    static bool tileHolds(const host::Frame& sheet, std::uint32_t column, std::uint32_t row,
                          const host::Frame& frame)
    {
        const std::uint32_t left = kGap + column * (kWidth + kGap);
        const std::uint32_t top = kGap + row * (kHeight + kLabel + kGap);
        for (std::uint32_t y = 0; y < kHeight; ++y)
        {
            const auto tile = sheet.rowAs<std::uint8_t>(top + y).subspan(left * 4, kWidth * 4);
            const auto pixels = frame.rowAs<std::uint8_t>(y);
            if (!std::equal(tile.begin(), tile.end(), pixels.begin()))
            {
                return false;
            }
        }
        return true;
    }

    TempDir home;
    ScopedEnv homeVariable{"HOME", home.path()};
    std::string m_library =
        home.pathOf("Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay");
    std::string m_frame = home.pathOf("frame.png");
    std::string m_sheet = home.pathOf("sheet.png");
};

TEST_F(Sheet, TilesTheUngradedFrameThenEveryLibraryLookAsRenderGradesIt)
{
    const std::string width = std::to_string(kWidth);
    ASSERT_EQ(runTool({"sheet", m_frame, "-o", m_sheet, "--width", width}).status, 0);
    ASSERT_EQ(runTool({"render", "--lut", "Steep", m_frame, "-o", home.pathOf("steep.png")}).status,
              0);
    const host::Frame sheet = read(m_sheet);
    ASSERT_EQ(sheet.width(), kGap + 2 * (kWidth + kGap));
    ASSERT_EQ(sheet.height(), kGap + kHeight + kLabel + kGap);
    EXPECT_TRUE(tileHolds(sheet, 0, 0, read(m_frame)));
    EXPECT_TRUE(tileHolds(sheet, 1, 0, read(home.pathOf("steep.png"))));
    // The name band holds drawn text: some pixel brighter than the background.
    bool text = false;
    for (std::uint32_t y = kGap + kHeight; y < kGap + kHeight + kLabel; ++y)
    {
        for (const std::uint8_t value : sheet.rowAs<std::uint8_t>(y))
        {
            text = text || value > 128;
        }
    }
    EXPECT_TRUE(text);
}

TEST_F(Sheet, ALookThatFailsIsDrawnAndReportedAndTheSheetStillWritten)
{
    const std::string broken = home.write("broken.cube", "LUT_3D_SIZE 2\n0 0\n");
    const ToolRun run =
        runTool({"sheet", m_frame, "--lut-file", broken, "--lut", "Steep", "--columns", "3",
                 "--width", std::to_string(kWidth), "-o", m_sheet},
                home.pathOf("errors"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(readFile(home.pathOf("errors")),
              "huecast: " + broken + ": Huecast Error: Malformed data Line:2\n");
    const host::Frame sheet = read(m_sheet);
    ASSERT_EQ(sheet.width(), kGap + 3 * (kWidth + kGap));
    // Named entries come before files: the broken file is the third tile, filled dark red
    // under its message.
    EXPECT_FALSE(tileHolds(sheet, 1, 0, read(m_frame)));
    const auto corner =
        sheet.rowAs<std::uint8_t>(kGap).subspan((kGap + 2 * (kWidth + kGap)) * 4, 4);
    EXPECT_EQ(std::vector<std::uint8_t>(corner.begin(), corner.end()),
              (std::vector<std::uint8_t>{89, 20, 20, 255}));

    EXPECT_EQ(runTool({"sheet", m_frame, "-o", home.pathOf("sheet.jpg")}).status, 2);
}

} // namespace
} // namespace huecast::test
