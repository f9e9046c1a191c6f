// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// Frames per second through the whole host path (upload, the filter's frame calls and draw,
// read-back) at HD and UHD, 8-bit and float, for the common LUT edges, trilinear and (at HD)
// tetrahedral, and how a frame's time splits between those steps. GL work runs on the driver's
// threads, so times are wall times.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "cube/ZRColourCube.h"
#include "host/CommandLinePresenter.h"
#include "host/FrameRenderer.h"
#include "host/ReferenceHost.h"

namespace
{

using huecast::host::Frame;
using huecast::host::PixelType;
using Clock = std::chrono::steady_clock;

// In $HUECAST_BENCH_DIR when set, so a script can hand the same LUT to a peer.
std::string generatedCube(int edge)
{
    const char* folder = std::getenv("HUECAST_BENCH_DIR");
    const std::filesystem::path path =
        (folder != nullptr ? std::filesystem::path(folder)
                           : std::filesystem::temp_directory_path()) /
        fmt::format("huecast-render-bench-{}.cube", edge);
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr)
    {
        std::abort();
    }
    fmt::print(out, "LUT_3D_SIZE {}\n", edge);
    std::mt19937 random(static_cast<unsigned>(edge));
    std::uniform_real_distribution<double> value(0.0, 1.0);
    for (long i = 0; i < static_cast<long>(edge) * edge * edge; ++i)
    {
        fmt::print(out, "{:.6f} {:.6f} {:.6f}\n", value(random), value(random), value(random));
    }
    std::fclose(out);
    return path.string();
}

/// One host with one instance per LUT edge and interpolation, made on first use and kept for the
/// whole run.
class Bench
{
public:
    static Bench& shared()
    {
        static Bench bench;
        return bench;
    }

    huecast::fx::FxFilter& filterFor(int edge, int interpolation)
    {
        const std::pair key{edge, interpolation};
        if (const auto found = m_instances.find(key); found != m_instances.end())
        {
            return found->second->filter();
        }
        huecast::foundation::Error error;
        auto* instance = m_host->createInstance({}, &error);
        if (instance == nullptr)
        {
            std::abort();
        }
        m_presenter->answerNextPanel(generatedCube(edge));
        (void)instance->choosePopupEntry(1, 1); // "External File"
        (void)instance->clickBrowse(3);         // and the file through Browse
        (void)instance->choosePopupEntry(4, interpolation);
        m_instances.emplace(key, instance);
        return instance->filter();
    }
    huecast::host::FrameRenderer& renderer() { return *m_renderer; }

private:
    Bench()
    {
        huecast::kit::setModalPresenter(m_presenter);
        huecast::foundation::Error error;
        m_host = huecast::host::ReferenceHost::create(HUECAST_BUNDLE_DIR, &error);
        if (m_host)
        {
            m_renderer = huecast::host::FrameRenderer::create(&error);
        }
        if (!m_renderer)
        {
            fmt::print(stderr, "bench: {}\n", error.localizedDescription());
            std::abort();
        }
    }

    std::shared_ptr<huecast::host::CommandLinePresenter> m_presenter =
        std::make_shared<huecast::host::CommandLinePresenter>(std::deque<std::string>{});
    std::unique_ptr<huecast::host::ReferenceHost> m_host;
    std::unique_ptr<huecast::host::FrameRenderer> m_renderer;
    std::map<std::pair<int, int>, huecast::host::EffectInstance*> m_instances;
};

Frame noiseFrame(std::uint32_t width, std::uint32_t height, PixelType type)
{
    Frame frame(width, height, type);
    std::mt19937 random(7);
    auto* bytes = reinterpret_cast<unsigned char*>(frame.data());
    if (type == PixelType::Float)
    {
        std::uniform_real_distribution<float> value(0.0F, 1.0F);
        auto* floats = reinterpret_cast<float*>(bytes);
        for (std::size_t i = 0; i < frame.rowBytes() * height / 4; ++i)
        {
            floats[i] = value(random);
        }
    }
    else
    {
        for (std::size_t i = 0; i < frame.rowBytes() * height; ++i)
        {
            bytes[i] = static_cast<unsigned char>(random());
        }
    }
    return frame;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Arguments: width, height, bytes a channel (1 or 4), LUT edge, "Interpolation" index.
void BM_HostPath(benchmark::State& state)
{
    const auto width = static_cast<std::uint32_t>(state.range(0));
    const auto height = static_cast<std::uint32_t>(state.range(1));
    const auto type = state.range(2) == 1 ? PixelType::UInt8 : PixelType::Float;
    Bench& bench = Bench::shared();
    huecast::fx::FxFilter& filter =
        bench.filterFor(static_cast<int>(state.range(3)), static_cast<int>(state.range(4)));
    huecast::host::FrameRenderer& renderer = bench.renderer();
    const Frame input = noiseFrame(width, height, type);
    Frame output;
    huecast::foundation::Error error;
    if (!renderer.renderFrame(filter, input, &output, &error)) // allocates; not timed
    {
        state.SkipWithError(error.localizedDescription().c_str());
        return;
    }
    double upload = 0;
    double draw = 0;
    double readBack = 0;
    for (auto _ : state)
    {
        // glFinish after each step, so each step's time is its own and frames never overlap.
        auto start = Clock::now();
        renderer.upload(input);
        glFinish();
        upload += msSince(start);
        start = Clock::now();
        (void)renderer.render(filter, &error);
        glFinish();
        draw += msSince(start);
        start = Clock::now();
        renderer.readBack(&output);
        readBack += msSince(start);
    }
    const auto frames = static_cast<double>(state.iterations());
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["upload_ms"] = upload / frames;
    state.counters["render_ms"] = draw / frames;
    state.counters["readback_ms"] = readBack / frames;
}

// The lattice's per-frame 3D texture upload on its own (part of render_ms above).
void BM_LatticeUpload(benchmark::State& state)
{
    (void)Bench::shared();
    auto cube = huecast::ZRColourCube::identityCube();
    if (state.range(0) != 16)
    {

        huecast::foundation::Dictionary dictionary = huecast::ZRColourCube::genIdentity();
        const auto edge = static_cast<std::size_t>(state.range(0));
        dictionary[std::string(huecast::kCubeFormatKey)] = huecast::foundation::Value("3D");
        dictionary[std::string(huecast::kCubeEdgeSizeKey)] =
            huecast::foundation::Value(state.range(0));
        const huecast::foundation::Bytes lattice(edge * edge * edge * 12);
        dictionary[std::string(huecast::kCubeDataKey)] = huecast::foundation::Value(
            huecast::foundation::makeSharedBytes(lattice.data(), lattice.size()));
        cube = huecast::ZRColourCube::initWithDictionary(&dictionary);
    }
    for (auto _ : state)
    {
        glActiveTexture(GL_TEXTURE1);
        cube->bind();
        glFinish();
        cube->disable();
        glActiveTexture(GL_TEXTURE0);
    }
}

void hostPathArguments(benchmark::internal::Benchmark* benchmark)
{
    for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{3840, 2160}})
    {
        for (const int channelBytes : {1, 4})
        {
            for (const int edge : {17, 33, 65})
            {
                benchmark->Args({width, height, channelBytes, edge, 0});
                if (width == 1920)
                {
                    benchmark->Args({width, height, channelBytes, edge, 1});
                }
            }
        }
    }
}

} // namespace

BENCHMARK(BM_HostPath)
    ->ArgNames({"w", "h", "bytes", "edge", "tetrahedral"})
    ->Apply(hostPathArguments)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LatticeUpload)
    ->Arg(17)
    ->Arg(33)
    ->Arg(65)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
