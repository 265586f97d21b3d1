// The melt peaks of every well of one channel of the 384-well calibration export (176 melt
// readings per well): from the melt curve as read from the file, with parsing its numbers.

#include "conversion/meltpeaks.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"

#include <benchmark/benchmark.h>

#include <stdexcept>

using namespace morvane;

namespace {

const MeltCurves& calibrationMelt()
{
    static const MeltCurves curves = [] {
        auto text = loadRawFile(MORVANE_TESTDATA_DIR "/lc480_384_nrd1_calibration.txt");
        if (!text)
            throw std::runtime_error("the calibration export cannot be loaded");
        auto programs = detectPrograms(*text);
        if (!programs)
            throw std::runtime_error("the calibration export's programs cannot be detected");
        auto melt = readMeltProgram(*text, *programs);
        if (!melt || !*melt)
            throw std::runtime_error("the calibration export has no readable melt program");
        return std::move(**melt);
    }();
    return curves;
}

void BM_MeltPeaks384(benchmark::State& state)
{
    const MeltCurves& curves = calibrationMelt();
    std::size_t peaks = 0;
    for (auto _ : state) {
        const std::vector<WellMelt> wells = analyseMeltCurves(curves, 0);
        peaks = 0;
        for (const WellMelt& w : wells)
            peaks += w.analysis.peaks.size();
        benchmark::DoNotOptimize(peaks);
    }
    state.counters["wells"] = static_cast<double>(curves.wells.size());
    state.counters["peaks"] = static_cast<double>(peaks);
}
BENCHMARK(BM_MeltPeaks384)->Unit(benchmark::kMillisecond);

} // namespace
