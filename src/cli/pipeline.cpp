#include "cli/pipeline.h"

#include "common/text.h"
#include "conversion/platesize.h"
#include "conversion/programs.h"
#include "export/tablepipeline.h"
#include "plate/extraction.h"

#include <algorithm>

namespace morvane {

namespace {

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
        const std::size_t colon = item.find(':');
        const auto first = parseWellName(item.substr(0, colon));
        const auto last = colon == std::string_view::npos ? first : parseWellName(item.substr(colon + 1));
        if (!first || !last)
            return Error{quoteForMessage(item) +
                         " is neither a well such as B3 nor a rectangle of wells such as C1:D4"};
        wells.push_back(WellRect{std::string(item), *first, *last});
    }
    return wells;
}

Expected<std::vector<bool>> wellTicks(PlateFormat format, const std::vector<WellRect>& wells)
{
    std::vector<bool> ticks(static_cast<std::size_t>(wellCount(format)), wells.empty());
    for (const WellRect& well : wells) {
        const WellRange range{well.first.row, well.last.row, well.first.col, well.last.col};
        if (!onPlate(format, range))
            return Error{"the wells " + quoteForMessage(well.text) + " do not lie on the " + plateText(format) + ": " +
                         boundsText(format)};
        const std::vector<int> indices = rangeIndices(format, range);
        if (indices.empty())
            return Error{"the wells " + quoteForMessage(well.text) +
                         " select no well: give the upper left well of a rectangle first, as in C1:D4"};
        for (int index : indices)
            ticks[static_cast<std::size_t>(index)] = true;
    }
    return ticks;
}

namespace {

std::string offeredRuns(const ProgramList& programs)
{
    std::string offered;
    for (const OfferedRun& run : programs.runs)
        offered += (offered.empty() ? "" : ", ") + cutForMessage(run.name());
    return offered;
}

std::string offeredChannels(const ProgramList& programs)
{
    std::string offered;
    for (const std::string& channel : programs.columns.channels)
        offered += (offered.empty() ? "" : ", ") + cutForMessage(channel);
    return offered;
}

} // namespace

Expected<ResolvedChoices> resolveChoices(const ProgramList& programs, const TableChoices& choices)
{
    ResolvedChoices resolved;
    resolved.run = choices.run ? findRun(programs, *choices.run) : &programs.runs.front();
    if (!resolved.run) {
        const bool segmented = std::any_of(programs.runs.begin(), programs.runs.end(),
                                           [](const OfferedRun& run) { return run.segment.has_value(); });
        return Error{"program " + cutForMessage(*choices.run) + " is not offered; the " +
                     (segmented ? "runs" : "programs of more than one cycle") + " are: " + offeredRuns(programs)};
    }
    const auto& channels = programs.columns.channels;
    if (choices.allChannels) {
        for (std::size_t i = 0; i < channels.size(); ++i)
            resolved.channels.push_back(static_cast<int>(i));
    } else if (choices.channels.empty()) {
        resolved.channels.push_back(0);
    }
    for (const std::string& name : choices.channels) {
        const auto found = std::find(channels.begin(), channels.end(), name);
        if (found == channels.end())
            return Error{"channel " + quoteForMessage(name) +
                         " is not in the file; its channels are: " + offeredChannels(programs)};
        resolved.channels.push_back(static_cast<int>(found - channels.begin()));
    }
    return resolved;
}

Expected<std::vector<ExportTable>> buildExportTables(const RawText& text, const ProgramList& programs,
                                                     const ResolvedChoices& resolved, const TableChoices& choices,
                                                     const ConversionProgress& progress)
{
    // Open text File: the plate size from the last line, unless the user chose it.
    std::optional<PlateFormat> plate = choices.plate;
    if (!plate) {
        const auto recognised = recognisePlateSize(text);
        if (!recognised)
            return recognised.error();
        if (!*recognised)
            return Error{std::string(kPlateNotRecognised), text.lineCount()};
        plate = *recognised;
    }
    const PlateFormat format = *plate;
    auto ticks = wellTicks(format, choices.wells);
    if (!ticks)
        return ticks.error();

    std::vector<ExportTable> tables;
    const std::string name = experimentName(text);
    for (int channel : resolved.channels) {
        ExportTable result;
        result.plate = format;
        result.run = resolved.run->name();
        result.experimentName = name;
        result.channel = programs.columns.channels[static_cast<std::size_t>(channel)];
        result.proposedSheetName = proposedSheetName(text, programs, channel,
                                                     resolved.run->segment ? resolved.run->segmentText : std::string());

        // Convert to Grid, and its checks.
        const RunChoice run{resolved.run->program, resolved.run->segment, channel};
        auto checked = convertAndCheck(text, programs, run, format, progress);
        if (!checked)
            return checked.error();
        WellTable& wellTable = checked->table;
        result.cycles = wellTable.cycles;
        result.plateWarning = std::move(checked->plateWarning);
        result.findings = std::move(checked->findings);
        for (int row = 1; row < wellTable.grid.rowCount(); ++row)
            result.wellsWithData.push_back(wellTable.grid.cell(row, 0));

        // Extract Selected Wells, and the answer to the separator question. The well table is not
        // needed afterwards, so its rows are the export table's.
        Extraction extraction =
            extractSelectedWells(std::move(wellTable.grid), format, *ticks, choices.decimalSeparator);
        result.wellsExtracted = extraction.wellsExtracted;
        result.missingWells = std::move(extraction.missingWells);
        result.table = std::move(extraction.table);
        if (choices.repairSeparator && extraction.wrongSeparator) {
            repairSeparators(result.table, *extraction.wrongSeparator, choices.decimalSeparator);
            result.replacedSeparator = extraction.wrongSeparator;
        }
        tables.push_back(std::move(result));
    }
    return tables;
}

std::vector<OfferedProgram> listPrograms(const ProgramList& programs)
{
    // The detection counted the first well's cycles: a file of thousands of programs is not
    // converted once per program.
    std::vector<OfferedProgram> offered;
    offered.reserve(programs.runs.size());
    for (const OfferedRun& run : programs.runs)
        offered.push_back(OfferedProgram{run.name(), run.firstWellCycles});
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
            // Other control characters would steer a terminal the table is printed on.
            if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
                static constexpr char kHex[] = "0123456789abcdef";
                const auto byte = static_cast<unsigned char>(c);
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xf];
            } else {
                out += c;
            }
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
