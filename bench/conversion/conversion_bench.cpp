// Load, program detection and conversion of the 384-well calibration export (3.3 MB, 82,946
// lines), each alone and together. Bytes processed are the file's size, so the rates compare
// with the disk and with each other.

#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "conversion/welltable.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

const std::string& fileBytes()
{
    static const std::string bytes = [] {
        std::ifstream in(MORVANE_TESTDATA_DIR "/lc480_384_nrd1_calibration.txt", std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (data.empty())
            throw std::runtime_error("test data missing");
        return data;
    }();
    return bytes;
}

const morvane::RawText& loadedText()
{
    static const morvane::RawText text = morvane::RawText::fromBytes(fileBytes()).value();
    return text;
}

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fileBytes().size()));
}

void BM_Load(benchmark::State& state)
{
    for (auto _ : state) {
        auto text = morvane::RawText::fromBytes(fileBytes(), "bench");
        benchmark::DoNotOptimize(text);
    }
    setBytes(state);
}

void BM_Detect(benchmark::State& state)
{
    const auto& text = loadedText();
    for (auto _ : state) {
        auto programs = morvane::detectPrograms(text);
        benchmark::DoNotOptimize(programs);
    }
    setBytes(state);
}

void BM_Convert(benchmark::State& state)
{
    const auto& text = loadedText();
    const auto programs = morvane::detectPrograms(text).value();
    const auto settings = morvane::conversionSettings(programs, programs.numbers.front(), 1);
    std::size_t progressCalls = 0;
    for (auto _ : state) {
        auto table = morvane::convertToGrid(text, settings, [&](std::size_t) { ++progressCalls; });
        benchmark::DoNotOptimize(table);
    }
    benchmark::DoNotOptimize(progressCalls);
    setBytes(state);
}

void BM_DetectAndConvert(benchmark::State& state)
{
    const auto& text = loadedText();
    for (auto _ : state) {
        auto programs = morvane::detectPrograms(text);
        auto table = morvane::convertToGrid(text, morvane::conversionSettings(*programs, programs->numbers.front(), 1),
                                            [](std::size_t) {});
        benchmark::DoNotOptimize(table);
    }
    setBytes(state);
}

void BM_Whole(benchmark::State& state)
{
    for (auto _ : state) {
        auto text = morvane::RawText::fromBytes(fileBytes(), "bench");
        auto programs = morvane::detectPrograms(*text);
        auto table = morvane::convertToGrid(*text, morvane::conversionSettings(*programs, programs->numbers.front(), 1),
                                            [](std::size_t) {});
        auto name = morvane::experimentName(*text);
        benchmark::DoNotOptimize(table);
        benchmark::DoNotOptimize(name);
    }
    setBytes(state);
}

} // namespace

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detect)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectAndConvert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Whole)->Unit(benchmark::kMillisecond);
