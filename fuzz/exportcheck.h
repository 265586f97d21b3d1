#pragma once
// What both workbook targets assert about one export into the given bytes: the export command of
// the window through TExcelcom on a workbook in memory ends in a refusal with a message and
// nothing stored, or in a package that the workbook reader opens again, holding the new sheet as
// the active one.

#include "fuzzcheck.h"

#include "common/grid.h"
#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "xlsx/workbook.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace fuzz {

inline morvane::Grid exportTable()
{
    morvane::Grid grid(3, 4, 1, 1);
    const char* cells[3][4] = {
        {"well", "sample", "1", "2"}, {"A1", " Std 1", "0.59", "0,57"}, {"B1", "", "1E3", "x&<"}};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            grid.setCell(row, col, cells[row][col]);
    return grid;
}

inline void exportAndCheck(std::string bytes)
{
    // Smaller limits than a user's, so that a declared size far beyond the input is refused fast.
    morvane::WorkbookLimits limits;
    limits.maxTotalBytes = 64ull << 20;
    limits.maxSheetBytes = 16ull << 20;
    limits.maxSharedStringsBytes = 16ull << 20;
    limits.maxStylesBytes = 16ull << 20;
    auto store = std::make_unique<morvane::WorkbookInMemory>(std::move(bytes), "fuzz.xlsx");
    morvane::WorkbookInMemory& memory = *store;
    morvane::TExcelcom excel(std::move(store), limits);

    static const morvane::Grid grid = exportTable();
    const auto outcome = morvane::exportGridToWorkbook(excel, grid, "Fuzz", '.');
    if (!outcome) {
        FUZZ_CHECK(!outcome.error().message.empty(), "a refusal without a message");
        FUZZ_CHECK(memory.storeCount() == 0, "a refused export stored the workbook");
        return;
    }
    FUZZ_CHECK(outcome->status == morvane::ExportOutcome::Exported, "the name Fuzz was found too long");
    FUZZ_CHECK(memory.storeCount() == 1 && memory.bytes(), "an export that stored nothing");

    auto reread = morvane::XlsxWorkbook::open(*memory.bytes(), "fuzz.xlsx");
    if (!reread)
        std::fprintf(stderr, "reading back: %s\n", reread.error().message.c_str());
    FUZZ_CHECK(reread.ok(), "the saved workbook cannot be read back");
    const auto& tabs = reread->tabs();
    const bool found = std::any_of(tabs.begin(), tabs.end(), [&](const morvane::SheetTab& tab) {
        return tab.name == outcome->sheetName && tab.kind == morvane::SheetKind::Worksheet;
    });
    FUZZ_CHECK(found, "the saved workbook lacks the new sheet");
    FUZZ_CHECK(reread->activeTab() >= 0 && tabs[std::size_t(reread->activeTab())].name == outcome->sheetName,
               "the new sheet is not the active one");
}

} // namespace fuzz
