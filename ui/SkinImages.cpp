// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "ui/SkinImages.h"

#include <string>

#include "platform/kit/NSBundle.h"

namespace huecast
{

SkinImages SkinImages::load(std::string_view prefix)
{
    // Any function of this module lies in the same bundle as the filter class.
    const auto bundle =
        kit::NSBundle::bundleContainingAddress(reinterpret_cast<const void*>(&SkinImages::load));
    const auto image = [&](std::string_view piece) -> std::shared_ptr<kit::NSImage>
    {
        if (!bundle)
        {
            return nullptr;
        }
        const std::string path =
            bundle->pathForResource(std::string(prefix) + std::string(piece), "png");
        return path.empty() ? nullptr : kit::NSImage::initWithContentsOfFile(path);
    };
    return {image("StartCap"), image("CenterFill"), image("EndCap")};
}

void SkinImages::draw(kit::NSRect frame) const
{
    kit::NSDrawThreePartImage(frame, startCap.get(), centerFill.get(), endCap.get(),
                              /*vertical=*/false, kit::NSCompositingOperation::SourceOver,
                              /*alphaFraction=*/1.0, /*flipped=*/true);
}

} // namespace huecast
