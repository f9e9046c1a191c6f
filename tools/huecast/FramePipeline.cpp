// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/FramePipeline.h"

#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include <fmt/format.h>

#include "host/HostError.h"

namespace huecast::tool
{
namespace
{

// A frame's place in the ring; the step whose turn it is owns it, so its pixels are used
// without the lock.
struct Slot
{
    enum class State : std::uint8_t
    {
        Free,   // ready for the next frame to be read into it
        Read,   // read, waiting to be graded
        Graded, // graded, waiting to be written
    };
    host::Frame input;
    host::Frame output;
    host::FrameFileFormat format;
    State state = State::Free;
};

// The buffers the run's frames take turns in. A frame holds its read pixels only until it is
// graded and its graded ones only until they are written, so four buffers serve the frames in
// flight where a pair for each took six; and each buffer's first touch costs about as much CPU
// as grading a frame (a 1080p float frame is 33 MB of fresh pages). The buffer last given back
// is taken first, while its pages are warm.
class FramePool
{
public:
    host::Frame take()
    {
        const std::lock_guard lock(m_mutex);
        if (m_free.empty())
        {
            return {};
        }
        host::Frame frame = std::move(m_free.back());
        m_free.pop_back();
        return frame;
    }

    void give(host::Frame* frame)
    {
        const std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(*frame));
        *frame = host::Frame();
    }

private:
    std::mutex m_mutex;
    std::vector<host::Frame> m_free;
};

class Pipeline
{
public:
    Pipeline(std::size_t count, const FrameSteps& steps) : m_steps(steps), m_stopAt(count) {}

    bool run(FrameFailure* failure)
    {
        {
            const std::jthread reader([this] { readAll(); });
            const std::jthread writer([this] { writeAll(); });
            gradeAll();
        }
        if (m_failure && failure != nullptr)
        {
            *failure = std::move(*m_failure);
        }
        return !m_failure;
    }

private:
    Slot& slotOf(std::size_t index) { return m_slots[index % m_slots.size()]; }

    // Waits, with the lock held, until frame `index`'s slot is in `state` or the run stops
    // before that frame; false for the latter.
    bool waitFor(std::unique_lock<std::mutex>& lock, std::size_t index, Slot::State state)
    {
        m_changed.wait(lock, [&] { return index >= m_stopAt || slotOf(index).state == state; });
        return index < m_stopAt;
    }

    // With the lock held: hands the slot on, or keeps the failure when it comes before every
    // other (by frame, then step) and stops the run there.
    void finish(std::size_t index, Slot::State next, FrameFailure::Step step, bool done,
                foundation::Error error)
    {
        if (done)
        {
            slotOf(index).state = next;
        }
        else
        {
            if (!m_failure || std::tie(index, step) < std::tie(m_failure->index, m_failure->step))
            {
                m_failure = FrameFailure{index, step, std::move(error)};
            }
            m_stopAt = std::min(m_stopAt, index);
        }
        m_changed.notify_all();
    }

    void readAll()
    {
        runStep(Slot::State::Free, Slot::State::Read, FrameFailure::Step::Read,
                host::HostError::FrameUnreadable,
                [this](std::size_t index, Slot& slot, foundation::Error* error)
                {
                    slot.input = m_pool.take();
                    return m_steps.read(index, &slot.input, &slot.format, error);
                });
    }

    void gradeAll()
    {
        runStep(Slot::State::Read, Slot::State::Graded, FrameFailure::Step::Grade,
                host::HostError::FrameNotRendered,
                [this](std::size_t index, Slot& slot, foundation::Error* error)
                {
                    slot.output = m_pool.take();
                    const bool graded = m_steps.grade(index, slot.input, &slot.output, error);
                    m_pool.give(&slot.input);
                    return graded;
                });
    }

    void writeAll()
    {
        runStep(
            Slot::State::Graded, Slot::State::Free, FrameFailure::Step::Write,
            host::HostError::FrameNotWritten,
            [this](std::size_t index, Slot& slot, foundation::Error* error)
            {
                const bool written = m_steps.write(index, slot.output, slot.format, error);
                m_pool.give(&slot.output);
                return written;
            },
            [this](std::size_t index)
            {
                if (m_steps.written)
                {
                    m_steps.written(index + 1);
                }
            });
    }

    // One thread's part of the run, frame after frame: waits for the frame's slot to be
    // `ready`, runs the step on it without the lock, and hands the slot on as `next`, then
    // tells `afterEach`; or keeps the step's failure. Returns once the run stops before the
    // next frame.
    template <typename Body, typename After = void (*)(std::size_t)>
    void runStep(
        Slot::State ready, Slot::State next, FrameFailure::Step step, host::HostError code,
        const Body& body, const After& afterEach = [](std::size_t) {})
    {
        for (std::size_t index = 0;; ++index)
        {
            std::unique_lock lock(m_mutex);
            if (!waitFor(lock, index, ready))
            {
                return;
            }
            lock.unlock();
            foundation::Error error;
            const bool done =
                guarded(code, &error, [&] { return body(index, slotOf(index), &error); });
            lock.lock();
            finish(index, next, step, done, std::move(error));
            lock.unlock();
            if (done)
            {
                afterEach(index);
            }
        }
    }

    // Runs a step; an exception (memory running out mid-frame) fails it like any other error
    // rather than ending the process from a worker thread.
    template <typename Step>
    static bool guarded(host::HostError code, foundation::Error* error, const Step& step)
    {
        try
        {
            return step();
        }
        catch (const std::exception& exception)
        {
            return host::hostError(
                error, code, fmt::format("The frame couldn't be processed ({})", exception.what()));
        }
        catch (...)
        {
            // Whatever a library throws: a throw escaping a worker thread ends the process.
            return host::hostError(error, code, "The frame couldn't be processed");
        }
    }

    const FrameSteps& m_steps;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::array<Slot, kFramesInFlight> m_slots;
    FramePool m_pool;
    std::size_t m_stopAt; // no step starts on this frame or any after it
    std::optional<FrameFailure> m_failure;
};

} // namespace

bool runFramePipeline(std::size_t count, const FrameSteps& steps, FrameFailure* failure)
{
    Pipeline pipeline(count, steps);
    return pipeline.run(failure);
}

} // namespace huecast::tool
