#include "cli/pipeline.h"

#include "conversion/platesize.h"
#include "conversion/programs.h"
#include "plate/extraction.h"

#include <algorithm>

namespace morvane {

namespace {

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "B3" into "B" and "3": letters, then digits, nothing else.
bool splitWell(std::string_view well, std::string& row, std::string& col)
{
    std::size_t letters = 0;
    while (letters < well.size() && isLetter(well[letters]))
        ++letters;
    const std::string_view digits = well.substr(letters);
    if (letters == 0 || digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit))
        return false;
    row = std::string(well.substr(0, letters));
    col = std::string(digits);
    return true;
}

std::string plateText(PlateFormat format)
{
    return std::to_string(wellCount(format)) + "-well plate";
}

} // namespace

Expected<std::vector<WellRect>> parseWellList(std::string_view list)
{
    std::vector<WellRect> wells;
    if (trimBlanks(list).empty())
        return Error{"the well list is empty; give wells such as A1,B3,C1:D4"};
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view item = trimBlanks(list.substr(start, comma - start));
        start = comma + 1;
        if (item.empty())
            return Error{"the well list holds an empty item; separate wells by single commas, as in A1,B3,C1:D4"};
        WellRect rect;
        rect.text = std::string(item);
        const std::size_t colon = item.find(':');
        const std::string_view first = item.substr(0, colon);
        const std::string_view last = colon == std::string_view::npos ? first : item.substr(colon + 1);
        if (!splitWell(first, rect.firstRow, rect.firstCol) || !splitWell(last, rect.lastRow, rect.lastCol))
            return Error{"'" + rect.text + "' is neither a well such as B3 nor a rectangle of wells such as C1:D4"};
        wells.push_back(std::move(rect));
    }
    return wells;
}

Expected<std::vector<bool>> wellTicks(PlateFormat format, const std::vector<WellRect>& wells)
{
    std::vector<bool> ticks(static_cast<std::size_t>(wellCount(format)), wells.empty());
    for (const WellRect& well : wells) {
        const auto range = readRange(format, well.firstRow, well.lastRow, well.firstCol, well.lastCol);
        if (!range)
            return Error{"the wells '" + well.text + "' do not lie on the " + plateText(format) + ": " +
                         range.error().message};
        const std::vector<int> indices = rangeIndices(format, *range);
        if (indices.empty())
            return Error{"the wells '" + well.text +
                         "' select no well: give the upper left well of a rectangle first, as in C1:D4"};
        for (int index : indices)
            ticks[static_cast<std::size_t>(index)] = true;
    }
    return ticks;
}

Expected<ExportTable> buildExportTable(const RawText& text, const TableChoices& choices,
                                       const ConversionProgress& progress)
{
    ExportTable result;
    // Open text File: the plate size from the last line, unless the user chose it.
    if (choices.plateSize == 96 || choices.plateSize == 384) {
        result.plateSizeIndex = choices.plateSize == 96 ? 0 : 1;
    } else {
        const auto recognised = recognisePlateSize(text);
        if (!recognised)
            return recognised.error();
        if (*recognised == -1)
            return Error{std::string(plateNotRecognised), text.lineCount()};
        result.plateSizeIndex = *recognised;
    }
    const PlateFormat format = plateForIndex(result.plateSizeIndex);
    auto ticks = wellTicks(format, choices.wells);
    if (!ticks)
        return ticks.error();

    // Determine Progs, then the choice in the list.
    const auto programs = detectPrograms(text);
    if (!programs)
        return programs.error();
    result.program = choices.program.value_or(programs->numbers.front());
    if (std::find(programs->numbers.begin(), programs->numbers.end(), result.program) == programs->numbers.end()) {
        std::string offered;
        for (const std::string& program : programs->programs)
            offered += (offered.empty() ? "" : ", ") + program;
        return Error{"program " + std::to_string(result.program) +
                     " is not offered; the programs of more than one cycle are: " + offered};
    }

    // Convert to Grid.
    result.experimentName = experimentName(text);
    auto wellTable = convertRun(text, *programs, {result.program}, result.plateSizeIndex, progress);
    if (!wellTable)
        return wellTable.error();
    result.cycles = wellTable->cycles;

    // Extract Selected Wells, and the answer to the separator question.
    Extraction extraction = extractSelectedWells(wellTable->grid, format, *ticks, choices.decimalSeparator);
    result.wellsExtracted = extraction.wellsExtracted;
    result.missingWells = std::move(extraction.missingWells);
    result.table = std::move(extraction.table);
    if (choices.repairSeparator && extraction.wrongSeparator) {
        repairSeparators(result.table, *extraction.wrongSeparator, choices.decimalSeparator);
        result.replacedSeparator = extraction.wrongSeparator;
    }
    return result;
}

Expected<std::vector<OfferedProgram>> listPrograms(const RawText& text)
{
    const auto programs = detectPrograms(text);
    if (!programs)
        return programs.error();
    std::vector<OfferedProgram> offered;
    for (std::size_t i = 0; i < programs->programs.size(); ++i) {
        // The first well alone tells its cycles.
        ConversionSettings settings = conversionSettings(*programs, programs->numbers[i], -1);
        settings.wellLimit = 1;
        const auto firstWell = convertToGrid(text, settings);
        if (!firstWell)
            return firstWell.error();
        offered.push_back(OfferedProgram{programs->programs[i], firstWell->cycles});
    }
    return offered;
}

std::string escapeTableCell(std::string_view cell)
{
    std::string out;
    out.reserve(cell.size());
    for (char c : cell) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string tableAsText(const Grid& grid)
{
    std::string out;
    for (int row = 0; row < grid.rowCount(); ++row) {
        for (int col = 0; col < grid.colCount(); ++col) {
            if (col > 0)
                out += '\t';
            out += escapeTableCell(grid.cell(row, col));
        }
        out += '\n';
    }
    return out;
}

} // namespace morvane
