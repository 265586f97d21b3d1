#include "plate/plate.h"

#include "common/text.h"

#include <algorithm>

namespace morvane {

namespace {

std::string boundsText(PlateFormat format)
{
    return "Rows must lie within A to " + std::string(1, lastRowLetter(format)) + " and columns within 1 to " +
           std::to_string(plateCols(format)) + ".";
}

Error unreadable(std::string_view what, std::string_view text, std::string_view why, PlateFormat format)
{
    std::string message = "The " + std::string(what);
    if (!text.empty())
        message += " \"" + std::string(text) + "\"";
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

PlateFormat plateForIndex(int plateSizeIndex)
{
    return plateSizeIndex == 0 ? PlateFormat::Wells96 : PlateFormat::Wells384;
}

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

PlateChange plateChange(int plateSizeIndex, int wellTableRowCount)
{
    const PlateFormat format = plateForIndex(plateSizeIndex);
    return PlateChange{plateSizeIndex == 0, plateSizeIndex == 1, wellTableRowCount > 2,
                       std::string(1, lastRowLetter(format)), std::to_string(plateCols(format))};
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
    const auto firstRow = readRow(format, startRow, "\"from\" row");
    if (!firstRow)
        return firstRow.error();
    const auto lastRow = readRow(format, stopRow, "\"thru\" row");
    if (!lastRow)
        return lastRow.error();
    const auto firstCol = readCol(format, startCol, "\"from\" column");
    if (!firstCol)
        return firstCol.error();
    const auto lastCol = readCol(format, stopCol, "\"thru\" column");
    if (!lastCol)
        return lastCol.error();

    const auto rowFits = [&](int row) { return row >= 1 && row <= plateRows(format); };
    const auto colFits = [&](int col) { return col >= 1 && col <= plateCols(format); };
    if (!rowFits(*firstRow) || !rowFits(*lastRow) || !colFits(*firstCol) || !colFits(*lastCol))
        return Error{boundsText(format)};
    return WellRange{*firstRow, *lastRow, *firstCol, *lastCol};
}

std::vector<int> rangeIndices(PlateFormat format, const WellRange& range)
{
    // Clipped to the plate, so that a well outside it never wraps into the next plate column.
    const int firstRow = std::max(range.firstRow, 1);
    const int lastRow = std::min(range.lastRow, plateRows(format));
    const int firstCol = std::max(range.firstCol, 1);
    const int lastCol = std::min(range.lastCol, plateCols(format));
    std::vector<int> indices;
    for (int row = firstRow; row <= lastRow; ++row)
        for (int col = firstCol; col <= lastCol; ++col)
            indices.push_back(checkListIndex(format, row, col));
    return indices;
}

std::string gridSizeWarning(int windowOuterWidth)
{
    return windowOuterWidth < kWells384MapWidth ? "Window has been resized; some wells be not be shown in grid" : "";
}

} // namespace morvane
