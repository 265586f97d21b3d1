#include "plate/plate.h"

#include "common/expects.h"
#include "common/text.h"

#include <algorithm>

namespace morvane {

std::string boundsText(PlateFormat format)
{
    return "Rows must lie within A to " + std::string(1, lastRowLetter(format)) + " and columns within 1 to " +
           std::to_string(plateCols(format)) + ".";
}

bool onPlate(PlateFormat format, const WellRange& range)
{
    const auto rowFits = [&](int row) { return row >= 1 && row <= plateRows(format); };
    const auto colFits = [&](int col) { return col >= 1 && col <= plateCols(format); };
    return rowFits(range.firstRow) && rowFits(range.lastRow) && colFits(range.firstCol) && colFits(range.lastCol);
}

namespace {

Error unreadable(std::string_view what, std::string_view text, std::string_view why, PlateFormat format)
{
    std::string message = "The " + std::string(what);
    if (!text.empty())
        message += " \"" + cutForMessage(text) + "\"";
    message += " " + std::string(why) + " " + boundsText(format);
    return Error{std::move(message)};
}

Expected<int> readRow(PlateFormat format, std::string_view text, std::string_view what)
{
    if (text.empty())
        return unreadable(what, text, "is empty.", format);
    // Any other character would still get a number from rowletterstonumber ("@P" would be P).
    for (char c : text)
        if (!isAsciiLetter(c))
            return unreadable(what, text, "is not a row letter.", format);
    return rowletterstonumber(text);
}

Expected<int> readCol(PlateFormat format, std::string_view text, std::string_view what)
{
    if (text.empty())
        return unreadable(what, text, "is empty.", format);
    // A number too large for an int is a number all the same, and far off the plate.
    const auto value = parseWholeNumberClamped(text);
    if (!value)
        return unreadable(what, text, "is not a whole number.", format);
    return *value;
}

} // namespace

int plateRows(PlateFormat format)
{
    return format == PlateFormat::Wells96 ? 8 : 16;
}

int plateCols(PlateFormat format)
{
    return format == PlateFormat::Wells96 ? 12 : 24;
}

int wellCount(PlateFormat format)
{
    return plateRows(format) * plateCols(format);
}

char lastRowLetter(PlateFormat format)
{
    return static_cast<char>('A' + plateRows(format) - 1);
}

std::string wellName(int row, int col)
{
    return static_cast<char>('A' + row - 1) + std::to_string(col);
}

int checkListIndex(PlateFormat format, int row, int col)
{
    return (col - 1) * plateRows(format) + (row - 1);
}

WellPos wellAtIndex(PlateFormat format, int index)
{
    const int rows = plateRows(format);
    return WellPos{index % rows + 1, index / rows + 1};
}

std::vector<std::string> checkListItems(PlateFormat format)
{
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(wellCount(format)));
    for (int index = 0; index < wellCount(format); ++index) {
        const WellPos pos = wellAtIndex(format, index);
        items.push_back(wellName(pos.row, pos.col));
    }
    return items;
}

PlateChange plateChange(std::optional<PlateFormat> chosen, int wellTableRowCount)
{
    const PlateFormat format = chosen.value_or(PlateFormat::Wells384);
    return PlateChange{chosen == PlateFormat::Wells96, chosen == PlateFormat::Wells384, wellTableRowCount > 2,
                       std::string(1, lastRowLetter(format)), std::to_string(plateCols(format))};
}

std::optional<WellPos> parseWellName(std::string_view name)
{
    std::size_t letters = 0;
    while (letters < name.size() && letters < 2 && isAsciiLetter(name[letters]))
        ++letters;
    const auto col = parseWholeNumber(name.substr(letters), PlusSign::Refused);
    if (letters == 0 || !col || *col < 1)
        return std::nullopt;
    return WellPos{rowletterstonumber(name.substr(0, letters)), *col};
}

int rowletterstonumber(std::string_view label)
{
    auto code = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(upperAscii(label[i]))) - 64; };
    if (label.empty())
        return 0;
    if (label.size() == 1)
        return code(0);
    return code(0) * 26 + code(1);
}

std::string filterRangeEdit(std::string_view text, bool letterField)
{
    std::string result(text);
    if (letterField)
        for (char& c : result)
            c = upperAscii(c);
    // The edit re-runs its change handler after each write-back, so failing last characters go
    // one after another. Row letters stop at P, the last row of the larger plate.
    const auto fits = [&](char c) {
        return letterField ? c >= 'A' && c <= lastRowLetter(PlateFormat::Wells384) : isAsciiDigit(c);
    };
    while (!result.empty() && !fits(result.back()))
        result.pop_back();
    return result;
}

Expected<WellRange> readRange(PlateFormat format, std::string_view startRow, std::string_view stopRow,
                              std::string_view startCol, std::string_view stopCol)
{
    // Reading has no side effects, so all four are read and the first unreadable one in this
    // order is reported.
    const Expected<int> bounds[] = {
        readRow(format, startRow, "\"from\" row"),
        readRow(format, stopRow, "\"thru\" row"),
        readCol(format, startCol, "\"from\" column"),
        readCol(format, stopCol, "\"thru\" column"),
    };
    for (const Expected<int>& bound : bounds)
        if (!bound)
            return bound.error();
    const WellRange range{*bounds[0], *bounds[1], *bounds[2], *bounds[3]};
    if (!onPlate(format, range))
        return Error{boundsText(format)};
    return range;
}

std::vector<int> rangeIndices(PlateFormat format, const WellRange& range)
{
    // A bound off the plate would wrap into the next plate column; readRange never lets one through.
    MORVANE_EXPECTS(onPlate(format, range));
    std::vector<int> indices;
    for (int row = range.firstRow; row <= range.lastRow; ++row)
        for (int col = range.firstCol; col <= range.lastCol; ++col)
            indices.push_back(checkListIndex(format, row, col));
    return indices;
}

} // namespace morvane
