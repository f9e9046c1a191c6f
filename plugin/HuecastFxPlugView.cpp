// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The "Load LUT" control: a Browse button and a one-line path display.
#include "plugin/HuecastFxPlug.h"

namespace huecast
{
namespace
{

constexpr std::int64_t kBrowseButtonTag = 1;
constexpr std::int64_t kPathDisplayTag = 2;
constexpr std::uint32_t kContainerMask = 18;   // width and height sizable
constexpr std::uint32_t kPathDisplayMask = 42; // width sizable, both vertical margins flexible

} // namespace

std::shared_ptr<kit::NSView> HuecastFxPlug::customView()
{
    auto container = std::make_shared<kit::NSView>(kit::NSRect{0, 0, 468, 32});
    container->setAutoresizingMask(kContainerMask);

    auto button = std::make_shared<kit::NSButton>(kit::NSRect{9, 6, 85, 19});
    button->setTag(kBrowseButtonTag);
    button->setTitle("Browse...");
    container->addSubview(button);

    auto field = std::make_shared<kit::NSTextField>(kit::NSRect{103, 6, 354, 19});
    field->setAutoresizingMask(kPathDisplayMask);
    field->setTag(kPathDisplayTag);
    container->addSubview(field);
    return container;
}

std::shared_ptr<kit::NSView> HuecastFxPlug::createViewForParm(std::uint32_t parmId)
{
    if (parmId != static_cast<std::uint32_t>(HuecastParameter::LoadLUT))
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
