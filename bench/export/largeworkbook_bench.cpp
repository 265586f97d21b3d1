// The export into a workbook whose shared strings part is large (100 MB unpacked, millions of
// distinct texts): the time, and the peak memory of the export, measured in a child process so
// that building the workbook does not count. Budget: the peak stays below three times the
// workbook's unpacked size.

#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "xlsx/stringsworkbook.h"
#include "xlsx/ziparchive.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#if defined(__unix__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace morvane;
namespace fs = std::filesystem;

namespace {

std::string largeWorkbook(std::size_t sharedStringBytes)
{
    const std::string& ns = stringsworkbook::kMainNs;
    std::string sst;
    sst.reserve(sharedStringBytes + 256);
    sst += R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           "\n<sst" +
           ns + ">";
    std::size_t count = 0;
    char text[64];
    while (sst.size() < sharedStringBytes) {
        std::snprintf(text, sizeof text, "<si><t>Sample %zu, well %c%zu</t></si>", count, 'A' + int(count % 16),
                      count % 24 + 1);
        sst += text;
        ++count;
    }
    sst += "</sst>";
    auto bytes = xlsx::ZipArchive::build(stringsworkbook::parts(std::move(sst), "<sheetData/>"));
    return bytes ? std::move(bytes).value() : std::string();
}

Grid smallTable()
{
    Grid grid(3, 3, 1, 0);
    const char* cells[3][3] = {{"well", "sample", "1"}, {"A1", "Sample 7, well H8", "0.5"}, {"A2", "new", "0.6"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            grid.setCell(r, c, cells[r][c]);
    return grid;
}

void BM_ExportIntoLargeSharedStrings(benchmark::State& state)
{
    const std::size_t megabytes = static_cast<std::size_t>(state.range(0));
    const fs::path folder = fs::temp_directory_path() / "morvane-bench-export";
    fs::create_directories(folder);
    const fs::path file = folder / "large.xlsx";
    const std::string bytes = largeWorkbook(megabytes << 20);
    const Grid grid = smallTable();
    double peakMegabytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
        state.ResumeTiming();
#if defined(__unix__)
        const pid_t child = fork();
        if (child == 0) {
            TExcelcom excel(file);
            _exit(exportGridToWorkbook(excel, grid, "New", '.') ? 0 : 1);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("the export failed");
        peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0; // kB on Linux
#else
        TExcelcom excel(file);
        if (!exportGridToWorkbook(excel, grid, "New", '.'))
            state.SkipWithError("the export failed");
#endif
    }
    state.counters["file_MB"] = static_cast<double>(bytes.size()) / (1 << 20);
    state.counters["peak_MB"] = peakMegabytes;
    fs::remove(file);
}
BENCHMARK(BM_ExportIntoLargeSharedStrings)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
