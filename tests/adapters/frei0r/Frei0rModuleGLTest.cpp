// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright Huecast contributors
//
// The built frei0r module through its C entry points, as a host loads it: instances on several
// threads at once, instances handed between threads, and every way a LUT can fail to load.
#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <epoxy/egl.h>
#include <gtest/gtest.h>

// The header declares its entry points without C linkage.
extern "C"
{
#include <frei0r.h>
}

#include "platform/gl/EglContext.h"
#include "tests/support/TestSupport.h"

namespace huecast::test
{
namespace
{

constexpr unsigned kWidth = 64;
constexpr unsigned kHeight = 48;
using Pixels = std::vector<std::uint32_t>;

// The module's entry points, looked up as a host looks them up.
struct Module
{
    Module()
    {
        handle = dlopen(HUECAST_FREI0R_MODULE, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
        {
            return;
        }
        init = reinterpret_cast<decltype(init)>(dlsym(handle, "f0r_init"));
        construct = reinterpret_cast<decltype(construct)>(dlsym(handle, "f0r_construct"));
        destruct = reinterpret_cast<decltype(destruct)>(dlsym(handle, "f0r_destruct"));
        set = reinterpret_cast<decltype(set)>(dlsym(handle, "f0r_set_param_value"));
        get = reinterpret_cast<decltype(get)>(dlsym(handle, "f0r_get_param_value"));
        update = reinterpret_cast<decltype(update)>(dlsym(handle, "f0r_update"));
    }
    ~Module()
    {
        if (handle != nullptr)
        {
            dlclose(handle);
        }
    }

    void setString(f0r_instance_t instance, int index, const std::string& value) const
    {
        std::string copy = value;
        f0r_param_string text = copy.data();
        set(instance, &text, index);
    }
    void setDouble(f0r_instance_t instance, int index, double value) const
    {
        f0r_param_double number = value;
        set(instance, &number, index);
    }

    void* handle = nullptr;
    decltype(&f0r_init) init = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_set_param_value) set = nullptr;
    decltype(&f0r_get_param_value) get = nullptr;
    decltype(&f0r_update) update = nullptr;
};

// Every channel of every pixel differs from its neighbours', alpha included.
Pixels testFrame(unsigned seed)
{
    Pixels frame(std::size_t{kWidth} * kHeight);
    for (std::size_t i = 0; i < frame.size(); ++i)
    {
        frame[i] =
            static_cast<std::uint32_t>((i * 2654435761U + std::size_t{seed} * 97U) ^ (i << 7U));
    }
    return frame;
}

std::string sampleLut(const char* name)
{
    return std::string(HUECAST_SOURCE_DIR "/samples/luts/") + name + ".cube";
}

class Frei0rModule : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(module.handle, nullptr) << dlerror();
        ASSERT_NE(module.update, nullptr);
        ASSERT_EQ(module.init(), 1);
    }

    // The frames graded by one instance with the LUT (and the controls), on the calling thread.
    [[nodiscard]] Pixels graded(const std::string& lut, unsigned seed,
                                const std::string& interpolation = "", double amount = 1.0) const
    {
        f0r_instance_t instance = module.construct(kWidth, kHeight);
        module.setString(instance, 0, lut);
        module.setString(instance, 2, interpolation);
        module.setDouble(instance, 3, amount);
        const Pixels input = testFrame(seed);
        Pixels output(input.size());
        module.update(instance, 0.0, input.data(), output.data());
        module.destruct(instance);
        return output;
    }

    Module module;
};

// Instances on several threads at once each grade with their own LUT, exactly as one instance
// alone does; one more instance is handed from thread to thread between frames. Each call gives
// the thread back the context it had: none, or the caller's own.
TEST_F(Frei0rModule, InstancesOnSeveralThreadsGradeWithTheirOwnLut)
{
    const std::array<std::string, 3> luts = {sampleLut("Warm"), sampleLut("Cool"),
                                             sampleLut("HighContrast")};
    std::array<Pixels, 3> expected;
    for (std::size_t i = 0; i < luts.size(); ++i)
    {
        expected[i] = graded(luts[i], 1);
        EXPECT_NE(expected[i], testFrame(1)) << luts[i];
    }
    EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);

    constexpr int kFrames = 4;
    constexpr int kThreadsPerLut = 2;
    std::atomic<int> mismatches = 0;
    std::atomic<int> contextsLeftCurrent = 0;
    std::vector<std::thread> threads;
    threads.reserve(kThreadsPerLut * luts.size());
    for (int t = 0; t < kThreadsPerLut * static_cast<int>(luts.size()); ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                const auto lut = static_cast<std::size_t>(t) % luts.size();
                f0r_instance_t instance = module.construct(kWidth, kHeight);
                module.setString(instance, 0, luts[lut]);
                const Pixels input = testFrame(1);
                Pixels output(input.size());
                for (int frame = 0; frame < kFrames; ++frame)
                {
                    module.update(instance, frame / 25.0, input.data(), output.data());
                    mismatches += output != expected[lut] ? 1 : 0;
                    contextsLeftCurrent += eglGetCurrentContext() != EGL_NO_CONTEXT ? 1 : 0;
                }
                module.destruct(instance);
            });
    }

    // One instance, its calls one at a time but each on a new thread, in place.
    f0r_instance_t handed = module.construct(kWidth, kHeight);
    for (int frame = 0; frame < kFrames; ++frame)
    {
        std::thread(
            [&]
            {
                module.setString(handed, 0, luts[0]);
                Pixels pixels = testFrame(1);
                module.update(handed, 0.0, pixels.data(), pixels.data());
                mismatches += pixels != expected[0] ? 1 : 0;
            })
            .join();
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(contextsLeftCurrent, 0);

    // A caller with a context of its own has it current again after each call.
    foundation::Error error;
    auto own = gl::EglContext::createHighest(gl::EglPlatform::Automatic, &error);
    ASSERT_TRUE(own) << error.localizedDescription();
    const EGLContext before = eglGetCurrentContext();
    Pixels pixels = testFrame(1);
    module.update(handed, 0.0, pixels.data(), pixels.data());
    EXPECT_EQ(pixels, expected[0]);
    EXPECT_EQ(eglGetCurrentContext(), before);
    module.destruct(handed);
}

