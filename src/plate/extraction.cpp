#include "plate/extraction.h"

#include "common/tablelayout.h"
#include "common/text.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace morvane {

namespace {

// The first row from row 0 down whose column 0 names each well, by the name folded to lower
// case: looked up once per well rather than searched for.
std::unordered_map<std::string, int> wellRows(const Grid& wellTable)
{
    std::unordered_map<std::string, int> rows;
    if (wellTable.colCount() == 0)
        return rows;
    rows.reserve(static_cast<std::size_t>(wellTable.rowCount()));
    for (int row = 0; row < wellTable.rowCount(); ++row)
        rows.emplace(foldAscii(wellTable.cell(row, 0)), row);
    return rows;
}

// Characters a reading may hold when written without any decimal separator. The minus of a
// negative exponent (1.5E-3) must not pass for the separator, or the repair would turn the
// reading into two numbers. Bytes of multi-byte characters never count either: replacing one
// would break the UTF-8 text.
bool partOfPlainNumber(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return isAsciiDigit(c) || c == '+' || c == '-' || c == 'E' || c == 'e' || byte <= ' ' || byte >= 0x80;
}

} // namespace

std::vector<int> tickedInPlateRowOrder(PlateFormat format, const std::vector<bool>& ticks)
{
    std::vector<int> indices;
    for (int row = 1; row <= plateRows(format); ++row) {
        for (int col = 1; col <= plateCols(format); ++col) {
            const int index = checkListIndex(format, row, col);
            if (static_cast<std::size_t>(index) < ticks.size() && ticks[static_cast<std::size_t>(index)])
                indices.push_back(index);
        }
    }
    return indices;
}

namespace {

// The rows of the ticked wells in plate row order, the wells without one named in missingWells.
std::vector<int> tickedRows(const Grid& wellTable, PlateFormat format, const std::vector<bool>& ticks,
                            std::vector<std::string>& missingWells)
{
    const auto rows = wellRows(wellTable);
    std::vector<int> sources;
    for (int index : tickedInPlateRowOrder(format, ticks)) {
        const WellPos pos = wellAtIndex(format, index);
        const std::string name = wellName(pos.row, pos.col);
        const auto found = rows.find(foldAscii(name));
        if (found == rows.end())
            missingWells.push_back(name);
        else
            sources.push_back(found->second);
    }
    return sources;
}

// The export table of copies: the well table's row 0, then the source rows; at least 2 rows.
Grid copiedRows(const Grid& wellTable, const std::vector<int>& sources)
{
    const int cols = wellTable.colCount();
    Grid table(std::max(2, static_cast<int>(sources.size()) + 1), cols, 1, 1);
    if (wellTable.rowCount() > 0)
        for (int col = 0; col < cols; ++col)
            table.setCell(0, col, wellTable.cell(0, col));
    int k = 0;
    for (int source : sources) {
        ++k;
        for (int col = 0; col < cols; ++col)
            table.setCell(k, col, wellTable.cell(source, col));
    }
    return table;
}

} // namespace

Extraction extractWells(const Grid& wellTable, PlateFormat format, const std::vector<bool>& ticks)
{
    Extraction result;
    const std::vector<int> sources = tickedRows(wellTable, format, ticks, result.missingWells);
    result.wellsExtracted = static_cast<int>(sources.size());
    result.table = copiedRows(wellTable, sources);
    return result;
}

Extraction extractWells(Grid&& wellTable, PlateFormat format, const std::vector<bool>& ticks)
{
    Extraction result;
    const std::vector<int> sources = tickedRows(wellTable, format, ticks, result.missingWells);
    const int k = static_cast<int>(sources.size());
    result.wellsExtracted = k;
    // Rows in the table's own order (an export lists its wells in plate row order) move up within
    // it, neither copied nor held twice. Each well names a row of its own, so sorted rows differ,
    // and below the heading each lies at or below the row it moves to.
    if ((!sources.empty() && sources.front() == 0) || !std::is_sorted(sources.begin(), sources.end())) {
        result.table = copiedRows(wellTable, sources);
        return result;
    }
    for (int row = 1; row <= k; ++row)
        if (const int source = sources[static_cast<std::size_t>(row - 1)]; source != row)
            for (int col = 0; col < wellTable.colCount(); ++col)
                wellTable.cell(row, col) = std::move(wellTable.cell(source, col));
    wellTable.setRowCount(k + 1);
    if (k == 0)
        wellTable.setRowCount(2); // with no well, row 1 is there and empty
    wellTable.setFixed(1, 1);
    result.table = std::move(wellTable);
    return result;
}

