// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Clips made by ffmpeg, read through the clip module: every frame ffmpeg's own command line
// decodes, once, in its order and turned its way, within a code value of its RGB.
#include "host/ClipFiles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace huecast::test
{
namespace
{

struct ClipCase
{
    const char* name;
    const char* file;
    const char* encode;     // ffmpeg's arguments between the source and the clip
    bool deep = false;      // compared as rgb48, else rgb24
    const char* remux = ""; // a second pass's arguments, copying the streams
};

void makeClip(const std::string& path, const std::string& arguments)
{
    const std::string command =
        "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=64x48:rate=24 -f lavfi -i "
        "sine=r=48000 -frames:v 48 -shortest " +
        arguments + " '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

/// The clip's frames as ffmpeg decodes them: passed through with their own times, as RGB.
std::string ffmpegFrames(const std::string& clip, bool deep)
{
    const std::string raw = clip + ".raw";
    const std::string command = "ffmpeg -v error -nostdin -y -i '" + clip +
                                "' -fps_mode passthrough -f rawvideo -pix_fmt " +
                                (deep ? "rgb48le" : "rgb24") + " '" + raw + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readFile(raw);
}

/// The largest difference between a frame's RGB and ffmpeg's, in code values of its depth.
template <typename T>
int worstDifference(const host::Frame& frame, const std::string& theirs, std::size_t offset)
{
    int worst = 0;
    for (std::uint32_t y = 0; y < frame.height(); ++y)
    {
        const auto row = frame.rowAs<T>(y);
        for (std::uint32_t x = 0; x < frame.width(); ++x)
        {
            for (std::size_t c = 0; c < 3; ++c)
            {
                T value{};
                std::memcpy(&value, theirs.data() + offset, sizeof(T));
                offset += sizeof(T);
                worst = std::max(worst, std::abs(static_cast<int>(row[x * 4 + c]) - value));
            }
        }
    }
    return worst;
}

TEST(ClipFiles, GivesEveryFrameFfmpegDecodesOnceInItsOrder)
{
    const std::vector<ClipCase> cases = {
        {"h264WithBFrames", "b.mp4", "-c:v libx264 -pix_fmt yuv420p -bf 3"},
        {"mpeg4WithBFramesInAvi", "b.avi", "-c:v mpeg4 -bf 2 -q:v 4"},
        {"variableFrameRate", "vfr.mp4",
         "-vf 'setpts=if(lt(N\\,20)\\,N\\,20+(N-20)*3)/24/TB' -fps_mode passthrough "
         "-c:v libx264 -pix_fmt yuv420p"},
        {"turnedForDisplay", "turned.mp4", "-c:v libx264 -pix_fmt yuv420p", false,
         "-metadata:s:v rotate=90"},
        {"prores10BitWithSound", "prores.mov",
         "-c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le -c:a pcm_s16le", true},
        {"matroska", "take.mkv", "-c:v libx264 -pix_fmt yuv444p", false},
    };
    const TempDir folder;
    for (const ClipCase& clip : cases)
    {
        SCOPED_TRACE(clip.name);
        const std::string path = folder.pathOf(clip.file);
        makeClip(path, clip.encode);
        if (*clip.remux != '\0')
        {
            const std::string command = "ffmpeg -v error -nostdin -y -i '" + path + "' -c copy " +
                                        clip.remux + " '" + path + ".mp4' && mv '" + path +
                                        ".mp4' '" + path + "'";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
        const std::string theirs = ffmpegFrames(path, clip.deep);
        foundation::Error error;
        const auto reader = host::ClipReader::open(path, &error);
        ASSERT_TRUE(reader) << error.localizedDescription();
        host::Frame frame;
        host::FrameFileFormat format;
        std::size_t offset = 0;
        for (long index = 0; index < reader->frameCount(); ++index)
        {
            ASSERT_TRUE(reader->readFrame(index, &frame, &format, &error))
                << index << ": " << error.localizedDescription();
            EXPECT_EQ(frame.type(), clip.deep ? host::PixelType::UInt16 : host::PixelType::UInt8);
            const std::size_t bytes =
                std::size_t{frame.width()} * frame.height() * 3 * (clip.deep ? 2 : 1);
            ASSERT_LE(offset + bytes, theirs.size()) << "more frames than ffmpeg's " << index;
            const int worst = clip.deep ? worstDifference<std::uint16_t>(frame, theirs, offset)
                                        : worstDifference<std::uint8_t>(frame, theirs, offset);
            EXPECT_LE(worst, 1) << "frame " << index + 1;
            offset += bytes;
        }
        EXPECT_EQ(offset, theirs.size()) << "fewer frames than ffmpeg's";
        if (std::string(clip.name) == "turnedForDisplay")
        {
            EXPECT_EQ(frame.width(), 48U); // as players show it
        }
    }
}

TEST(ClipFiles, ADamagedPacketFailsItsFrame)
{
    const TempDir folder;
    const std::string path = folder.pathOf("damaged.mp4");
    makeClip(path, "-an -c:v libx264 -pix_fmt yuv420p -g 12");
    std::string bytes = readFile(path);
    // Garbage over the middle of the file: inside the packets of frames in the middle.
    std::fill_n(bytes.begin() + static_cast<long>(bytes.size() / 2), 64, '\xAA');
    folder.write("damaged.mp4", bytes);
    foundation::Error error;
    const auto reader = host::ClipReader::open(path, &error);
    ASSERT_TRUE(reader) << error.localizedDescription();
    host::Frame frame;
    long index = 0;
    while (index < reader->frameCount() && reader->readFrame(index, &frame, nullptr, &error))
    {
        ++index;
    }
    ASSERT_LT(index, reader->frameCount()) << "every frame read";
    EXPECT_GT(index, 0);
    EXPECT_EQ(error.localizedDescription().rfind("Its frame " + std::to_string(index + 1), 0), 0U)
        << error.localizedDescription();
}

} // namespace
} // namespace huecast::test
