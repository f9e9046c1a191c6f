// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The "Load LUT" control: a Browse button and a one-line path display, both drawn by the
// skinned cells.
#include "plugin/HostCallGuard.h"
#include "plugin/HuecastFxPlug.h"
#include "ui/ZRButtonCell.h"
#include "ui/ZRTextFieldCell.h"

namespace huecast
{
namespace
{

constexpr std::int64_t kBrowseButtonTag = 1;
constexpr std::int64_t kPathDisplayTag = 2;
constexpr std::uint32_t kContainerMask = 18;   // width and height sizable
constexpr std::uint32_t kPathDisplayMask = 42; // width sizable, both vertical margins flexible
// A light grey (about 192 of 255) that reads on the inspector's dark background.
constexpr double kTextWhite = 0.7542842741935484;

} // namespace

std::shared_ptr<kit::NSView> HuecastFxPlug::customView()
{
    const kit::NSColor textColour = kit::NSColor::colorWithCalibratedWhite(kTextWhite, 1.0);
    const kit::NSFont textFont =
        kit::NSFont::fontWithName("Helvetica-Light", kit::NSFont::smallSystemFontSize());

    auto container = std::make_shared<kit::NSView>(kit::NSRect{0, 0, 468, 32});
    container->setAutoresizingMask(kContainerMask);

    auto button = std::make_shared<kit::NSButton>(kit::NSRect{9, 6, 85, 19});
    button->setTag(kBrowseButtonTag);
    auto buttonCell = std::make_shared<ZRButtonCell>();
    buttonCell->setTitle("Browse...");
    buttonCell->setBezelStyle(kit::NSBezelStyle::Rounded);
    buttonCell->setControlSize(kit::NSControlSize::Small);
    buttonCell->setFont(kit::NSFont::systemFontOfSize(kit::NSFont::smallSystemFontSize()));
    button->setCell(std::move(buttonCell));
    // Restyled only now, so that it starts from the installed cell's own "Browse..." title.
    kit::NSMutableAttributedString title(button->attributedTitle());
    title.addAttribute(kit::NSForegroundColorAttributeName, textColour, {0, title.length()});
    title.addAttribute(kit::NSFontAttributeName, textFont, {0, title.length()});
    button->setAttributedTitle(title);
    container->addSubview(button);

    auto field = std::make_shared<kit::NSTextField>(kit::NSRect{103, 6, 354, 19});
    field->setAutoresizingMask(kPathDisplayMask);
    field->setTag(kPathDisplayTag);
    auto fieldCell = std::make_shared<ZRTextFieldCell>();
    fieldCell->setControlSize(kit::NSControlSize::Small);
    fieldCell->setLineBreakMode(kit::NSLineBreakMode::ByTruncatingHead);
    fieldCell->setAllowsUndo(false);
    fieldCell->setDrawsBackground(true);
    fieldCell->setUsesSingleLineMode(true);
    fieldCell->setFont(textFont);
    fieldCell->setTextColor(textColour);
    field->setCell(std::move(fieldCell));
    container->addSubview(field);
    return container;
}

std::shared_ptr<kit::NSView> HuecastFxPlug::createViewForParm(std::uint32_t parmId)
{
    return guardHostCall("createViewForParm", std::shared_ptr<kit::NSView>(),
                         [&] { return makeViewForParm(parmId); });
}

std::shared_ptr<kit::NSView> HuecastFxPlug::makeViewForParm(std::uint32_t parmId)
{
    if (parmId != parmIdOf(HuecastParameter::LoadLUT))
    {
        return nullptr;
    }
    auto view = customView();
    // The filter only looks at the newest control; the host owns it and may destroy it at any
    // time, so the references are weak.
    auto button = std::static_pointer_cast<kit::NSButton>(view->viewWithTag(kBrowseButtonTag));
    m_browseButton = button;
    m_filePathDisplay =
        std::static_pointer_cast<kit::NSTextField>(view->viewWithTag(kPathDisplayTag));
    button->setAction("selectFile:");
    button->setTarget(m_actionTarget);
    syncUI();
    return view;
}

} // namespace huecast
