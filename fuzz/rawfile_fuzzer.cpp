// The raw-file path as the window walks it, on any bytes: load, plate size, program detection,
// conversion of every offered program, extraction of every well, separator check and repair,
// and the value of every cell. Every failure must be an error with a message; nothing may crash,
// hang or read out of bounds.

#include "fuzzcheck.h"

#include "conversion/platesize.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "conversion/welltable.h"
#include "plate/extraction.h"
#include "plate/plate.h"
#include "xlsx/celltovalue.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace {

template <typename T> bool failedWithMessage(const morvane::Expected<T>& result)
{
    if (result)
        return false;
    FUZZ_CHECK(!result.error().message.empty(), "an error without a message");
    return true;
}

void exportTable(const morvane::Grid& wellTable, morvane::PlateFormat format, char separator)
{
    const std::vector<bool> everyWell(static_cast<std::size_t>(morvane::wellCount(format)), true);
    morvane::Extraction extraction = morvane::extractWells(wellTable, format, everyWell);
    FUZZ_CHECK(extraction.table.rowCount() >= 2, "an export table without its empty row");
    FUZZ_CHECK(extraction.table.colCount() == wellTable.colCount(), "the export table lost columns");
    if (!extraction.missingWells.empty())
        FUZZ_CHECK(!morvane::missingWellsWarning(extraction.missingWells).empty(), "no warning for missing wells");
    if (const auto wrong = morvane::wrongSeparator(extraction.table, separator)) {
        (void)morvane::separatorQuestion(*wrong, separator);
        morvane::repairSeparators(extraction.table, *wrong, separator);
    }
    const morvane::Grid& table = extraction.table;
    for (int row = 0; row < table.rowCount(); ++row)
        for (int col = 0; col < table.colCount(); ++col)
            (void)morvane::celltovalue(table.cell(row, col), separator);
}

// No reading is moved to another well or dropped without a finding: every reading of the table
// stands on its line under that line's well and cycle, and every line of the run is in the table,
// a repeated cycle, or of a well beyond the plate.
void checkEveryReadingPlaced(const morvane::RawText& text, const morvane::ConversionSettings& settings,
                             const morvane::WellTable& table)
{
    const morvane::Grid& grid = table.grid;
    morvane::DataLineReader line(text, settings.progColFromEnd, settings.cycleFromEnd, settings.readingFromEnd);
    std::size_t placed = 0;
    std::set<std::string> rowWells;
    for (int row = 1; row < grid.rowCount(); ++row) {
        rowWells.insert(grid.cell(row, 0));
        for (int col = 2; col < grid.colCount(); ++col) {
            // A cell is placed by its line: an empty reading (a quoted "") is placed too.
            const std::uint32_t at = table.sourceLine(row, col);
            if (at == 0 && grid.cell(row, col).empty())
                continue;
            ++placed;
            int cycle = 0;
            FUZZ_CHECK(at > 0 && line.split(at - 1) && line.cycle(cycle), "a reading without its line");
            FUZZ_CHECK(morvane::cellText(text, line.well()) == grid.cell(row, 0), "a reading under another well");
            FUZZ_CHECK(cycle == col - 1, "a reading under another cycle");
            FUZZ_CHECK(morvane::cellText(text, line.reading()) == grid.cell(row, col), "a reading changed");
        }
    }
    const std::set<std::string> beyond(table.wellsNotConverted.begin(), table.wellsNotConverted.end());
    for (const std::string& well : beyond)
        if (rowWells.count(well) > 0)
            return; // two spellings of one name: the count below cannot tell them apart
    std::size_t lines = 0;
    for (std::size_t k = settings.firstDataLine; k < text.lineCount(); ++k) {
        int program = 0;
        if (line.split(k) && line.program(program) && program == settings.selectedProgram &&
            beyond.count(morvane::cellText(text, line.well())) == 0)
            ++lines;
    }
    std::size_t repeated = 0;
    for (const morvane::Finding& finding : table.conversionFindings)
        repeated += finding.kind == morvane::FindingKind::RepeatedCycle;
    FUZZ_CHECK(placed + repeated == lines, "a reading dropped without a finding");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto text = morvane::RawText::fromBytes(std::string(reinterpret_cast<const char*>(data), size), "fuzz.txt");
    if (failedWithMessage(text))
        return 0;
    (void)morvane::experimentName(*text);

    const auto plate = morvane::recognisePlateSize(*text);
    if (failedWithMessage(plate))
        return 0;
    const morvane::PlateFormat format = plate->value_or(morvane::PlateFormat::Wells384);
    const auto programs = morvane::detectPrograms(*text);
    if (failedWithMessage(programs))
        return 0;
    FUZZ_CHECK(!programs->programs.empty() && programs->programs.size() == programs->numbers.size(),
               "a program list that does not match its numbers");

    // Every offered program, as a user may pick any; the plate as recognised, or 384 wells when
    // the user picks it by hand. The separator alternates so both repairs are tried.
    const char separator = size % 2 == 0 ? '.' : ',';
    for (int number : programs->numbers) {
        const auto settings = morvane::conversionSettings(*programs, number, format);
        const auto table = morvane::convertToGrid(*text, settings);
        if (failedWithMessage(table))
            continue;
        const morvane::Grid& grid = table->grid;
        FUZZ_CHECK(grid.rowCount() >= 2 && grid.rowCount() <= settings.wellLimit + 1, "a well table of wrong height");
        FUZZ_CHECK(grid.colCount() >= table->cycles + 2, "a well table narrower than its first well");
        if (grid.colCount() > table->cycles + 2)
            FUZZ_CHECK(std::any_of(table->conversionFindings.begin(), table->conversionFindings.end(),
                                   [](const morvane::Finding& f) { return f.kind == morvane::FindingKind::LongerRun; }),
                       "a table widened in silence");
        checkEveryReadingPlaced(*text, settings, *table);
        exportTable(grid, format, separator);
    }
    return 0;
}
