// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Frame files through the common-format module: the first byte picks the format (PNG, TIFF,
// OpenEXR), the rest is the file. Whatever the bytes, the module declines the file or reads it
// within its buffers, and a frame it read it writes back.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "host/frames/CommonFrameFileModule.h"

namespace
{

std::string workFolder()
{
    std::string folder = "/tmp/huecast-frame-fuzz-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr)
    {
        std::abort();
    }
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string folder = workFolder();
    static constexpr std::array<const char*, 3> kExtensions = {".png", ".tif", ".exr"};
    if (size < 1)
    {
        return 0;
    }
    const std::string extension = kExtensions.at(data[0] % kExtensions.size());
    const std::string source = folder + "/frame" + extension;
    {
        std::ofstream file(source, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const huecast::host::CommonFrameFileModule* module = HuecastCommonFrameFileModule();
    huecast::host::Frame frame;
    std::shared_ptr<const void> layout;
    int channels = 0;
    if (module->read(source, &frame, &layout, &channels))
    {
        const int written = channels == 2 || channels >= 4 ? 4 : 3;
        (void)module->write(source, folder + "/written" + extension, frame, layout.get(), written,
                            {});
    }
    return 0;
}
