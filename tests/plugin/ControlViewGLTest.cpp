// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The "Load LUT" control as the filter builds it: geometry, resizing, cells and references.
#include "tests/plugin/FilterFixture.h"
#include "ui/ZRButtonCell.h"
#include "ui/ZRTextFieldCell.h"

namespace huecast::test
{
namespace
{

using kit::NSRect;

class ControlView : public FilterFixture
{
};

TEST_F(ControlView, LaysOutTheButtonAndFieldAndResizesOnlyTheField)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto view = filter->createViewForParm(kLoadLUT);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frame(), (NSRect{0, 0, 468, 32}));
    EXPECT_EQ(view->autoresizingMask(), 18U);
    ASSERT_EQ(view->subviews().size(), 2U);
    const auto& button = view->subviews()[0];
    const auto& field = view->subviews()[1];
    EXPECT_EQ(button->tag(), 1);
    EXPECT_EQ(button->frame(), (NSRect{9, 6, 85, 19}));
    EXPECT_EQ(button->autoresizingMask(), 0U);
    EXPECT_EQ(field->tag(), 2);
    EXPECT_EQ(field->frame(), (NSRect{103, 6, 354, 19}));
    EXPECT_EQ(field->autoresizingMask(), 42U);

    view->setFrame({0, 0, 568, 32});
    EXPECT_EQ(button->frame(), (NSRect{9, 6, 85, 19}));
    EXPECT_EQ(field->frame(), (NSRect{103, 6, 454, 19}));
    // Taller: the field keeps its height and the margins above and below share the rest.
    view->setFrame({0, 0, 568, 52});
    EXPECT_EQ(button->frame(), (NSRect{9, 6, 85, 19}));
    EXPECT_EQ(field->frame(), (NSRect{103, 16, 454, 19}));
}

TEST_F(ControlView, ConfiguresTheSkinnedCellsAndRestylesTheTitle)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto view = filter->createViewForParm(kLoadLUT);
    const auto button = filter->browseButton();
    const auto field = filter->filePathDisplay();
    ASSERT_TRUE(button && field);
    const kit::NSColor grey = kit::NSColor::colorWithCalibratedWhite(0.7542842741935484, 1.0);
    const kit::NSFont light = kit::NSFont::fontWithName("Helvetica-Light", 11);

    const auto* buttonCell = dynamic_cast<const ZRButtonCell*>(&button->cell());
    ASSERT_NE(buttonCell, nullptr);
    EXPECT_EQ(buttonCell->title(), "Browse...");
    EXPECT_EQ(buttonCell->bezelStyle(), kit::NSBezelStyle::Rounded);
    EXPECT_EQ(buttonCell->controlSize(), kit::NSControlSize::Small);
    EXPECT_EQ(buttonCell->font(), kit::NSFont::systemFontOfSize(11));
    const kit::NSAttributedString title = buttonCell->attributedTitle();
    ASSERT_EQ(title.string(), "Browse...");
    kit::NSRange range;
    const kit::NSAttributes attributes = title.attributesAtIndex(0, &range);
    EXPECT_EQ(range, (kit::NSRange{0, 9}));
    EXPECT_EQ(*kit::attributeOf<kit::NSColor>(attributes, kit::NSForegroundColorAttributeName),
              grey);
    EXPECT_EQ(*kit::attributeOf<kit::NSFont>(attributes, kit::NSFontAttributeName), light);
    EXPECT_EQ(button->action(), "selectFile:");

    const auto* fieldCell = dynamic_cast<const ZRTextFieldCell*>(&field->cell());
    ASSERT_NE(fieldCell, nullptr);
    EXPECT_EQ(fieldCell->controlSize(), kit::NSControlSize::Small);
    EXPECT_EQ(fieldCell->lineBreakMode(), kit::NSLineBreakMode::ByTruncatingHead);
    EXPECT_FALSE(fieldCell->allowsUndo());
    EXPECT_TRUE(fieldCell->drawsBackground());
    EXPECT_TRUE(fieldCell->usesSingleLineMode());
    EXPECT_EQ(fieldCell->font(), light);
    EXPECT_EQ(fieldCell->textColor(), grey);
}

TEST_F(ControlView, OtherIdsLeaveTheReferencesToTheNewestControl)
{
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto view = filter->createViewForParm(kLoadLUT);
    const auto button = filter->browseButton();
    const auto field = filter->filePathDisplay();
    for (const std::uint32_t id : {0U, 1U, 2U, 4U})
    {
        EXPECT_EQ(filter->createViewForParm(id), nullptr) << id;
        EXPECT_EQ(filter->browseButton(), button) << id;
        EXPECT_EQ(filter->filePathDisplay(), field) << id;
    }
}

TEST_F(ControlView, EachControlsClickReachesSelectFile)
{
    const std::string path = home.write("a.cube", smallCube());
    host::ParameterStore parameters;
    auto filter = makeFilter(parameters);
    const auto first = filter->createViewForParm(kLoadLUT);
    const auto second = filter->createViewForParm(kLoadLUT);
    ASSERT_NE(first, second);
    presenter->answers = {"", path};
    std::static_pointer_cast<kit::NSButton>(first->viewWithTag(1))->performClick();
    EXPECT_EQ(presenter->panels.size(), 1U);
    std::static_pointer_cast<kit::NSButton>(second->viewWithTag(1))->performClick();
    ASSERT_EQ(presenter->panels.size(), 2U);
    EXPECT_EQ(presenter->panels[1].allowedFileTypes, std::vector<std::string>{"cube"});
    // selectFile: ran syncUI, which writes into the newest field only.
    EXPECT_EQ(std::static_pointer_cast<kit::NSTextField>(second->viewWithTag(2))->stringValue(),
              path);
    EXPECT_EQ(std::static_pointer_cast<kit::NSTextField>(first->viewWithTag(2))->stringValue(), "");
}

} // namespace
} // namespace huecast::test
