// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// `huecast inspector` end to end: the control drawn through the real bundle and its skins.
#include <fstream>
#include <iterator>

#include <cairo.h>
#include <gtest/gtest.h>

#include "tests/support/Canvas.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

namespace huecast::test
{
namespace
{

struct Png
{
    explicit Png(const std::string& path)
        : surface(cairo_image_surface_create_from_png(path.c_str()))
    {
    }
    Png(const Png&) = delete;
    Png& operator=(const Png&) = delete;
    ~Png() { cairo_surface_destroy(surface); }
    [[nodiscard]] bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    [[nodiscard]] int width() const { return cairo_image_surface_get_width(surface); }
    [[nodiscard]] int height() const { return cairo_image_surface_get_height(surface); }
    [[nodiscard]] bool differs(const Png& other, int fromX, int toX) const
    {
        for (int x = fromX; x < toX; ++x)
        {
            for (int y = 0; y < height(); ++y)
            {
                if (Canvas::pixelOf(surface, x, y) != Canvas::pixelOf(other.surface, x, y))
                {
                    return true;
                }
            }
        }
        return false;
    }
    cairo_surface_t* surface;
};

std::string contents(const std::string& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(InspectorCommand, DrawsTheControlAtItsWidthWithThePressedSkinOnlyOnTheButton)
{
    TempDir folder;
    const std::string normal = folder.pathOf("normal.png");
    const std::string pressed = folder.pathOf("pressed.png");
    const std::string wide = folder.pathOf("wide.png");
    ASSERT_EQ(runTool({"inspector", "-o", normal, "--path", "/a/b.cube"}).status, 0);
    ASSERT_EQ(runTool({"inspector", "-o", pressed, "--path", "/a/b.cube", "--pressed"}).status, 0);
    ASSERT_EQ(runTool({"inspector", "-o", wide, "--width", "800", "--scale", "2"}).status, 0);

    const Png normalImage(normal);
    const Png pressedImage(pressed);
    ASSERT_TRUE(normalImage.ok() && pressedImage.ok());
    EXPECT_EQ(normalImage.width(), 468);
    EXPECT_EQ(normalImage.height(), 32);
    EXPECT_TRUE(pressedImage.differs(normalImage, 9, 94));    // the button
    EXPECT_FALSE(pressedImage.differs(normalImage, 0, 9));    // the margin
    EXPECT_FALSE(pressedImage.differs(normalImage, 94, 468)); // the field and beyond

    const Png wideImage(wide);
    ASSERT_TRUE(wideImage.ok());
    EXPECT_EQ(wideImage.width(), 1600);
    EXPECT_EQ(wideImage.height(), 64);
}

TEST(InspectorCommand, RejectsABadWidthOrAnOutputItCannotWrite)
{
    TempDir folder;
    const std::string errors = folder.pathOf("stderr");
    EXPECT_EQ(runTool({"inspector", "-o", folder.pathOf("a.png"), "--width", "50"}, errors).status,
              2);
    EXPECT_NE(contents(errors).find("--width"), std::string::npos) << contents(errors);
    EXPECT_EQ(runTool({"inspector", "-o", folder.pathOf("a.png"), "--width", "wide"}).status, 2);
    EXPECT_EQ(runTool({"inspector", "--width", "500"}).status, 2);

    const std::string missing = folder.pathOf("no/such/folder/a.png");
    EXPECT_EQ(runTool({"inspector", "-o", missing}, errors).status, 2);
    EXPECT_NE(contents(errors).find(missing), std::string::npos) << contents(errors);
    EXPECT_EQ(runTool({"inspector", "-o", folder.path()}, errors).status, 2);
    EXPECT_NE(contents(errors).find("is a folder"), std::string::npos) << contents(errors);
}

} // namespace
} // namespace huecast::test
