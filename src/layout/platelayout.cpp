#include "layout/platelayout.h"

#include "layout/layoutfields.h"

#include "common/decimal.h"
#include "common/text.h"
#include "plate/plate.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace morvane {

using namespace layout;

namespace {

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

namespace {

// The fields an edit sets on one of a well's entries.
void applyEdit(LayoutEntry& entry, const LayoutEntry& checked, const LayoutEdit& edit)
{
    const bool wholeWell = entry.channel.empty();
    if (edit.sample)
        entry.sample = checked.sample;
    if (edit.sampleType)
        entry.sampleType = checked.sampleType;
    if (edit.quantity) {
        // A unit list left untouched keeps the well's unit; "cop" only where it has none.
        const bool keepUnit = !edit.quantityUnit && !checked.quantity.empty() && !entry.quantityUnit.empty();
        entry.quantity = checked.quantity;
        if (!keepUnit)
            entry.quantityUnit = checked.quantityUnit;
    } else if (edit.quantityUnit && !entry.quantity.empty() && !checked.quantityUnit.empty()) {
        entry.quantityUnit = checked.quantityUnit;
    }
    if (wholeWell && edit.target)
        entry.target = checked.target;
    if (wholeWell && edit.targetType)
        entry.targetType = checked.targetType;
}

// The edited layout checked as a whole, in the user's terms: the wells just set come first, so
// a conflict is told at the well it conflicts with, by its name and where it was given.
Status checkEdit(const PlateLayout& edited, const std::vector<bool>& touched)
{
    PlateLayout probe;
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t i = 0; i < edited.entries.size(); ++i) {
            if (touched[i] != (pass == 0))
                continue;
            LayoutEntry entry = edited.entries[i];
            const bool fromFile = entry.place.find(", ") != std::string::npos;
            entry.place = "well " + entry.well() +
                          (touched[i] ? ", as set now"
                           : fromFile ? " (" + entry.place + ")"
                                      : std::string());
            probe.entries.push_back(std::move(entry));
        }
    if (auto ok = checkLayoutConsistency(probe); !ok)
        return Error{"The edit conflicts with the layout: " + ok.error().message};
    return success();
}

} // namespace

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
    std::vector<bool> touched(edited.entries.size(), false);
    for (const WellPos& well : wells) {
        bool hasGeneral = false;
        for (std::size_t i = 0; i < edited.entries.size(); ++i) {
            LayoutEntry& entry = edited.entries[i];
            if (entry.row != well.row || entry.col != well.col)
                continue;
            touched[i] = true;
            hasGeneral = hasGeneral || entry.channel.empty();
            applyEdit(entry, checked, edit);
        }
        if (!hasGeneral) {
            LayoutEntry entry = checked;
            entry.row = well.row;
            entry.col = well.col;
            if (!edit.quantity)
                entry.quantityUnit.clear();
            edited.entries.push_back(std::move(entry));
            touched.push_back(true);
        }
    }
    if (auto ok = checkEdit(edited, touched); !ok)
        return ok;
    for (std::size_t i = 0; i < edited.entries.size(); ++i)
        if (touched[i] || edited.entries[i].place.find(", ") == std::string::npos)
            edited.entries[i].place = "well " + edited.entries[i].well();
    std::stable_sort(edited.entries.begin(), edited.entries.end(), [](const LayoutEntry& a, const LayoutEntry& b) {
        return std::tie(a.row, a.col) < std::tie(b.row, b.col);
    });
    layout = std::move(edited);
    return success();
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
