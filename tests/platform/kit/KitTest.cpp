// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/kit/NSAttributedString.h"
#include "platform/kit/NSImage.h"
#include "platform/kit/NSView.h"
#include "platform/kit/ViewRendering.h"
#include "tests/support/Canvas.h"
#include "tests/support/TestSupport.h"

namespace huecast::test
{
namespace
{

using kit::NSRect;

TEST(NSView, SharesASizeChangeEvenlyAmongTheFlexibleParts)
{
    kit::NSView container(NSRect{0, 0, 100, 50});
    auto fixed = std::make_shared<kit::NSView>(NSRect{10, 10, 20, 20});
    auto widthAndRight = std::make_shared<kit::NSView>(NSRect{10, 10, 20, 20});
    widthAndRight->setAutoresizingMask(2 | 4);
    auto verticalMargins = std::make_shared<kit::NSView>(NSRect{10, 4, 20, 19});
    verticalMargins->setAutoresizingMask(8 | 32);
    container.addSubview(fixed);
    container.addSubview(widthAndRight);
    container.addSubview(verticalMargins);

    container.setFrame({0, 0, 110, 60});
    EXPECT_EQ(fixed->frame(), (NSRect{10, 10, 20, 20}));
    EXPECT_EQ(widthAndRight->frame(), (NSRect{10, 10, 25, 20}));
    EXPECT_EQ(verticalMargins->frame(), (NSRect{10, 9, 20, 19}));

    // Shrinking past zero leaves an empty view, never a negative size.
    container.setFrame({0, 0, 40, 60});
    EXPECT_EQ(widthAndRight->frame().width, 0);
}

TEST(NSMutableAttributedString, AddAttributeSetsOneNameOverItsRangeOnly)
{
    const kit::NSColor red{1, 0, 0, 1};
    const kit::NSFont font = kit::NSFont::systemFontOfSize(11);
    kit::NSMutableAttributedString text(
        kit::NSAttributedString("Browse...", {{std::string(kit::NSFontAttributeName), font}}));
    text.addAttribute(kit::NSForegroundColorAttributeName, red, {2, 3});

    kit::NSRange range;
    kit::NSAttributes attributes = text.attributesAtIndex(0, &range);
    EXPECT_EQ(range, (kit::NSRange{0, 2}));
    EXPECT_EQ(attributes.size(), 1U);
    attributes = text.attributesAtIndex(3, &range);
    EXPECT_EQ(range, (kit::NSRange{2, 3}));
    EXPECT_EQ(*kit::attributeOf<kit::NSColor>(attributes, kit::NSForegroundColorAttributeName),
              red);
    EXPECT_EQ(*kit::attributeOf<kit::NSFont>(attributes, kit::NSFontAttributeName), font);

    // Over the whole length the stretches join again.
    text.addAttribute(kit::NSForegroundColorAttributeName, red, {0, text.length()});
    (void)text.attributesAtIndex(8, &range);
    EXPECT_EQ(range, (kit::NSRange{0, 9}));
}

TEST(NSFont, AMissingFamilyFallsBackToTheSansSerifFaceKeepingItsWeight)
{
    const kit::NSFont font = kit::NSFont::fontWithName("NoSuchFamilyAnywhere-Light", 11);
    EXPECT_EQ(font.fontName(), "NoSuchFamilyAnywhere-Light");
    EXPECT_EQ(font.familyName(), "sans-serif");
    EXPECT_EQ(font.weight(), 300);
    EXPECT_EQ(font.pointSize(), 11);
    EXPECT_EQ(kit::NSFont::fontWithName("DejaVu Sans-ExtraLightOblique", 9).familyName(),
              "DejaVu Sans");
}

// Three solid pieces: red start cap 3 wide, green fill, blue end cap 5 wide; each 4 high with
// a white top row, to tell the orientation.
class ThreePart : public testing::Test
{
protected:
    void SetUp() override
    {
        start = piece("start", 3, 0xFFFF0000);
        fill = piece("fill", 1, 0xFF00FF00);
        end = piece("end", 5, 0xFF0000FF);
        ASSERT_TRUE(start && fill && end);
    }

