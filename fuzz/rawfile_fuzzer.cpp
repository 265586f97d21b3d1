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

#include <cstddef>
#include <cstdint>
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
        FUZZ_CHECK(grid.colCount() == table->cycles + 2, "a well table of wrong width");
        exportTable(grid, format, separator);
    }
    return 0;
}
