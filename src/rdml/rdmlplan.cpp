#include "rdml/rdmlplan.h"

#include "common/text.h"
#include "plate/plate.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <unordered_map>

namespace morvane::rdml {

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

namespace {

Status checkChannels(const std::vector<std::string>& channels)
{
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (auto ok = checkName(channels[i], "the channel name"); !ok)
            return ok.error();
        if (std::find(channels.begin(), channels.begin() + static_cast<std::ptrdiff_t>(i), channels[i]) !=
            channels.begin() + static_cast<std::ptrdiff_t>(i))
            return Error{"the channel " + quoteForMessage(channels[i]) + " is named twice"};
    }
    return success();
}

// The well's place when the name is one of the plate's wells.
std::optional<WellPos> wellOnPlate(PlateFormat format, std::string_view name)
{
    const auto well = parseWellName(name);
    if (!well || well->row > plateRows(format) || well->col > plateCols(format))
        return std::nullopt;
    return well;
}

// The reacts of one run: a react per ticked well that a table holds a row for.
std::vector<React> reactsOf(const RdmlContent& content, const PlanRun& run, RdmlSummary& summary, bool noteOffPlate)
{
    const PlateFormat format = content.format;
    const std::size_t channels = run.tables.size();
    std::vector<std::vector<int>> rowsById(static_cast<std::size_t>(wellCount(format)) + 1);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const Grid& table = *run.tables[channel];
        if (table.colCount() < 2)
            continue;
        for (int row = 1; row < table.rowCount(); ++row) {
            const std::string& name = table.cell(row, 0);
            if (name.empty())
                continue; // the empty row of a table without wells
            const auto well = wellOnPlate(format, name);
            if (!well) {
                if (channel == 0 && noteOffPlate)
                    summary.wellsOffPlate.push_back(name);
                continue;
            }
            const auto [r, c] = *well;
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
    std::unordered_map<int, int> temperatureRowById;
    if (run.temperatures)
        for (int row = run.temperatures->rowCount() - 1; row >= 1; --row) {
            const auto well =
                run.temperatures->colCount() > 0 ? wellOnPlate(format, run.temperatures->cell(row, 0)) : std::nullopt;
            if (well)
                temperatureRowById[reactId(format, well->row, well->col)] = row;
        }
    std::vector<React> reacts;
    for (int id = 1; id <= wellCount(format); ++id) {
        auto& rows = rowsById[static_cast<std::size_t>(id)];
        if (rows.empty())
            continue;
        React react;
        react.id = id;
        react.well = wellName((id - 1) / plateCols(format) + 1, (id - 1) % plateCols(format) + 1);
        react.rows = std::move(rows);
        if (const auto found = temperatureRowById.find(id); found != temperatureRowById.end())
            react.temperatureRow = found->second;
        reacts.push_back(std::move(react));
    }
    return reacts;
}

// Names the react's sample and the target of each channel: the layout's, else the export's
// sample name (the well's own for none) and the channel.
Status nameReact(const RdmlContent& content, const PlanRun& run, React& react)
{
    const int row = (react.id - 1) / plateCols(content.format) + 1;
    const int col = (react.id - 1) % plateCols(content.format) + 1;
    if (content.layout)
        react.sample = content.layout->sampleOf(row, col);
    for (std::size_t channel = 0; channel < run.tables.size() && react.sample.empty(); ++channel)
        if (react.rows[channel] >= 0 && run.tables[channel]->colCount() > 1)
            react.sample = sampleCell(run.tables[channel]->cell(react.rows[channel], 1));
    if (react.sample.empty())
        react.sample = react.well;
    if (auto ok = checkName(react.sample, "the sample name of well " + react.well); !ok)
        return ok.error();
    for (std::size_t channel = 0; channel < run.tables.size(); ++channel) {
        const std::string& name = content.channels[channel];
        const LayoutEntry* entry = content.layout ? content.layout->find(row, col, name) : nullptr;
        std::string target = entry && !entry->target.empty() ? entry->target : name;
        if (auto ok = checkName(target, "the target of well " + react.well); !ok)
            return ok.error();
        const bool read = react.rows[channel] >= 0 || react.melt;
        for (std::size_t other = 0; other < channel && read; ++other)
            if (react.targets[other] == target && (react.rows[other] >= 0 || react.melt))
                return Error{"well " + react.well + ": the layout gives the target " + quoteForMessage(target) +
                             " to the channels " + content.channels[other] + " and " + name +
                             ", but a well holds a target once; say which channel reads it in a Channel column"};
        react.targets.push_back(std::move(target));
    }
    return success();
}

// The samples, targets and dyes the reacts refer to, with what the layout says of them.
Status catalogue(const RdmlContent& content, Plan& plan)
{
    std::unordered_map<std::string, std::size_t> sampleAt;
    std::unordered_map<std::string, std::size_t> targetAt;
    const PlateLayout* layout = content.layout;
    for (const PlanRun& run : plan.runs) {
        for (const React& react : run.reacts) {
            const int row = (react.id - 1) / plateCols(content.format) + 1;
            const int col = (react.id - 1) % plateCols(content.format) + 1;
            const auto [s, newSample] = sampleAt.try_emplace(react.sample, plan.samples.size());
            if (newSample) {
                PlanSample sample;
                sample.id = react.sample;
                const std::string type = layout ? layout->sampleTypeOf(react.sample) : std::string();
                if (!type.empty())
                    sample.type = type;
                plan.samples.push_back(std::move(sample));
            }
            PlanSample& sample = plan.samples[s->second];
            for (std::size_t channel = 0; channel < run.tables.size(); ++channel) {
                const LayoutEntry* entry = layout ? layout->find(row, col, content.channels[channel]) : nullptr;
                if (entry && !entry->sampleType.empty() && (newSample || sample.type == "unkn"))
                    sample.type = entry->sampleType;
                if (entry && !entry->quantity.empty()) {
                    const Quantity quantity{entry->target, entry->quantity, entry->quantityUnit};
                    if (std::none_of(sample.quantities.begin(), sample.quantities.end(),
                                     [&](const Quantity& q) { return q.target == quantity.target; }))
                        sample.quantities.push_back(quantity);
                }
                const std::string& id = react.targets[channel];
                if (!targetAt.try_emplace(id, plan.targets.size()).second)
                    continue;
                PlanTarget target;
                target.id = id;
                target.dye = content.channels[channel];
                // Any row of the layout may say the target's type and dye; they agree.
                for (std::size_t i = 0; layout && i < layout->entries.size(); ++i) {
                    const LayoutEntry& described = layout->entries[i];
                    if (described.target != id)
                        continue;
                    if (!described.targetType.empty())
                        target.type = described.targetType;
                    if (!described.dye.empty())
                        target.dye = described.dye;
                }
                if (auto ok = checkName(target.dye, "the dye of target '" + id + "'"); !ok)
                    return ok.error();
                if (std::find(plan.dyes.begin(), plan.dyes.end(), target.dye) == plan.dyes.end())
                    plan.dyes.push_back(target.dye);
                plan.targets.push_back(std::move(target));
            }
        }
    }
    // One quantity for every target when the sample has the same everywhere.
    for (PlanSample& sample : plan.samples) {
        auto& q = sample.quantities;
        if (!q.empty() && std::all_of(q.begin(), q.end(), [&](const Quantity& x) {
                return x.value == q.front().value && x.unit == q.front().unit;
            })) {
            q.resize(1);
            q.front().target.clear();
        }
    }
    return success();
}

} // namespace

Expected<Plan> makePlan(const RdmlContent& content, RdmlSummary& summary)
{
    if (content.tables.empty() || content.tables.size() != content.channels.size())
        return Error{"no channel to write, or a channel without its table"};
    if (auto ok = checkChannels(content.channels); !ok)
        return ok.error();
    for (const RdmlRunPart& part : content.moreRuns)
        if (part.tables.size() != content.channels.size())
            return Error{"the run '" + part.run + "' has not every channel's table"};

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
            if (const auto pos = wellOnPlate(content.format, well.name))
                meltById.try_emplace(reactId(content.format, pos->row, pos->col), &well);
        }
    }

    plan.runs.push_back(PlanRun{rdmlRunId(content.run), content.tables, content.temperatures, {}});
    for (const RdmlRunPart& part : content.moreRuns)
        plan.runs.push_back(PlanRun{rdmlRunId(part.run), part.tables, part.temperatures, {}});
    for (std::size_t i = 0; i < plan.runs.size(); ++i) {
        PlanRun& run = plan.runs[i];
        if (auto ok = checkName(run.id, "the run name"); !ok)
            return ok.error();
        if (std::any_of(plan.runs.begin(), plan.runs.begin() + static_cast<std::ptrdiff_t>(i),
                        [&](const PlanRun& earlier) { return earlier.id == run.id; }))
            return Error{"the run '" + run.id + "' is written twice"};
        run.reacts = reactsOf(content, run, summary, i == 0);
        for (React& react : run.reacts) {
            if (i == 0)
                if (const auto melt = meltById.find(react.id); melt != meltById.end())
                    react.melt = melt->second;
            if (auto ok = nameReact(content, run, react); !ok)
                return ok.error();
        }
    }
    if (auto ok = catalogue(content, plan); !ok)
        return ok.error();
    summary.reacts = static_cast<int>(plan.runs.front().reacts.size());
    summary.runs = static_cast<int>(plan.runs.size());
    return plan;
}

Error notANumber(const React& react, const std::string& channel, const std::string& what, std::string_view cell)
{
    return Error{"well " + react.well + ", channel " + cutForMessage(channel) + ", " + what + ": " +
                 quoteForMessage(cell) + " is not a number"};
}

} // namespace morvane::rdml
