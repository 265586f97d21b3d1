#include "layout/platelayout.h"

#include "common/decimal.h"
#include "common/text.h"
#include "plate/plate.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace morvane {

namespace {

enum Column { ColWell, ColSample, ColSampleType, ColTarget, ColTargetType, ColDye, ColQuantity, ColUnit, ColChannel };
constexpr std::string_view kColumnNames[] = {"Well", "Sample",   "Sample Type",   "Target", "Target Type",
                                             "Dye",  "Quantity", "Quantity Unit", "Channel"};
constexpr std::size_t kColumnCount = std::size(kColumnNames);

// Header names meet whatever their letter case and blanks: "sample type", "SampleType".
std::string headerKey(std::string_view name)
{
    std::string key;
    for (char c : trimBlanks(name))
        if (c != ' ' && c != '_')
            key += lowerAscii(c);
    return key;
}

// The code of `list` that `text` spells, letter case aside; empty when none.
template <std::size_t N> std::string_view codeOf(std::string_view text, const std::string_view (&list)[N])
{
    for (std::string_view code : list)
        if (equalsIgnoringAsciiCase(code, text))
            return code;
    return {};
}

template <std::size_t N> std::string listed(const std::string_view (&list)[N])
{
    std::string out;
    for (std::string_view code : list)
        out += (out.empty() ? "" : ", ") + std::string(code);
    return out;
}

// A positive number with either decimal separator, as text with a point; empty when it is none.
std::string positiveNumber(std::string_view text)
{
    const auto value = parseDecimalEitherSeparator(text);
    if (!value || *value <= 0)
        return {};
    std::string pointed(text);
    std::replace(pointed.begin(), pointed.end(), ',', '.');
    return pointed;
}

double numberValue(const std::string& pointed)
{
    return parseDecimal(pointed).value_or(0);
}

Error at(const std::string& place, const std::string& message)
{
    return Error{place + ": " + message};
}

// Sets the checked codes and numbers of an entry from the cells of a row.
Status readFields(LayoutEntry& entry, const std::string (&cells)[kColumnCount])
{
    entry.sample = cells[ColSample];
    entry.target = cells[ColTarget];
    entry.dye = cells[ColDye];
    entry.channel = cells[ColChannel];
    if (!cells[ColSampleType].empty()) {
        entry.sampleType = codeOf(cells[ColSampleType], kSampleTypes);
        if (entry.sampleType.empty())
            return at(entry.place, "the sample type " + quoteForMessage(cells[ColSampleType]) + " is none of " +
                                       listed(kSampleTypes));
    }
    if (!cells[ColTargetType].empty()) {
        entry.targetType = codeOf(cells[ColTargetType], kTargetTypes);
        if (entry.targetType.empty())
            return at(entry.place, "the target type " + quoteForMessage(cells[ColTargetType]) + " is none of " +
                                       listed(kTargetTypes));
    }
    if (!cells[ColQuantity].empty()) {
        entry.quantity = positiveNumber(cells[ColQuantity]);
        if (entry.quantity.empty())
            return at(entry.place, "the quantity " + quoteForMessage(cells[ColQuantity]) + " is not a positive number");
    }
    if (!cells[ColUnit].empty()) {
        entry.quantityUnit = codeOf(cells[ColUnit], kQuantityUnits);
        if (entry.quantityUnit.empty())
            return at(entry.place,
                      "the quantity unit " + quoteForMessage(cells[ColUnit]) + " is none of " + listed(kQuantityUnits));
    }
    if (!entry.quantity.empty() && entry.quantityUnit.empty())
        entry.quantityUnit = "cop";
    if (entry.quantity.empty())
        entry.quantityUnit.clear();
    return success();
}

// First place a value was given, for "given two ...": the value and where.
struct Given {
    std::string value;
    std::string place;
};

// Records `value` for `key`; an error when the key already has another one.
template <typename Key>
Status agree(std::map<Key, Given>& seen, const Key& key, const std::string& value, const std::string& place,
             const std::string& what)
{
    if (value.empty())
        return success();
    const auto [it, added] = seen.try_emplace(key, Given{value, place});
    if (added || it->second.value == value)
        return success();
    return at(place, what + ": " + quoteForMessage(it->second.value) + " (" + it->second.place + ") and " +
                         quoteForMessage(value));
}

} // namespace

