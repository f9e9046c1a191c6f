// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The skinned cells, drawn into memory. The test executable's folder holds a copy of the skin
// images in resources/, the way the bundle does, so the cells find them beside their code.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/kit/NSBundle.h"
#include "platform/kit/NSControl.h"
#include "tests/support/Canvas.h"
#include "ui/ZRButtonCell.h"
#include "ui/ZRTextFieldCell.h"

namespace huecast::test
{
namespace
{

constexpr int kHeight = 19;
constexpr int kCapWidth = 6; // the generator's cap width

std::shared_ptr<kit::NSImage> skinImage(const std::string& name)
{
    static const auto bundle =
        kit::NSBundle::bundleContainingAddress(reinterpret_cast<const void*>(&skinImage));
    return kit::NSImage::initWithContentsOfFile(bundle->pathForResource(name, "png"));
}

std::shared_ptr<kit::NSTextField> field(int width, const std::string& text)
{
    auto view = std::make_shared<kit::NSTextField>(kit::NSRect{0, 0, double(width), kHeight});
    auto cell = std::make_shared<ZRTextFieldCell>();
    cell->setTextColor(kit::NSColor{1, 1, 1, 1});
    cell->setFont(kit::NSFont::systemFontOfSize(11));
    cell->setLineBreakMode(kit::NSLineBreakMode::ByTruncatingHead);
    cell->setStringValue(text);
    view->setCell(cell);
    return view;
}

TEST(ZRTextFieldCell, TextAttributesHoldTheFontOnlyWhenTheCellHasOne)
{
    ZRTextFieldCell cell;
    cell.setFont(std::nullopt);
    cell.setTextColor(kit::NSColor::colorWithCalibratedWhite(0.5, 1));
    cell.setAlignment(kit::NSTextAlignment::Center);
    cell.setBaseWritingDirection(kit::NSWritingDirection::RightToLeft);
    cell.setLineBreakMode(kit::NSLineBreakMode::ByTruncatingHead);
    kit::NSAttributes attributes = cell.textAttributes();
    EXPECT_EQ(attributes.size(), 2U);
    const auto* colour =
        kit::attributeOf<kit::NSColor>(attributes, kit::NSForegroundColorAttributeName);
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(*colour, kit::NSColor::colorWithCalibratedWhite(0.5, 1));
    const auto* style =
        kit::attributeOf<kit::NSParagraphStyle>(attributes, kit::NSParagraphStyleAttributeName);
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(style->alignment, kit::NSTextAlignment::Center);
    EXPECT_EQ(style->baseWritingDirection, kit::NSWritingDirection::RightToLeft);
    EXPECT_EQ(style->lineBreakMode, kit::NSLineBreakMode::ByTruncatingHead);

    const kit::NSFont font = kit::NSFont::fontWithName("Helvetica-Light", 11);
    cell.setFont(font);
    attributes = cell.textAttributes();
    EXPECT_EQ(attributes.size(), 3U);
    const auto* entered = kit::attributeOf<kit::NSFont>(attributes, kit::NSFontAttributeName);
    ASSERT_NE(entered, nullptr);
    EXPECT_EQ(*entered, font);
}

TEST(ZRTextFieldCell, CapsSitAtTheFramesEdgesAtTheirOwnWidthsForAnyWidth)
{
    const auto start = skinImage("TextFieldStartCap");
    const auto fill = skinImage("TextFieldCenterFill");
    const auto end = skinImage("TextFieldEndCap");
    ASSERT_TRUE(start && fill && end);
    for (const int width : {13, 40, 354, 455})
    {
        Canvas canvas(width, kHeight);
        canvas.draw(*field(width, ""));
        for (int x = 0; x < kCapWidth; ++x)
        {
            EXPECT_TRUE(canvas.columnMatches(x, *start, x)) << width << " start column " << x;
            EXPECT_TRUE(canvas.columnMatches(width - kCapWidth + x, *end, x))
                << width << " end column " << x;
        }
        for (int x = kCapWidth; x < width - kCapWidth; ++x)
        {
            EXPECT_TRUE(canvas.columnMatches(x, *fill, 0)) << width << " fill column " << x;
        }
    }
}

TEST(ZRTextFieldCell, AnEmptyStringDrawsTheSkinAloneAndTextStartsAtTheLeftEdge)
{
    Canvas empty(200, kHeight);
    empty.draw(*field(200, ""));
    Canvas skinOnly(200, kHeight);
    {
        const kit::NSGraphicsContext::Scope current(skinOnly.context());
        kit::NSDrawThreePartImage({0, 0, 200, kHeight}, skinImage("TextFieldStartCap").get(),
                                  skinImage("TextFieldCenterFill").get(),
                                  skinImage("TextFieldEndCap").get(), false,
                                  kit::NSCompositingOperation::SourceOver, 1.0, true);
    }
    EXPECT_FALSE(empty.columnsDiffer(skinOnly, 0, 200));

    // No inset: a full block's ink begins in the frame's first columns, over the start cap.
    Canvas text(200, kHeight);
    text.draw(*field(200, "\u2588\u2588"));
    EXPECT_TRUE(text.columnsDiffer(empty, 0, 2));
}

TEST(ZRTextFieldCell, ATooLongStringKeepsItsEndBehindALeadingEllipsis)
{
    // Full blocks first, then a tail of bars: a head cut shows dots, then blocks, then the bars.
    std::string text;
    for (int i = 0; i < 100; ++i)
    {
        text += "\u2588";
    }
    text += "||||";
    constexpr int kWidth = 120;
    Canvas empty(kWidth, kHeight);
    empty.draw(*field(kWidth, ""));
    Canvas drawn(kWidth, kHeight);
    drawn.draw(*field(kWidth, text));
    const auto inkedRows = [&](int x)
    {
        int rows = 0;
        for (int y = 0; y < kHeight; ++y)
        {
            rows += drawn.pixel(x, y) != empty.pixel(x, y) ? 1 : 0;
        }
        return rows;
    };
    // The ellipsis: low dots at the left, far fewer inked rows than a block.
    int leftInk = 0;
    for (int x = 0; x < 8; ++x)
    {
        leftInk = std::max(leftInk, inkedRows(x));
    }
    EXPECT_GT(leftInk, 0);
    EXPECT_LE(leftInk, 4);
    EXPECT_GE(inkedRows(kWidth / 2), 10); // blocks in the middle
    // The bars at the right end: thin strokes with gaps between them.
    int gaps = 0;
    for (int x = kWidth - 14; x < kWidth; ++x)
    {
        gaps += inkedRows(x) == 0 ? 1 : 0;
    }
    EXPECT_GT(gaps, 3);
}

TEST(ZRButtonCell, PressedDrawsTheSelectedSkinAndReleasedTheNormalOneAgain)
{
    auto button = std::make_shared<kit::NSButton>(kit::NSRect{0, 0, 85, kHeight});
    auto cell = std::make_shared<ZRButtonCell>();
    cell->setTitle("");
    button->setCell(cell);
    const auto render = [&]
    {
        auto canvas = std::make_unique<Canvas>(85, kHeight);
        canvas->draw(*button);
        return canvas;
    };
    const auto normal = render();
    button->setHighlighted(true);
    const auto pressed = render();
    button->setHighlighted(false);
    const auto released = render();

    const auto normalStart = skinImage("ButtonStartCap");
    const auto pressedStart = skinImage("ButtonSelectedStartCap");
    ASSERT_TRUE(normalStart && pressedStart);
    for (int x = 0; x < kCapWidth; ++x)
    {
        EXPECT_TRUE(normal->columnMatches(x, *normalStart, x)) << x;
        EXPECT_TRUE(pressed->columnMatches(x, *pressedStart, x)) << x;
    }
    EXPECT_TRUE(pressed->columnsDiffer(*normal, kCapWidth, 85 - kCapWidth));
    EXPECT_FALSE(released->columnsDiffer(*normal, 0, 85));
}

} // namespace
} // namespace huecast::test
