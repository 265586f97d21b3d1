// The export of a full 384-well run (385 x 52 table) into a workbook file: into a new
// workbook (budget 30 ms) and into one that already holds ten such sheets (budget 60 ms).

#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "xlsx/valueblock.h"

#include <benchmark/benchmark.h>

#include <functional>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

using namespace morvane;
namespace fs = std::filesystem;

namespace {

Grid runTable()
{
    constexpr int wells = 384, cycles = 50;
    Grid grid(wells + 1, cycles + 2, 1, 0);
    grid.setCell(0, 0, "well");
    grid.setCell(0, 1, "sample");
    for (int c = 1; c <= cycles; ++c)
        grid.setCell(0, c + 1, std::to_string(c));
    std::mt19937 random(480);
    std::uniform_real_distribution<double> reading(0.5, 60.0);
    for (int w = 0; w < wells; ++w) {
        grid.setCell(w + 1, 0, std::string(1, static_cast<char>('A' + w / 24)) + std::to_string(w % 24 + 1));
        grid.setCell(w + 1, 1, "Sample " + std::to_string(w % 96 + 1));
        for (int c = 1; c <= cycles; ++c) {
            char text[32];
            std::snprintf(text, sizeof text, "%.6f", reading(random));
            grid.setCell(w + 1, c + 1, text);
        }
    }
    return grid;
}

fs::path scratchFolder()
{
    const fs::path folder = fs::temp_directory_path() / "morvane-bench-export";
    fs::create_directories(folder);
    return folder;
}

void writeBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Times exports of `grid` into `file`, which `prepare` sets up (untimed) before each one.
void timeExports(benchmark::State& state, const Grid& grid, const fs::path& file, const std::function<void()>& prepare)
{
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        state.ResumeTiming();
        TExcelcom excel(file);
        auto outcome = exportGridToWorkbook(excel, grid, "Run12", '.');
        if (!outcome)
            state.SkipWithError(outcome.error().message.c_str());
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(file));
    fs::remove(file);
}

void BM_ExportIntoNewWorkbook(benchmark::State& state)
{
    const fs::path file = scratchFolder() / "new.xlsx";
    timeExports(state, runTable(), file, [&] { fs::remove(file); });
}
BENCHMARK(BM_ExportIntoNewWorkbook)->Unit(benchmark::kMillisecond);

void BM_ExportIntoWorkbookWithTenSheets(benchmark::State& state)
{
    const Grid grid = runTable();
    auto store = std::make_unique<WorkbookInMemory>(std::nullopt);
    WorkbookInMemory* memory = store.get();
    TExcelcom builder(std::move(store));
    for (int i = 0; i < 10; ++i)
        if (!exportGridToWorkbook(builder, grid, "Run" + std::to_string(i), '.')) {
            state.SkipWithError("cannot build the ten-sheet workbook");
            return;
        }
    const std::string tenSheets = *memory->bytes();
    const fs::path file = scratchFolder() / "ten.xlsx";
    timeExports(state, grid, file, [&] { writeBytes(file, tenSheets); });
}
BENCHMARK(BM_ExportIntoWorkbookWithTenSheets)->Unit(benchmark::kMillisecond);

void BM_MakeValueBlock(benchmark::State& state)
{
    const Grid grid = runTable();
    for (auto _ : state)
        benchmark::DoNotOptimize(makeValueBlock(grid, '.'));
}
BENCHMARK(BM_MakeValueBlock)->Unit(benchmark::kMillisecond);

} // namespace

namespace {
// The same without the file: what the workbook edit itself costs.
void BM_ExportIntoTenSheetsInMemory(benchmark::State& state)
{
    const Grid grid = runTable();
    auto store = std::make_unique<WorkbookInMemory>(std::nullopt);
    WorkbookInMemory* memory = store.get();
    TExcelcom builder(std::move(store));
    for (int i = 0; i < 10; ++i)
        (void)exportGridToWorkbook(builder, grid, "Run" + std::to_string(i), '.');
    const std::string tenSheets = *memory->bytes();
    for (auto _ : state) {
        TExcelcom excel(std::make_unique<WorkbookInMemory>(tenSheets));
        auto outcome = exportGridToWorkbook(excel, grid, "Run12", '.');
        if (!outcome)
            state.SkipWithError(outcome.error().message.c_str());
    }
}
BENCHMARK(BM_ExportIntoTenSheetsInMemory)->Unit(benchmark::kMillisecond);
} // namespace
