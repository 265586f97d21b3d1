// RDML of the real 384-well export: 40 cycles and a 176-reading melt curve per well, 82,944
// points (budget 40 ms for the XML and its zip). Beside it the parts around it: reading the
// melt curve from the raw text, the RDES table, and the whole file written to disk.

#include "conversion/meltcurve.h"
#include "conversion/programs.h"
#include "conversion/welltable.h"
#include "export/atomicsave.h"
#include "rdml/rdes.h"
#include "rdml/rdml.h"

#include <benchmark/benchmark.h>

#include <filesystem>

using namespace morvane;
namespace fs = std::filesystem;

namespace {

struct Run {
    RawText text;
    ProgramList programs;
    WellTable table;
    std::optional<MeltCurves> melt;
    RdmlContent content;
};

const Run& realRun()
{
    static const Run run = [] {
        Run r;
        r.text = std::move(loadRawFile(MORVANE_TESTDATA_DIR "/lc480_384_nrd1_calibration.txt")).value();
        r.programs = std::move(detectPrograms(r.text)).value();
        const OfferedRun& offered = r.programs.runs.front();
        r.table = std::move(convertRun(r.text, r.programs, RunChoice{offered.program, offered.segment, 0},
                                       morvane::PlateFormat::Wells384))
                      .value();
        r.melt = std::move(readMeltProgram(r.text, r.programs)).value();
        r.content.experiment = experimentName(r.text);
        r.content.run = offered.name();
        r.content.format = PlateFormat::Wells384;
        r.content.channels = r.programs.columns.channels;
        r.content.tables = {&r.table.grid};
        r.content.melt = &*r.melt;
        return r;
    }();
    return run;
}

void BM_RdmlArchive(benchmark::State& state)
{
    const Run& run = realRun();
    RdmlSummary summary;
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto archive = rdmlArchive(run.content, &summary);
        bytes = archive->size();
        benchmark::DoNotOptimize(archive);
    }
    state.counters["points"] = static_cast<double>(summary.amplificationPoints + summary.meltPoints);
    state.counters["zip_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RdmlArchive)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RdmlXmlOnly(benchmark::State& state)
{
    const Run& run = realRun();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto xml = rdmlXml(run.content);
        bytes = xml->size();
        benchmark::DoNotOptimize(xml);
    }
    state.counters["xml_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RdmlXmlOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RdmlFileWritten(benchmark::State& state)
{
    const Run& run = realRun();
    const fs::path file = fs::temp_directory_path() / "morvane-bench-run.rdml";
    for (auto _ : state) {
        auto archive = rdmlArchive(run.content);
        auto saved = saveNewFile(file, *archive, ExistingFile::Replace);
        benchmark::DoNotOptimize(saved);
    }
    fs::remove(file);
}
BENCHMARK(BM_RdmlFileWritten)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MeltCurveRead(benchmark::State& state)
{
    const Run& run = realRun();
    for (auto _ : state) {
        auto melt = readMeltProgram(run.text, run.programs);
        benchmark::DoNotOptimize(melt);
    }
}
BENCHMARK(BM_MeltCurveRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RdesTable(benchmark::State& state)
{
    const Run& run = realRun();
    for (auto _ : state) {
        auto table = rdesTable(run.content);
        benchmark::DoNotOptimize(table);
    }
}
BENCHMARK(BM_RdesTable)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
