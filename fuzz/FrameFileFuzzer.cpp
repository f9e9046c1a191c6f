// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Frame files as the host reads them: the header held against the file's size, then the
// common-format module. The first byte picks the format (PNG, TIFF, OpenEXR), the rest is the
// file. Whatever the bytes, the file is refused or declined, or read within its buffers, and a
// frame it read it writes back; run-all's allocation limit holds every allocation to what such
// a small file could justify. A fourth choice is a bare Exif block, as a PNG's eXIf chunk holds
// it: inside a PNG the chunk's checksum turns nearly every change to the block away.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "host/FrameFileBounds.h"
#include "host/frames/CommonFrameFileModule.h"
#include "host/frames/ExifBlock.h"

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
    if (data[0] % (kExtensions.size() + 1) == kExtensions.size())
    {
        (void)huecast::host::frames::readExifBlock({data + 1, size - 1});
        return 0;
    }
    const std::string extension = kExtensions.at(data[0] % (kExtensions.size() + 1));
    const std::string source = folder + "/frame" + extension;
    {
        std::ofstream file(source, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    const bool fits =
        fd >= 0 && huecast::host::checkDeclaredSize(
                       fd, *huecast::host::frames::familyOfName(source), size - 1, nullptr);
    if (fd >= 0)
    {
        ::close(fd);
    }
    if (!fits)
    {
        return 0;
    }
    const huecast::host::CommonFrameFileModule* module = HuecastCommonFrameFileModule();
    huecast::host::Frame frame;
    std::shared_ptr<const void> layout;
    int channels = 0;
    std::string damage;
    if (module->read(source, &frame, &layout, &channels, &damage))
    {
        const int written = channels == 2 || channels >= 4 ? 4 : 3;
        (void)module->write(source, folder + "/written" + extension, frame, layout.get(), written,
                            {});
    }
    return 0;
}
