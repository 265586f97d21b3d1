// Reading a layout: a text table or a workbook's first sheet, cut into rows, and the rows checked
// into the layout's entries.

#include "layout/platelayout.h"

#include "layout/layoutfields.h"
#include "plate/plate.h"

#include "common/text.h"
#include "conversion/rawtext.h"
#include "xlsx/workbook.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace morvane {

using namespace layout;

namespace {

// The separator the header line uses: a tab, else a semicolon (spreadsheets with a decimal
// comma write those), else a comma.
char separatorOf(std::string_view header)
{
    if (header.find('\t') != std::string_view::npos)
        return '\t';
    if (header.find(';') != std::string_view::npos)
        return ';';
    return ',';
}

// The fields of one line; a field in double quotes may hold the separator, "" is a quote.
// False when a quote is not closed on its line.
bool splitFields(std::string_view line, char separator, std::vector<std::string>& fields)
{
    fields.clear();
    std::size_t pos = 0;
    for (;;) {
        std::string field;
        std::size_t start = pos;
        while (start < line.size() && line[start] == ' ')
            ++start;
        if (start < line.size() && line[start] == '"') {
            pos = start + 1;
            for (;;) {
                const std::size_t quote = line.find('"', pos);
                if (quote == std::string_view::npos)
                    return false;
                field.append(line.substr(pos, quote - pos));
                pos = quote + 1;
                if (pos < line.size() && line[pos] == '"') {
                    field += '"';
                    ++pos;
                    continue;
                }
                break;
            }
            const std::size_t next = line.find(separator, pos);
            field.append(line.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos));
            pos = next;
        } else {
            const std::size_t next = line.find(separator, pos);
            field.assign(line.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos));
            pos = next;
        }
        fields.push_back(std::move(field));
        if (pos == std::string_view::npos)
            return true;
        ++pos;
    }
}

Expected<std::string> readBytes(const std::filesystem::path& path, const LayoutLimits& limits)
{
    const std::string name = path.filename().string();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return Error{"cannot open the layout '" + name + "': it is " + fileTypeText(status.type())};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Error{"cannot open the layout '" + path.string() + "': " + std::strerror(errno)};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return Error{"cannot read the layout '" + path.string() + "'"};
    if (static_cast<std::uint64_t>(size) > limits.maxBytes)
        return Error{name + ": the layout has " + std::to_string(size >> 20) + " MB; a layout table has at most " +
                     std::to_string(limits.maxBytes >> 20) + " MB"};
    in.seekg(0, std::ios::beg);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(bytes.data(), size))
        return Error{"cannot read the layout '" + path.string() + "'"};
    return bytes;
}

} // namespace

Expected<PlateLayout> parseLayoutText(std::string bytes, const std::string& name, const LayoutLimits& limits)
{
    if (bytes.size() > limits.maxBytes)
        return Error{name + ": the layout has " + std::to_string(bytes.size() >> 20) +
                     " MB; a layout table has at most " + std::to_string(limits.maxBytes >> 20) + " MB"};
    auto text = RawText::fromBytes(std::move(bytes), name);
    if (!text)
        return Error{name + ": " + describe(text.error())};
    if (text->lineCount() > limits.maxRows)
        return Error{name + ": the layout has " + std::to_string(text->lineCount()) + " lines; a layout has at most " +
                     std::to_string(limits.maxRows)};
    if (text->empty())
        return layoutFromRows(Grid(), name, "line");

    const char separator = separatorOf(text->line(0));
    std::vector<std::vector<std::string>> lines(text->lineCount());
    int columns = 0;
    for (std::size_t i = 0; i < text->lineCount(); ++i) {
        if (!splitFields(text->line(i), separator, lines[i]))
            return Error{name + ", line " + std::to_string(i + 1) + ": a quoted field does not end on its line"};
        columns = std::max(columns, static_cast<int>(lines[i].size()));
    }
    Grid rows(static_cast<int>(lines.size()), columns);
    for (std::size_t i = 0; i < lines.size(); ++i)
        for (std::size_t col = 0; col < lines[i].size(); ++col)
            rows.cell(static_cast<int>(i), static_cast<int>(col)) = text->toUtf8(lines[i][col]);
    return layoutFromRows(rows, name, "line");
}

