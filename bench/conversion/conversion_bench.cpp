// Load, program detection, conversion and its checks of the 384-well calibration export (3.3 MB,
// 82,946 lines), each alone and together. Bytes processed are the file's size, so the rates compare
// with the disk and with each other.

#include "conversion/datachecks.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "conversion/splitline.h"
#include "conversion/welltable.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <stdexcept>

// Counts the allocations, to show that they do not grow with the number of fields or lines.
static std::atomic<std::size_t> g_allocations{0};

void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// GCC pairs the malloc of the replaced new with this free and warns without cause.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

// Allocations per iteration since `before`, as a counter.
void countAllocations(benchmark::State& state, std::size_t before)
{
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}

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
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        auto text = morvane::RawText::fromBytes(fileBytes(), "bench");
        benchmark::DoNotOptimize(text);
    }
    countAllocations(state, allocationsBefore);
    setBytes(state);
}

// Every line cut into fields, as the conversion cuts each line it reads.
void BM_SplitLines(benchmark::State& state)
{
    const auto& text = loadedText();
    morvane::FieldList fields;
    for (auto _ : state) {
        std::size_t total = 0;
        for (std::size_t i = 0; i < text.lineCount(); ++i) {
            morvane::splitline(' ', text.line(i), fields);
            total += fields.size();
        }
        benchmark::DoNotOptimize(total);
    }
    setBytes(state);
}

void BM_Detect(benchmark::State& state)
{
    const auto& text = loadedText();
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        auto programs = morvane::detectPrograms(text);
        benchmark::DoNotOptimize(programs);
    }
    countAllocations(state, allocationsBefore);
    setBytes(state);
}

void BM_Convert(benchmark::State& state)
{
    const auto& text = loadedText();
    const auto programs = morvane::detectPrograms(text).value();
    const auto settings =
        morvane::conversionSettings(programs, programs.numbers.front(), morvane::PlateFormat::Wells384);
    std::size_t progressCalls = 0;
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        auto table = morvane::convertToGrid(text, settings, [&](std::size_t) { ++progressCalls; });
        benchmark::DoNotOptimize(table);
    }
    benchmark::DoNotOptimize(progressCalls);
    countAllocations(state, allocationsBefore);
    setBytes(state);
}

// The checks after a conversion, alone: one pass over the table, to compare with BM_Convert.
void BM_Check(benchmark::State& state)
{
    const auto& text = loadedText();
    const auto programs = morvane::detectPrograms(text).value();
    const auto table = morvane::convertToGrid(text, morvane::conversionSettings(programs, programs.numbers.front(),
                                                                                morvane::PlateFormat::Wells384))
                           .value();
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        auto findings = morvane::checkConversion(table);
        benchmark::DoNotOptimize(findings);
    }
    countAllocations(state, allocationsBefore);
    setBytes(state);
}

// Conversion and checks as the window and the tool run them.
void BM_ConvertAndCheck(benchmark::State& state)
{
    const auto& text = loadedText();
    const auto programs = morvane::detectPrograms(text).value();
    const auto settings =
        morvane::conversionSettings(programs, programs.numbers.front(), morvane::PlateFormat::Wells384);
    for (auto _ : state) {
        auto table = morvane::convertToGrid(text, settings);
        auto findings = morvane::checkConversion(*table);
        benchmark::DoNotOptimize(findings);
    }
    setBytes(state);
}

void BM_DetectAndConvert(benchmark::State& state)
{
    const auto& text = loadedText();
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        auto programs = morvane::detectPrograms(text);
        auto table = morvane::convertToGrid(
            text, morvane::conversionSettings(*programs, programs->numbers.front(), morvane::PlateFormat::Wells384),
            [](std::size_t) {});
        benchmark::DoNotOptimize(table);
    }
    countAllocations(state, allocationsBefore);
    setBytes(state);
}

void BM_Whole(benchmark::State& state)
{
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        auto text = morvane::RawText::fromBytes(fileBytes(), "bench");
        auto programs = morvane::detectPrograms(*text);
        auto table = morvane::convertToGrid(
            *text, morvane::conversionSettings(*programs, programs->numbers.front(), morvane::PlateFormat::Wells384),
            [](std::size_t) {});
        auto name = morvane::experimentName(*text);
        benchmark::DoNotOptimize(table);
        benchmark::DoNotOptimize(name);
    }
    countAllocations(state, allocationsBefore);
    setBytes(state);
}

// A full 384-well, 45-cycle export of `channels` reading columns, laid out as the instrument
// writes it: the same lines whatever the channels, so the cost of the wider lines shows alone.
const morvane::RawText& syntheticText(int channels)
{
    static std::map<int, morvane::RawText> texts;
    auto& text = texts[channels];
    if (text.empty()) {
        std::string bytes = "Raw Data \t\tExperiment - Bench (Run on LCS480 1.5.1.62)\r\n"
                            "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp";
        const char* names[] = {"465-510", "533-580", "618-660"};
        for (int c = 0; c < channels; ++c)
            bytes += std::string("\t") + names[c];
        bytes += "\t\r\n";
        for (int row = 0; row < 16; ++row) {
            for (int col = 1; col <= 24; ++col) {
                const std::string well = std::string(1, char('A' + row)) + std::to_string(col);
                for (int cycle = 1; cycle <= 45; ++cycle) {
                    bytes += well + "\tSample " + std::to_string(col) + "\t2\t2\t" + std::to_string(cycle) +
                             "\t273930\t59.94";
                    for (int c = 0; c < channels; ++c)
                        bytes += "\t" + std::to_string(10 + c) + "." + std::to_string(cycle % 100);
                    bytes += "\r\n";
                }
            }
        }
        text = morvane::RawText::fromBytes(bytes).value();
    }
    return text;
}

// Detection and conversion of the first channel of a synthetic export of 1 or 3 channels.
void BM_DetectAndConvertChannels(benchmark::State& state)
{
    const auto& text = syntheticText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto programs = morvane::detectPrograms(text);
        auto table = morvane::convertRun(text, *programs, {2, std::nullopt, 0}, morvane::PlateFormat::Wells384);
        benchmark::DoNotOptimize(table);
    }
}

} // namespace

BENCHMARK(BM_DetectAndConvertChannels)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detect)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Check)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertAndCheck)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectAndConvert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Whole)->Unit(benchmark::kMillisecond);