    std::shared_ptr<kit::NSImage> piece(const std::string& name, int width, std::uint32_t argb)
    {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, 4);
        cairo_t* cairo = cairo_create(surface);
        const auto channel = [&](int shift) { return ((argb >> shift) & 0xFF) / 255.0; };
        cairo_set_source_rgb(cairo, channel(16), channel(8), channel(0));
        cairo_paint(cairo);
        cairo_set_source_rgb(cairo, 1, 1, 1);
        cairo_rectangle(cairo, 0, 0, width, 1);
        cairo_fill(cairo);
        cairo_destroy(cairo);
        const std::string path = folder.pathOf(name + ".png");
        cairo_surface_write_to_png(surface, path.c_str());
        cairo_surface_destroy(surface);
        return kit::NSImage::initWithContentsOfFile(path);
    }

    void draw(Canvas& canvas, NSRect frame, bool flipped)
    {
        const kit::NSGraphicsContext::Scope current(canvas.context());
        kit::NSDrawThreePartImage(frame, start.get(), fill.get(), end.get(), false,
                                  kit::NSCompositingOperation::SourceOver, 1.0, flipped);
    }

    TempDir folder;
    std::shared_ptr<kit::NSImage> start;
    std::shared_ptr<kit::NSImage> fill;
    std::shared_ptr<kit::NSImage> end;
};

TEST_F(ThreePart, CapsKeepTheirWidthsAtTheEdgesAndThePiecesLeaveNoGap)
{
    for (const int width : {8, 9, 20, 57})
    {
        Canvas canvas(width + 4, 12);
        draw(canvas, {2, 0, double(width), 12}, true);
        for (int x = 0; x < width + 4; ++x)
        {
            const std::uint32_t colour = canvas.pixel(x, 6);
            const std::uint32_t expected = x < 2 || x >= width + 2 ? 0U
                                           : x < 5                 ? 0xFFFF0000U
                                           : x >= width - 3        ? 0xFF0000FFU
                                                                   : 0xFF00FF00U;
            EXPECT_EQ(colour, expected) << "width " << width << " x " << x;
        }
    }
    // A frame off the pixel grid still leaves no pixel between the pieces uncovered.
    Canvas canvas(40, 12);
    draw(canvas, {0.4, 0, 33.3, 12}, true);
    for (int x = 1; x < 33; ++x)
    {
        EXPECT_EQ(canvas.pixel(x, 6) >> 24, 0xFFU) << x;
    }
}

TEST_F(ThreePart, FlippedPutsTheImagesTopRowAtTheSmallerY)
{
    Canvas flipped(20, 12);
    draw(flipped, {0, 0, 20, 12}, true);
    EXPECT_EQ(flipped.pixel(10, 0), 0xFFFFFFFFU);
    EXPECT_EQ(flipped.pixel(10, 11), 0xFF00FF00U);
    Canvas upright(20, 12);
    draw(upright, {0, 0, 20, 12}, false);
    EXPECT_EQ(upright.pixel(10, 0), 0xFF00FF00U);
    EXPECT_EQ(upright.pixel(10, 11), 0xFFFFFFFFU);
}

TEST(ViewRendering, ReportsAFileThatCannotBeWrittenOrAnUnusableScale)
{
    kit::NSView view(NSRect{0, 0, 10, 10});
    std::string failure;
    EXPECT_FALSE(kit::writeViewToPNG(view, "/nonexistent-folder/x.png", {}, &failure));
    EXPECT_NE(failure.find("/nonexistent-folder/x.png"), std::string::npos) << failure;
    EXPECT_FALSE(kit::writeViewToPNG(view, "/tmp/x.png", {.scale = 0, .background = {}}, &failure));
    EXPECT_NE(failure.find("scale"), std::string::npos) << failure;
    EXPECT_EQ(kit::NSImage::initWithContentsOfFile("/nonexistent-folder/x.png"), nullptr);
}

} // namespace
} // namespace huecast::test
