// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// How fast the .cube reader turns a file into a cube, for the edges that colourists use most,
// and how much of that is the parse.
// The files are generated once per run with six-decimal values, as grading tools write them.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "cube/ZRCubeReader.h"

namespace
{

std::string generatedCube(int edge)
{
    static std::map<int, std::string> files;
    if (const auto found = files.find(edge); found != files.end())
    {
        return found->second;
    }
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / fmt::format("huecast-bench-{}.cube", edge);
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr)
    {
        std::abort();
    }
    fmt::print(out, "TITLE \"bench {}\"\nLUT_3D_SIZE {}\n", edge, edge);
    std::mt19937 random(static_cast<unsigned>(edge));
    std::uniform_real_distribution<double> value(-0.05, 1.05);
    const long entries = static_cast<long>(edge) * edge * edge;
    for (long i = 0; i < entries; ++i)
    {
        fmt::print(out, "{:.6f} {:.6f} {:.6f}\n", value(random), value(random), value(random));
    }
    std::fclose(out);
    files.emplace(edge, path.string());
    return path.string();
}

void readCubeFile(benchmark::State& state)
{
    const int edge = static_cast<int>(state.range(0));
    const std::string path = generatedCube(edge);
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
    for (auto _ : state)
    {
        huecast::foundation::Error error;
        auto cube = huecast::ZRCubeReader::cubeFromFile(path, &error);
        if (!cube)
        {
            state.SkipWithError(error.localizedDescription().c_str());
            break;
        }
        benchmark::DoNotOptimize(cube);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}

// The parse alone, over text already in memory: what readCubeFile spends beyond the file read.
void parseCubeText(benchmark::State& state)
{
    const std::string path = generatedCube(static_cast<int>(state.range(0)));
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (auto _ : state)
    {
        huecast::foundation::Error error;
        auto cube = huecast::ZRCubeReader::cubeFromText(text, path, &error);
        if (!cube)
        {
            state.SkipWithError(error.localizedDescription().c_str());
            break;
        }
        benchmark::DoNotOptimize(cube);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// The same parse with the notes `huecast check` asks for, over a clean file: what linting costs.
void lintCubeText(benchmark::State& state)
{
    const std::string path = generatedCube(static_cast<int>(state.range(0)));
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<huecast::CubeWarning> warnings;
    for (auto _ : state)
    {
        huecast::foundation::Error error;
        auto cube = huecast::ZRCubeReader::cubeFromText(text, path, &warnings, &error);
        if (!cube)
        {
            state.SkipWithError(error.localizedDescription().c_str());
            break;
        }
        benchmark::DoNotOptimize(cube);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

} // namespace

BENCHMARK(readCubeFile)->Arg(17)->Arg(33)->Arg(65)->Unit(benchmark::kMillisecond);
BENCHMARK(parseCubeText)->Arg(65)->Unit(benchmark::kMillisecond);
BENCHMARK(lintCubeText)->Arg(65)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