const LayoutEntry* PlateLayout::find(int row, int col, std::string_view channel) const
{
    const LayoutEntry* general = nullptr;
    for (const LayoutEntry& entry : entries) {
        if (entry.row != row || entry.col != col)
            continue;
        if (!entry.channel.empty() && entry.channel == channel)
            return &entry;
        if (entry.channel.empty() && !general)
            general = &entry;
    }
    return general;
}

std::string PlateLayout::sampleOf(int row, int col) const
{
    for (const LayoutEntry& entry : entries)
        if (entry.row == row && entry.col == col && !entry.sample.empty())
            return entry.sample;
    return {};
}

std::string PlateLayout::sampleTypeOf(std::string_view sample) const
{
    for (const LayoutEntry& entry : entries)
        if (entry.sample == sample && !entry.sampleType.empty())
            return entry.sampleType;
    return {};
}

Status checkLayoutConsistency(const PlateLayout& layout)
{
    std::map<std::tuple<int, int, std::string>, Given> wellChannels;
    std::map<std::pair<int, int>, Given> wellSamples;
    std::map<std::string, Given> sampleTypes, targetTypes, targetDyes;
    std::map<std::pair<std::string, std::string>, Given> quantities;
    for (const LayoutEntry& entry : layout.entries) {
        // Rows without a channel are told apart by their dye until fitLayout settles which
        // channel each one describes.
        const std::string channelKey = entry.channel.empty() ? "\x01" + entry.dye : entry.channel;
        const auto [it, added] =
            wellChannels.try_emplace({entry.row, entry.col, channelKey}, Given{entry.well(), entry.place});
        if (!added)
            return at(entry.place, "well " + quoteForMessage(entry.well()) + " is listed again" +
                                       (entry.channel.empty() ? "" : " for channel " + quoteForMessage(entry.channel)) +
                                       " (first at " + it->second.place + ")");
        if (auto ok = agree(wellSamples, std::pair{entry.row, entry.col}, entry.sample, entry.place,
                            "the well " + entry.well() + " is given two samples");
            !ok)
            return ok;
        if (!entry.sample.empty())
            if (auto ok = agree(sampleTypes, entry.sample, entry.sampleType, entry.place,
                                "the sample " + quoteForMessage(entry.sample) + " is given two types");
                !ok)
                return ok;
        if (!entry.target.empty()) {
            const std::string target = "the target " + quoteForMessage(entry.target);
            if (auto ok =
                    agree(targetTypes, entry.target, entry.targetType, entry.place, target + " is given two types");
                !ok)
                return ok;
            if (auto ok = agree(targetDyes, entry.target, entry.dye, entry.place, target + " is given two dyes"); !ok)
                return ok;
        }
        if (!entry.sample.empty() && !entry.quantity.empty()) {
            const std::string value = entry.quantity + " " + entry.quantityUnit;
            const auto key = std::pair{entry.sample, entry.target};
            const auto [q, first] = quantities.try_emplace(key, Given{value, entry.place});
            const std::string& earlier = q->second.value;
            if (!first && (earlier.substr(earlier.find(' ')) != " " + entry.quantityUnit ||
                           numberValue(earlier.substr(0, earlier.find(' '))) != numberValue(entry.quantity))) {
                // NOLINTBEGIN(performance-inefficient-string-concatenation): once, on the way out
                return at(entry.place, "the sample " + quoteForMessage(entry.sample) + " is given two quantities" +
                                           (entry.target.empty() ? "" : " for " + quoteForMessage(entry.target)) +
                                           ": " + earlier + " (" + q->second.place + ") and " + value);
                // NOLINTEND(performance-inefficient-string-concatenation)
            }
        }
    }
    return success();
}

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

