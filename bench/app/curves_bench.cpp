// The plot's cost when it follows a tick: a whole 384-well plate of 50 cycles given to the plot
// and drawn, on the offscreen platform. The curves are prepared once; preparing them from the
// well table is measured apart.

#include "app/curveplot.h"
#include "plate/curves.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace {

constexpr int kWells = 384;
constexpr int kCycles = 50;

// A plate of sigmoid curves, with the comma separator in every second well.
morvane::Grid plateTable()
{
    morvane::Grid table(kWells + 1, kCycles + 2, 1, 1);
    table.setCell(0, 0, "well");
    table.setCell(0, 1, "sample");
    for (int c = 1; c <= kCycles; ++c)
        table.setCell(0, c + 1, std::to_string(c));
    for (int w = 0; w < kWells; ++w) {
        table.setCell(w + 1, 0, std::string(1, char('A' + w / 24)) + std::to_string(w % 24 + 1));
        table.setCell(w + 1, 1, " Sample " + std::to_string(w / 3));
        for (int c = 1; c <= kCycles; ++c) {
            std::string text = std::to_string(2.0 + 40.0 / (1.0 + std::exp(-(c - 20.0 - w % 10) / 2.0)));
            if (w % 2)
                text[text.find('.')] = ',';
            table.setCell(w + 1, c + 1, text);
        }
    }
    return table;
}

void BM_PlotRedraw384x50(benchmark::State& state)
{
    const auto curves = morvane::curvesOf(plateTable());
    CurvePlot plot;
    plot.resize(400, 400); // the room page 2 gives it
    plot.show();
    for (auto _ : state) {
        plot.setCurves(curves);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_PlotRedraw384x50)->Unit(benchmark::kMillisecond);

void BM_PrepareCurves384x50(benchmark::State& state)
{
    const morvane::Grid table = plateTable();
    for (auto _ : state)
        benchmark::DoNotOptimize(morvane::curvesOf(table));
}
BENCHMARK(BM_PrepareCurves384x50)->Unit(benchmark::kMillisecond);

} // namespace
