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
#include <string_view>

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

// DWA stores an 8×8 block of one colour in a few bytes, so a small OpenEXR file may stand for a
// frame 2^16 times its size: the host allows that, but the allocation limit can't tell it from
// a header asking for more than its bytes justify. DWA files are fuzzed up to 2 kB, where the
// frames they justify stay under the limit.
bool isLargeDwaFile(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kLongestDwaFile = 2048;
    constexpr std::string_view kAttribute("compression\0compression\0\x01\0\0\0", 28);
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t at = bytes.find(kAttribute);
    return size > kLongestDwaFile && at != std::string_view::npos &&
           at + kAttribute.size() < size &&
           (data[at + kAttribute.size()] == 8 || data[at + kAttribute.size()] == 9);
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
    if (extension == ".exr" && isLargeDwaFile(data + 1, size - 1))
    {
        return 0;
    }
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
    std::shared_ptr<const huecast::host::StoredFrameLayout> layout;
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