Status fitLayout(PlateLayout& layout, PlateFormat format, std::span<const std::string> channels)
{
    for (const LayoutEntry& entry : layout.entries) {
        if (entry.row < 1 || entry.row > plateRows(format) || entry.col < 1 || entry.col > plateCols(format))
            return at(entry.place, "the well " + quoteForMessage(entry.well()) + " is not on the " +
                                       std::to_string(wellCount(format)) + "-well plate");
        if (!entry.channel.empty() && std::find(channels.begin(), channels.end(), entry.channel) == channels.end()) {
            std::string offered;
            for (const std::string& channel : channels)
                offered += (offered.empty() ? "" : ", ") + channel;
            return at(entry.place, "the channel " + quoteForMessage(entry.channel) + " is not one the export reads (" +
                                       offered + ")");
        }
    }
    // A well listed several times without a channel: each row's dye names its channel.
    std::map<std::pair<int, int>, int> general;
    for (const LayoutEntry& entry : layout.entries)
        if (entry.channel.empty())
            ++general[{entry.row, entry.col}];
    for (LayoutEntry& entry : layout.entries) {
        if (!entry.channel.empty() || general[{entry.row, entry.col}] < 2)
            continue;
        if (std::find(channels.begin(), channels.end(), entry.dye) == channels.end())
            return at(entry.place, "the well " + quoteForMessage(entry.well()) +
                                       " is listed more than once without a channel; give a Channel column, or dyes "
                                       "named after the export's channels, to say which reading each row describes");
        entry.channel = entry.dye;
    }
    return checkLayoutConsistency(layout);
}

Status editLayout(PlateLayout& layout, std::span<const WellPos> wells, const LayoutEdit& edit)
{
    std::string cells[kColumnCount];
    const auto set = [&](Column column, const std::optional<std::string>& value) {
        if (value)
            cells[column] = trimBlanks(*value);
    };
    set(ColSample, edit.sample);
    set(ColSampleType, edit.sampleType);
    set(ColTarget, edit.target);
    set(ColTargetType, edit.targetType);
    set(ColQuantity, edit.quantity);
    set(ColUnit, edit.quantityUnit);
    LayoutEntry checked;
    checked.place = "the edit";
    if (auto ok = readFields(checked, cells); !ok)
        return ok;

    PlateLayout edited = layout;
    for (const WellPos& well : wells) {
        bool hasGeneral = false;
        for (LayoutEntry& entry : edited.entries) {
            if (entry.row != well.row || entry.col != well.col)
                continue;
            const bool wholeWell = entry.channel.empty();
            hasGeneral = hasGeneral || wholeWell;
            if (edit.sample)
                entry.sample = checked.sample;
            if (edit.sampleType)
                entry.sampleType = checked.sampleType;
            if (edit.quantity) {
                entry.quantity = checked.quantity;
                entry.quantityUnit = checked.quantityUnit;
            } else if (edit.quantityUnit && !entry.quantity.empty() && !checked.quantityUnit.empty()) {
                entry.quantityUnit = checked.quantityUnit;
            }
            if (wholeWell && edit.target)
                entry.target = checked.target;
            if (wholeWell && edit.targetType)
                entry.targetType = checked.targetType;
        }
        if (!hasGeneral) {
            LayoutEntry entry = checked;
            entry.row = well.row;
            entry.col = well.col;
            entry.place = "well " + wellName(well.row, well.col);
            if (!edit.quantity)
                entry.quantityUnit.clear();
            edited.entries.push_back(std::move(entry));
        }
    }
    for (LayoutEntry& entry : edited.entries)
        if (entry.place.find(", ") == std::string::npos)
            entry.place = "well " + entry.well();
    std::stable_sort(edited.entries.begin(), edited.entries.end(), [](const LayoutEntry& a, const LayoutEntry& b) {
        return std::tie(a.row, a.col) < std::tie(b.row, b.col);
    });
    if (auto ok = checkLayoutConsistency(edited); !ok)
        return ok;
    layout = std::move(edited);
    return success();
}