// Whatever fails, frames pass through unchanged, and what failed is said once on stderr however
// many frames follow; a good value set afterwards grades again.
TEST_F(Frei0rModule, FailuresPassFramesThroughAndAreReportedOnce)
{
    const TempDir dir;
    const std::string broken =
        dir.write("look.cube", "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0\n");
    const std::string project = dir.write("damaged.json", R"({"format": "huecast-project")");
    struct Case
    {
        std::string lut;
        std::string project;
        std::string message; // empty: nothing is said
        const char* eglPlatform = nullptr;
    };
    const std::vector<Case> cases = {
        {"", "", ""},
        {broken, "", "huecast: " + broken + ": Huecast Error: Malformed data Line:7\n"},
        {dir.pathOf("missing.cube"), "",
         "huecast: " + dir.pathOf("missing.cube") + ": Huecast Error: File doesn't exist\n"},
        {"NoSuchEntry", "", "is neither a .cube file nor in the LUT library"},
        // Names reach the terminal escaped, as everywhere else.
        {"Clear\x1b[2J\nScreen", "", "\"Clear\\x1b[2J\\x0aScreen\" is neither"},
        {"", project, "huecast: The project \"" + project + "\" is not a Huecast project"},
        {sampleLut("Warm"), project, "huecast: lut and project are both set; give one of them\n"},
        {sampleLut("Warm"), "", "HUECAST_EGL_PLATFORM is \"none\"", "none"},
    };
    for (const Case& failure : cases)
    {
        SCOPED_TRACE(failure.lut + " | " + failure.project);
        const ScopedEnv platform("HUECAST_EGL_PLATFORM",
                                 failure.eglPlatform != nullptr
                                     ? std::optional<std::string>(failure.eglPlatform)
                                     : std::nullopt);
        f0r_instance_t instance = module.construct(kWidth, kHeight);
        module.setString(instance, 0, failure.lut);
        module.setString(instance, 1, failure.project);
        f0r_param_string stored = nullptr;
        module.get(instance, &stored, 0);
        EXPECT_EQ(std::string(stored), failure.lut);

        testing::internal::CaptureStderr();
        for (int frame = 0; frame < 3; ++frame)
        {
            const Pixels input = testFrame(static_cast<unsigned>(frame));
            Pixels output(input.size());
            module.update(instance, frame, input.data(), output.data());
            EXPECT_EQ(output, input) << "frame " << frame;
            module.setString(instance, 0, failure.lut); // as MLT does before every frame
        }
        const std::string said = testing::internal::GetCapturedStderr();
        if (failure.message.empty())
        {
            EXPECT_EQ(said, "");
        }
        else
        {
            EXPECT_NE(said.find(failure.message), std::string::npos) << said;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        }
        module.destruct(instance);
    }

    // A broken LUT replaced by a good one grades again.
    f0r_instance_t instance = module.construct(kWidth, kHeight);
    testing::internal::CaptureStderr();
    const Pixels input = testFrame(1);
    Pixels output(input.size());
    module.setString(instance, 0, broken);
    module.update(instance, 0.0, input.data(), output.data());
    module.setString(instance, 0, sampleLut("Cool"));
    module.update(instance, 0.0, input.data(), output.data());
    (void)testing::internal::GetCapturedStderr();
    EXPECT_EQ(output, graded(sampleLut("Cool"), 1));
    module.destruct(instance);
}

TEST_F(Frei0rModule, ARefusedControlPassesFramesThroughUntilItIsCorrected)
{
    f0r_instance_t instance = module.construct(kWidth, kHeight);
    module.setString(instance, 0, sampleLut("Warm"));
    module.setString(instance, 2, "Tetrahedral");
    module.setDouble(instance, 3, 1.5);
    const Pixels input = testFrame(2);
    Pixels output(input.size());
    testing::internal::CaptureStderr();
    module.update(instance, 0.0, input.data(), output.data());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "huecast: amount 1.5 is outside 0 to 1\n");
    EXPECT_EQ(output, input);

    module.setDouble(instance, 3, 0.5);
    module.update(instance, 1.0, input.data(), output.data());
    const Pixels expected = graded(sampleLut("Warm"), 2, "tetrahedral", 0.5);
    EXPECT_EQ(output, expected);
    EXPECT_NE(expected, graded(sampleLut("Warm"), 2));
    f0r_param_double amount = 0;
    module.get(instance, &amount, 3);
    EXPECT_EQ(amount, 0.5);
    module.destruct(instance);
}

} // namespace
} // namespace huecast::test
