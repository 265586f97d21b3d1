#include "rdml/rdmlplan.h"

#include "common/text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>

namespace morvane::rdml {

// "B12" into row 2, column 12, letter case aside; false for anything else.
bool parseWell(std::string_view name, int& row, int& col)
{
    std::size_t letters = 0;
    row = 0;
    while (letters < name.size() && isAsciiLetter(name[letters]) && letters < 2)
        row = row * 26 + (upperAscii(name[letters++]) - 'A' + 1);
    if (letters == 0 || letters == name.size())
        return false;
    const auto number = parseWholeNumber(name.substr(letters), PlusSign::Refused);
    if (!number)
        return false;
    col = *number;
    return true;
}

namespace {

std::string_view trimBlanks(std::string_view cell)
{
    while (!cell.empty() && cell.front() == ' ')
        cell.remove_prefix(1);
    while (!cell.empty() && cell.back() == ' ')
        cell.remove_suffix(1);
    return cell;
}

} // namespace

bool isDecimalNumber(std::string_view cell)
{
    cell = trimBlanks(cell);
    std::size_t i = 0;
    const std::size_t n = cell.size();
    if (i < n && (cell[i] == '+' || cell[i] == '-'))
        ++i;
    int digits = 0;
    while (i < n && isAsciiDigit(cell[i]))
        ++i, ++digits;
    if (i < n && (cell[i] == '.' || cell[i] == ','))
        for (++i; i < n && isAsciiDigit(cell[i]); ++i)
            ++digits;
    if (digits == 0)
        return false;
    if (i < n && (cell[i] == 'e' || cell[i] == 'E')) {
        ++i;
        if (i < n && (cell[i] == '+' || cell[i] == '-'))
            ++i;
        const std::size_t start = i;
        while (i < n && isAsciiDigit(cell[i]))
            ++i;
        if (i == start)
            return false;
    }
    return i == n;
}

// Appends a number with a point for its decimal separator; false when the cell is no decimal
// number (an xs:float without INF and NaN). Blanks around it are dropped.
bool appendNumber(std::string& out, std::string_view cell)
{
    if (!isDecimalNumber(cell))
        return false;
    cell = trimBlanks(cell);
    const std::size_t at = out.size();
    out.append(cell);
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), ',', '.');
    return true;
}

void appendInt(std::string& out, long long value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// A name XML 1.0 can hold and a reader gets back unchanged: valid UTF-8 without control
// characters (a tab or line break in an attribute would come back as a blank) and without the
// non-characters U+FFFE and U+FFFF.
Status checkName(std::string_view name, const std::string& what)
{
    if (name.empty())
        return Error{what + " is empty; RDML needs a name"};
    for (std::size_t pos = 0; pos < name.size();) {
        const std::size_t at = pos;
        const auto cp = decodeUtf8(name, pos);
        if (!cp)
            return Error{what + " " + quoteForMessage(name) + " is not valid UTF-8 text"};
        if (*cp < 0x20 || *cp == 0xFFFE || *cp == 0xFFFF) {
            char code[8];
            std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(*cp));
            return Error{what + " " + quoteForMessage(name) + " holds a character XML cannot hold (U+" + code +
                         " at byte " + std::to_string(at + 1) + "); rename it and export again"};
        }
    }
    return success();
}

namespace {

std::string sampleCell(std::string_view cell)
{
    while (!cell.empty() && cell.front() == ' ')
        cell.remove_prefix(1);
    return std::string(cell);
}

} // namespace

Expected<Plan> makePlan(const RdmlContent& content, RdmlSummary& summary)
{
    if (content.tables.empty() || content.tables.size() != content.channels.size())
        return Error{"no channel to write, or a channel without its table"};
    for (std::size_t i = 0; i < content.channels.size(); ++i) {
        if (auto ok = checkName(content.channels[i], "the channel name"); !ok)
            return ok.error();
        if (std::find(content.channels.begin(), content.channels.begin() + static_cast<std::ptrdiff_t>(i),
                      content.channels[i]) != content.channels.begin() + static_cast<std::ptrdiff_t>(i))
            return Error{"the channel " + quoteForMessage(content.channels[i]) + " is named twice"};
    }

    const PlateFormat format = content.format;
    const int wells = wellCount(format);
    const std::size_t channels = content.tables.size();
    std::vector<std::vector<int>> rowsById(static_cast<std::size_t>(wells) + 1);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const Grid& table = *content.tables[channel];
        if (table.colCount() < 2)
            continue;
        for (int row = 1; row < table.rowCount(); ++row) {
            const std::string& name = table.cell(row, 0);
            if (name.empty())
                continue; // the empty row of a table without wells
            int r = 0;
            int c = 0;
            if (!parseWell(name, r, c) || r < 1 || r > plateRows(format) || c < 1 || c > plateCols(format)) {
                if (channel == 0)
                    summary.wellsOffPlate.push_back(name);
                continue;
            }
            const auto index = static_cast<std::size_t>(checkListIndex(format, r, c));
            if (!content.ticks.empty() && (index >= content.ticks.size() || !content.ticks[index]))
                continue;
            auto& rows = rowsById[static_cast<std::size_t>(reactId(format, r, c))];
            if (rows.empty())
                rows.assign(channels, -1);
            if (rows[channel] < 0) // a well the file holds twice keeps its first readings
                rows[channel] = row;
        }
    }

    Plan plan;
    std::unordered_map<int, const MeltWell*> meltById;
    if (content.melt) {
        plan.meltChannels = content.melt->channels.size();
        for (const std::string& channel : content.channels) {
            const auto& names = content.melt->channels;
            const auto found = std::find(names.begin(), names.end(), channel);
            plan.meltChannel.push_back(found == names.end() ? -1 : static_cast<int>(found - names.begin()));
        }
        for (const MeltWell& well : content.melt->wells) {
            int r = 0;
            int c = 0;
            if (parseWell(well.name, r, c) && r >= 1 && r <= plateRows(format) && c >= 1 && c <= plateCols(format))
                meltById.try_emplace(reactId(format, r, c), &well);
        }
    }

    std::unordered_map<std::string, bool> sampleSeen;
    for (int id = 1; id <= wells; ++id) {
        auto& rows = rowsById[static_cast<std::size_t>(id)];
        if (rows.empty())
            continue;
        React react;
        react.id = id;
        const int row = (id - 1) / plateCols(format) + 1;
        const int col = (id - 1) % plateCols(format) + 1;
        react.well = wellName(row, col);
        for (std::size_t channel = 0; channel < channels && react.sample.empty(); ++channel)
            if (rows[channel] >= 0 && content.tables[channel]->colCount() > 1)
                react.sample = sampleCell(content.tables[channel]->cell(rows[channel], 1));
        if (react.sample.empty())
            react.sample = react.well;
        if (auto ok = checkName(react.sample, "the sample name of well " + react.well); !ok)
            return ok.error();
        if (sampleSeen.try_emplace(react.sample, true).second)
            plan.samples.push_back(react.sample);
        react.rows = std::move(rows);
        if (const auto melt = meltById.find(id); melt != meltById.end())
            react.melt = melt->second;
        plan.reacts.push_back(std::move(react));
    }
    summary.reacts = static_cast<int>(plan.reacts.size());
    return plan;
}

Error notANumber(const React& react, const std::string& channel, const std::string& what, std::string_view cell)
{
    return Error{"well " + react.well + ", channel " + cutForMessage(channel) + ", " + what + ": " +
                 quoteForMessage(cell) + " is not a number"};
}

} // namespace morvane::rdml