std::string layoutTable(const PlateLayout& layout)
{
    const bool channels = std::any_of(layout.entries.begin(), layout.entries.end(),
                                      [](const LayoutEntry& e) { return !e.channel.empty(); });
    std::vector<const LayoutEntry*> sorted;
    for (const LayoutEntry& entry : layout.entries)
        sorted.push_back(&entry);
    std::stable_sort(sorted.begin(), sorted.end(), [](const LayoutEntry* a, const LayoutEntry* b) {
        return std::tie(a->row, a->col) < std::tie(b->row, b->col);
    });
    // A tab or line break in a name would break the table; RDES has blanks there instead.
    const auto cell = [](std::string text) {
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
        return text;
    };
    std::string out = "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tQuantity\tQuantity Unit";
    out += channels ? "\tChannel\n" : "\n";
    for (const LayoutEntry* e : sorted) {
        out += e->well() + '\t' + cell(e->sample) + '\t' + e->sampleType + '\t' + cell(e->target) + '\t' +
               e->targetType + '\t' + cell(e->dye) + '\t' + e->quantity + '\t' + e->quantityUnit;
        if (channels)
            out += '\t' + cell(e->channel);
        out += '\n';
    }
    return out;
}

std::string sampleCellText(std::string_view name)
{
    std::string cell;
    std::size_t pos = 0;
    while (pos < name.size()) {
        while (pos < name.size() && (name[pos] == ' ' || name[pos] == '\t'))
            ++pos;
        const std::size_t start = pos;
        while (pos < name.size() && name[pos] != ' ' && name[pos] != '\t')
            ++pos;
        if (pos > start)
            cell += ' ' + std::string(name.substr(start, pos - start));
    }
    return cell;
}

int applySampleNames(Grid& table, const PlateLayout& layout)
{
    int changed = 0;
    if (table.colCount() < 2)
        return 0;
    for (int row = 1; row < table.rowCount(); ++row) {
        const auto well = parseWellName(table.cell(row, 0));
        if (!well)
            continue;
        const std::string sample = layout.sampleOf(well->row, well->col);
        if (sample.empty())
            continue;
        std::string cell = sampleCellText(sample);
        if (cell != table.cell(row, 1)) {
            table.cell(row, 1) = std::move(cell);
            ++changed;
        }
    }
    return changed;
}

std::vector<std::string> layoutWellsWithoutData(const PlateLayout& layout, const Grid& table)
{
    std::vector<std::string> wells;
    for (int row = 1; row < table.rowCount() && table.colCount() > 0; ++row)
        wells.push_back(table.cell(row, 0));
    return layoutWellsWithoutData(layout, wells);
}

std::vector<std::string> layoutWellsWithoutData(const PlateLayout& layout, std::span<const std::string> wellsWithData)
{
    std::vector<std::pair<int, int>> held;
    for (const std::string& well : wellsWithData) {
        if (const auto pos = parseWellName(well))
            held.emplace_back(pos->row, pos->col);
    }
    std::sort(held.begin(), held.end());
    std::vector<std::pair<int, int>> missing;
    for (const LayoutEntry& entry : layout.entries)
        if (!std::binary_search(held.begin(), held.end(), std::pair{entry.row, entry.col}))
            missing.emplace_back(entry.row, entry.col);
    std::sort(missing.begin(), missing.end());
    missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
    std::vector<std::string> names;
    names.reserve(missing.size());
    for (const auto& [r, c] : missing)
        names.push_back(wellName(r, c));
    return names;
}

std::string layoutWellsWithoutDataWarning(const std::vector<std::string>& wells)
{
    if (wells.empty())
        return {};
    constexpr std::size_t shown = 12;
    std::string text = "the layout describes " + std::to_string(wells.size()) +
                       (wells.size() == 1 ? " well" : " wells") + " without data: ";
    for (std::size_t i = 0; i < wells.size() && i < shown; ++i)
        text += (i > 0 ? ", " : "") + wells[i];
    if (wells.size() > shown)
        text += ", ...";
    return text;
}

} // namespace morvane