std::vector<bool> tableWellTicks(const Grid& exportTable, PlateFormat format)
{
    std::vector<bool> ticks(static_cast<std::size_t>(wellCount(format)), false);
    const auto rows = wellRows(exportTable);
    for (int index = 0; index < wellCount(format); ++index) {
        const WellPos pos = wellAtIndex(format, index);
        if (rows.contains(foldAscii(wellName(pos.row, pos.col))))
            ticks[static_cast<std::size_t>(index)] = true;
    }
    return ticks;
}

Extraction extractSelectedWells(const Grid& wellTable, PlateFormat format, const std::vector<bool>& ticks,
                                char systemSeparator)
{
    Extraction result = extractWells(wellTable, format, ticks);
    result.wrongSeparator = wrongSeparator(result.table, systemSeparator);
    return result;
}

Extraction extractSelectedWells(Grid&& wellTable, PlateFormat format, const std::vector<bool>& ticks,
                                char systemSeparator)
{
    Extraction result = extractWells(std::move(wellTable), format, ticks);
    result.wrongSeparator = wrongSeparator(result.table, systemSeparator);
    return result;
}

namespace {

std::string firstNames(const std::vector<std::string>& names)
{
    constexpr std::size_t kShown = 5;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i)
        text += (i == 0 ? "" : ", ") + cutForMessage(names[i]);
    return names.size() > kShown ? text + ", ..." : text;
}

std::string wellsText(std::size_t count)
{
    return count == 1 ? "1 well" : std::to_string(count) + " wells";
}

} // namespace

std::string plateWellsWarning(const Grid& wellTable, const std::vector<std::string>& wellsNotConverted,
                              PlateFormat format)
{
    const std::string plate = "the " + std::to_string(wellCount(format)) + "-well plate";
    std::unordered_set<std::string> items;
    for (const std::string& item : checkListItems(format))
        items.insert(foldAscii(item));
    std::vector<std::string> offPlate;
    for (int row = 1; row < wellTable.rowCount() && wellTable.colCount() > 0; ++row) {
        const std::string& well = wellTable.cell(row, 0);
        if (!well.empty() && !items.contains(foldAscii(well)))
            offPlate.push_back(well);
    }
    std::string warning;
    if (!offPlate.empty())
        warning = wellsText(offPlate.size()) + " of the file " + (offPlate.size() == 1 ? "is" : "are") + " not on " +
                  plate + " and cannot be exported: " + firstNames(offPlate) + ".";
    if (!wellsNotConverted.empty())
        warning += std::string(warning.empty() ? "" : " ") + wellsText(wellsNotConverted.size()) +
                   " of the file beyond " + plate + " " + (wellsNotConverted.size() == 1 ? "was" : "were") +
                   " not converted: " + firstNames(wellsNotConverted) + ".";
    return warning;
}

std::string missingWellsWarning(const std::vector<std::string>& wells)
{
    if (wells.empty())
        return "";
    std::string text =
        std::to_string(wells.size()) + (wells.size() == 1 ? " ticked well holds no data and was left out: "
                                                          : " ticked wells hold no data and were left out: ");
    for (std::size_t i = 0; i < wells.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += wells[i];
    }
    return text + ".";
}

std::string replaceseparator(char wrong, char right, std::string_view text)
{
    std::string result(text);
    if (const auto at = result.find(wrong); at != std::string::npos)
        result[at] = right;
    return result;
}

std::optional<char> wrongSeparator(const Grid& exportTable, char systemSeparator)
{
    const bool hasReference = exportTable.rowCount() > 1 && exportTable.colCount() > 2;
    const std::string_view reference = hasReference ? std::string_view(exportTable.cell(1, 2)) : std::string_view();
    if (reference.find(systemSeparator) != std::string_view::npos)
        return std::nullopt;
    char wrong = systemSeparator == ',' ? '.' : ',';
    for (char c : reference)
        if (!partOfPlainNumber(c))
            wrong = c;
    return wrong;
}

std::string separatorQuestion(char wrong, char right)
{
    return std::string("Do you want to REPLACE the wrong decimal separator (\"") + wrong + "\") with the one (\"" +
           right + "\") used by your system?";
}

void repairSeparators(Grid& exportTable, char wrong, char right)
{
    for (int row = 1; row < exportTable.rowCount(); ++row)
        for (int col = kFirstReadingColumn; col < exportTable.colCount(); ++col)
            exportTable.setCell(row, col, replaceseparator(wrong, right, exportTable.cell(row, col)));
}

} // namespace morvane
