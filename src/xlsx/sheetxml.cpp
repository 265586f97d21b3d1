#include "xlsx/sheetxml.h"

#include "common/text.h"
#include "xlsx/sheetname.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <variant>

namespace morvane::xlsx {

std::string columnName(int col)
{
    std::string name;
    for (int c = col; c > 0; c = (c - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    return name;
}

std::string cellReference(int row, int col)
{
    return columnName(col) + std::to_string(row);
}

namespace {

// A decimal of at most 15 significant digits stands for one double and no other does, so when
// the value is such a decimal with k places (the fewest), those digits are its shortest text.
// Scaling by powers of ten finds them several times faster than the general search, for the
// short readings that fill a sheet. Written as to_chars would: fixed, which is shorter than the
// exponent form from 0.001 up, and for whole numbers below 100000 (100000 is "1e+05"). False for
// anything else, which the general search writes.
bool appendShortDecimal(std::string& out, double value)
{
    static constexpr double kPowersOfTen[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    constexpr double kFifteenDigits = 1e15;
    const double magnitude = std::fabs(value);
    if (!(magnitude >= 1e-3 && magnitude < kFifteenDigits))
        return false;
    for (std::size_t places = 0; places < std::size(kPowersOfTen); ++places) {
        const double scaled = magnitude * kPowersOfTen[places];
        if (scaled >= kFifteenDigits)
            return false;
        // Only the whole number nearest to it can be the digits: below 10^15 the product is within
        // a quarter of them. Adding a half and cutting rounds it without a call into the maths
        // library; the product is positive, and one within a hair of a half is no one's digits
        // whichever way it goes.
        // NOLINTNEXTLINE(bugprone-incorrect-roundings)
        const auto digits = static_cast<std::uint64_t>(scaled + 0.5);
        if (static_cast<double>(digits) / kPowersOfTen[places] != magnitude)
            continue;
        if (places == 0 && magnitude >= 1e5)
            return false;
        char text[24];
        const auto length = static_cast<std::size_t>(std::to_chars(text, text + sizeof text, digits).ptr - text);
        if (value < 0)
            out += '-';
        if (length > places) {
            out.append(text, length - places);
            if (places > 0) {
                out += '.';
                out.append(text + length - places, places);
            }
        } else {
            out += "0.";
            out.append(places - length, '0');
            out.append(text, length);
        }
        return true;
    }
    return false;
}

} // namespace

void appendNumber(std::string& out, double value)
{
    if (appendShortDecimal(out, value))
        return;
    char buffer[32];
    // -0 has no meaning in a sheet; Excel shows it as 0.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value == 0 ? 0.0 : value);
    out.append(buffer, result.ptr);
}

namespace {

void appendNumber(std::string& out, long long value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace

Status checkValues(const ValueBlock& block, int firstRow, int firstCol)
{
    for (int i = 1; i <= block.rows(); ++i) {
        for (int j = 1; j <= block.cols(); ++j) {
            const CellValue& value = block.at(i, j);
            const auto where = [&] { return cellReference(firstRow + i - 1, firstCol + j - 1); };
            if (const auto* real = std::get_if<double>(&value); real && !std::isfinite(*real))
                return Error{"The value for cell " + where() + " is not a finite number; a sheet cannot hold it."};
            if (const auto* text = std::get_if<std::string>(&value)) {
                if (!isValidUtf8(*text))
                    return Error{"The text for cell " + where() + " is not valid UTF-8 text."};
                if (sheetNameLength(*text) > kMaxCellTextLength)
                    return Error{"The text for cell " + where() +
                                 " is longer than 32,767 characters, the most a cell can hold."};
            }
        }
    }
    return success();
}

std::size_t sheetDataSizeHint(const ValueBlock& block)
{
    // A cell is `<c r="AB123" s="1"><v>` and `</v></c>` around a value of mostly six to eight
    // characters: about 36 bytes. Too little would copy the whole text once more as it grows.
    const auto rows = static_cast<std::size_t>(block.rows());
    return rows * static_cast<std::size_t>(block.cols()) * 36 + rows * 24 + 32;
}

void appendSheetData(std::string& out, const ValueBlock& block, int firstRow, int firstCol, int style,
                     const std::function<std::size_t(const std::string&)>& sharedString)
{
    // What stands before a cell's value is its column's `<c r="B` and its row's `2" s="1"`, each
    // made once.
    std::vector<std::string> columns;
    columns.reserve(static_cast<std::size_t>(block.cols()));
    for (int j = 0; j < block.cols(); ++j)
        columns.push_back("<c r=\"" + columnName(firstCol + j));
    const std::string styleAttribute = "\" s=\"" + std::to_string(style) + "\"";
    std::string rowAndStyle;

    out += "<sheetData>";
    for (int i = 1; i <= block.rows(); ++i) {
        const long long row = firstRow + i - 1;
        rowAndStyle.clear();
        appendNumber(rowAndStyle, row);
        out += "<row r=\"";
        out += rowAndStyle;
        out += "\">";
        rowAndStyle += styleAttribute;
        for (int j = 1; j <= block.cols(); ++j) {
            out += columns[static_cast<std::size_t>(j - 1)];
            out += rowAndStyle;
            const CellValue& value = block.at(i, j);
            if (const auto* whole = std::get_if<std::int32_t>(&value)) {
                out += "><v>";
                appendNumber(out, static_cast<long long>(*whole));
                out += "</v></c>";
            } else if (const auto* real = std::get_if<double>(&value)) {
                out += "><v>";
                appendNumber(out, *real);
                out += "</v></c>";
            } else if (const auto* text = std::get_if<std::string>(&value); text && !text->empty()) {
                out += " t=\"s\"><v>";
                appendNumber(out, static_cast<long long>(sharedString(*text)));
                out += "</v></c>";
            } else {
                out += "/>";
            }
        }
        out += "</row>";
    }
    out += "</sheetData>";
}

void appendWorksheetStart(std::string& out, std::string_view dimension, bool tabSelected)
{
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
    out += "<dimension ref=\"";
    out += dimension;
    out += "\"/><sheetViews><sheetView ";
    if (tabSelected)
        out += "tabSelected=\"1\" ";
    out += "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>";
}

void appendWorksheetEnd(std::string& out)
{
    out += "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
           "</worksheet>";
}

} // namespace morvane::xlsx
