// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The overlapped frame loop of `huecast render`: order, the bound on frames in memory, and
// which failure stops a run and what stays written.
#include "tools/huecast/FramePipeline.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "host/HostError.h"

namespace huecast::test
{
namespace
{

using tool::FrameFailure;
using tool::FrameSteps;

// Frames carry their index in the first pixel; steps fail where told to.
struct FakeRun
{
    std::optional<std::size_t> failRead;
    std::optional<std::size_t> failGrade;
    std::optional<std::size_t> failWrite;
    std::optional<std::size_t> throwInGrade; // something that is no std::exception

    std::mutex mutex;
    std::vector<std::size_t> written;
    std::atomic<std::size_t> read{0};
    std::atomic<std::size_t> mostAhead{0}; // frames read but not yet written, at worst

    FrameSteps steps()
    {
        FrameSteps steps;
        steps.read = [this](std::size_t index, host::Frame* frame, host::FrameFileFormat*,
                            foundation::Error* error)
        {
            if (index == failRead)
            {
                return host::hostError(error, host::HostError::FrameUnreadable, "read");
            }
            frame->reshape(1, 1, host::PixelType::Float);
            *reinterpret_cast<float*>(frame->data()) = static_cast<float>(index);
            const std::lock_guard lock(mutex);
            read = index + 1;
            mostAhead = std::max<std::size_t>(mostAhead, read - written.size());
            return true;
        };
        steps.grade = [this](std::size_t, const host::Frame& input, host::Frame* output,
                             foundation::Error* error)
        {
            const float index = *reinterpret_cast<const float*>(input.data());
            if (failGrade && index == static_cast<float>(*failGrade))
            {
                return host::hostError(error, host::HostError::FrameNotRendered, "grade");
            }
            if (throwInGrade && index == static_cast<float>(*throwInGrade))
            {
                throw 42;
            }
            *output = input;
            return true;
        };
        steps.write = [this](std::size_t index, const host::Frame& frame,
                             const host::FrameFileFormat&, foundation::Error* error)
        {
            if (index == failWrite)
            {
                return host::hostError(error, host::HostError::FrameNotWritten, "write");
            }
            const std::lock_guard lock(mutex);
            EXPECT_EQ(*reinterpret_cast<const float*>(frame.data()), static_cast<float>(index));
            written.push_back(index);
            return true;
        };
        return steps;
    }
};

std::vector<std::size_t> upTo(std::size_t count)
{
    std::vector<std::size_t> indices(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        indices[i] = i;
    }
    return indices;
}

TEST(FramePipelineTest, WritesEveryFrameInOrderWithFewFramesInMemory)
{
    FakeRun run;
    FrameFailure failure;
    ASSERT_TRUE(tool::runFramePipeline(200, run.steps(), &failure));
    EXPECT_EQ(run.written, upTo(200));
    EXPECT_LE(run.mostAhead.load(), tool::kFramesInFlight);

    FakeRun empty;
    EXPECT_TRUE(tool::runFramePipeline(0, empty.steps(), &failure));
    EXPECT_TRUE(empty.written.empty());
}

// A run stops at its first failure as a frame-by-frame run would meet it: every frame before
// it is written, none after, whatever the worker threads had already done beyond it.
TEST(FramePipelineTest, StopsAtTheFirstFailureInFrameOrder)
{
    struct Case
    {
        std::optional<std::size_t> read, grade, write;
        std::size_t index;
        FrameFailure::Step step;
    };
    const std::vector<Case> cases = {
        {7, {}, {}, 7, FrameFailure::Step::Read},
        {{}, 0, {}, 0, FrameFailure::Step::Grade},
        {{}, {}, 12, 12, FrameFailure::Step::Write},
        // the read of frame 6 may fail first in time; the write of frame 5 comes first in order
        {6, {}, 5, 5, FrameFailure::Step::Write},
        {5, 5, 5, 5, FrameFailure::Step::Read},
        {{}, 4, 4, 4, FrameFailure::Step::Grade},
    };
    for (const Case& expected : cases)
    {
        FakeRun run;
        run.failRead = expected.read;
        run.failGrade = expected.grade;
        run.failWrite = expected.write;
        FrameFailure failure;
        EXPECT_FALSE(tool::runFramePipeline(20, run.steps(), &failure));
        EXPECT_EQ(failure.index, expected.index);
        EXPECT_EQ(failure.step, expected.step);
        EXPECT_EQ(run.written, upTo(expected.index)) << "failing frame " << expected.index;
    }

    // A throw of anything fails its frame like an error, rather than ending the process.
    FakeRun throwing;
    throwing.throwInGrade = 3;
    FrameFailure failure;
    EXPECT_FALSE(tool::runFramePipeline(10, throwing.steps(), &failure));
    EXPECT_EQ(failure.index, 3U);
    EXPECT_EQ(failure.step, FrameFailure::Step::Grade);
    EXPECT_EQ(failure.error.localizedDescription(), "The frame couldn't be processed");
}

} // namespace
} // namespace huecast::test
