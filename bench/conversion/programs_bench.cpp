// Program detection of files of many programs: a first well of N programs of two cycles each
// (50,000 of them make a file of some megabytes), detected as the window does on opening a
// file and as --list-programs does, then one of them converted. The time per program stays the
// same from a thousand programs to fifty thousand: the detection is linear in the file.

#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "conversion/welltable.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// Well A1 reads programs 1..N, two cycles each; A2 follows with the same.
morvane::RawText manyPrograms(int programs)
{
    std::string text = "Raw Data \t\tExperiment - Many (Run on LCS480 1.5.0.39)\r\n"
                       "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\r\n";
    for (const char* well : {"A1", "A2"})
        for (int program = 1; program <= programs; ++program)
            for (int cycle = 1; cycle <= 2; ++cycle)
                text += std::string(well) + "\tS\t" + std::to_string(program) + "\t1\t" + std::to_string(cycle) +
                        "\t100\t60.0\t1." + std::to_string(cycle) + "\r\n";
    return morvane::RawText::fromBytes(std::move(text)).value();
}

void BM_DetectManyPrograms(benchmark::State& state)
{
    const morvane::RawText text = manyPrograms(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto programs = morvane::detectPrograms(text);
        if (!programs || programs->runs.size() != static_cast<std::size_t>(state.range(0)))
            state.SkipWithError("detection failed");
        benchmark::DoNotOptimize(programs);
    }
    state.SetComplexityN(state.range(0));
}

void BM_ConvertOneOfManyPrograms(benchmark::State& state)
{
    const morvane::RawText text = manyPrograms(static_cast<int>(state.range(0)));
    const auto programs = morvane::detectPrograms(text).value();
    const morvane::RunChoice last{programs.runs.back().program, std::nullopt, 0};
    for (auto _ : state) {
        auto table = morvane::convertRun(text, programs, last, morvane::PlateFormat::Wells96);
        if (!table || table->grid.rowCount() != 3)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(table);
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_DetectManyPrograms)->RangeMultiplier(5)->Range(1000, 50000)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertOneOfManyPrograms)
    ->RangeMultiplier(5)
    ->Range(1000, 50000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