Expected<PlateLayout> readLayoutFile(const std::filesystem::path& path, const LayoutLimits& limits)
{
    auto bytes = readBytes(path, limits);
    if (!bytes)
        return bytes.error();
    const std::string name = path.filename().string();
    // A workbook is a zip; its extension may have been changed, its signature not.
    if (!bytes->starts_with("PK\x03\x04"))
        return parseLayoutText(std::move(bytes).value(), name, limits);
    auto workbook = XlsxWorkbook::open(std::move(bytes).value(), name);
    if (!workbook)
        return workbook.error();
    if (workbook->tabs().empty())
        return Error{name + ": the workbook has no sheet"};
    auto cells = workbook->sheetCells(0);
    if (!cells)
        return cells.error();
    if (cells->rowCount() > 0 && static_cast<std::size_t>(cells->rowCount()) > limits.maxRows)
        return Error{name + ": the layout has " + std::to_string(cells->rowCount()) + " rows; a layout has at most " +
                     std::to_string(limits.maxRows)};
    return layoutFromRows(*cells, name + ", sheet " + quoteForMessage(workbook->tabs().front().name), "row");
}

namespace {

// Header names meet whatever their letter case and blanks: "sample type", "SampleType".
std::string headerKey(std::string_view name)
{
    std::string key;
    for (char c : trimBlanks(name))
        if (c != ' ' && c != '_')
            key += lowerAscii(c);
    return key;
}

} // namespace

Expected<PlateLayout> layoutFromRows(const Grid& rows, const std::string& name, const char* unit)
{
    const auto place = [&](int row) { return name + ", " + unit + " " + std::to_string(row + 1); };
    PlateLayout layout;
    layout.source = name;
    if (rows.rowCount() == 0)
        return Error{name + ": the layout is empty; its first line names the columns, Well first"};
    int columnOf[kColumnCount];
    std::fill(std::begin(columnOf), std::end(columnOf), -1);
    for (int col = 0; col < rows.colCount(); ++col) {
        const std::string key = headerKey(rows.cell(0, col));
        for (std::size_t known = 0; known < kColumnCount; ++known) {
            if (key != headerKey(kColumnNames[known]))
                continue;
            if (columnOf[known] >= 0)
                return at(place(0), "the column " + quoteForMessage(kColumnNames[known]) + " is named twice");
            columnOf[known] = col;
        }
    }
    if (columnOf[ColWell] < 0)
        return at(place(0), "no column is named \"Well\"; the first line names the columns (Well, Sample, Sample "
                            "Type, Target, Target Type, Dye, Quantity, Quantity Unit, Channel)");

    for (int row = 1; row < rows.rowCount(); ++row) {
        std::string cells[kColumnCount];
        bool any = false;
        for (std::size_t known = 0; known < kColumnCount; ++known)
            if (columnOf[known] >= 0) {
                cells[known] = trimBlanks(rows.cell(row, columnOf[known]));
                any = any || !cells[known].empty();
            }
        if (!any)
            continue;
        LayoutEntry entry;
        entry.place = place(row);
        if (cells[ColWell].empty())
            return at(entry.place, "no well is given");
        const auto well = parseWellName(cells[ColWell]);
        if (!well)
            return at(entry.place, quoteForMessage(cells[ColWell]) + " is not a well such as B3");
        entry.row = well->row;
        entry.col = well->col;
        if (auto ok = readFields(entry, cells); !ok)
            return ok.error();
        layout.entries.push_back(std::move(entry));
    }
    if (auto ok = checkLayoutConsistency(layout); !ok)
        return ok.error();
    return layout;
}

} // namespace morvane
