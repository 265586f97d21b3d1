#include "rdml/rdes.h"

#include "common/tablelayout.h"
#include "conversion/dataline.h"
#include "conversion/meltpeaks.h"
#include "rdml/rdmlplan.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace morvane {

using namespace rdml;

namespace {
// The first six columns of both tables: the plate layout.
constexpr const char* kLayoutHeader = "Well\tSample\tSample Type\tTarget\tTarget Type\tDye";

// Spreadsheets import a text cell that starts with '=', '+', '@' or '-' as a formula, and a
// formula in a sample name can fetch a web address or run a command. Such text gets an
// apostrophe in front, as spreadsheet safety advice has it; a number such as "-3" stays.
void appendTextCell(std::string& out, std::string_view text)
{
    const bool formula = !text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '@' ||
                                           (text[0] == '-' && !isDecimalNumber(text)));
    if (formula)
        out += '\'';
    out += text;
}

// What the plan says of each react's channel, as the first six cells of a row.
class Catalogue {
public:
    explicit Catalogue(const Plan& plan)
    {
        for (const PlanSample& sample : plan.samples)
            m_samples.emplace(sample.id, &sample);
        for (const PlanTarget& target : plan.targets)
            m_targets.emplace(target.id, &target);
    }

    // Well, Sample, Sample Type, Target, Target Type and Dye, each followed by a tab.
    void appendCells(std::string& out, const React& react, std::size_t channel) const
    {
        const PlanTarget& target = *m_targets.at(react.targets[channel]);
        for (const std::string_view cell : {std::string_view(react.well), std::string_view(react.sample)}) {
            appendTextCell(out, cell);
            out += '\t';
        }
        out += m_samples.at(react.sample)->type + '\t';
        appendTextCell(out, target.id);
        out += '\t' + target.type + '\t';
        appendTextCell(out, target.dye);
        out += '\t';
    }

private:
    std::unordered_map<std::string, const PlanSample*> m_samples;
    std::unordered_map<std::string, const PlanTarget*> m_targets;
};

} // namespace

Expected<std::string> rdesTable(const RdmlContent& content, RdmlSummary* summaryOut)
{
    RdmlSummary summary;
    auto planned = makePlan(content, summary);
    if (!planned)
        return planned.error();
    const Plan& plan = *planned;
    const PlanRun& run = plan.runs.front();
    const Catalogue catalogue(plan);

    // One column per cycle that any table names or holds a reading of.
    int columns = kFirstReadingColumn;
    for (const Grid* table : content.tables)
        columns = std::max(columns, table->colCount());
    std::vector<bool> used(static_cast<std::size_t>(columns), false);
    for (std::size_t channel = 0; channel < content.tables.size(); ++channel) {
        const Grid& table = *content.tables[channel];
        for (int col = kFirstReadingColumn; col < table.colCount(); ++col)
            if (!table.cell(0, col).empty())
                used[static_cast<std::size_t>(col)] = true;
        for (const React& react : run.reacts)
            if (react.rows[channel] >= 0)
                for (int col = kFirstReadingColumn; col < table.colCount(); ++col)
                    if (!table.cell(react.rows[channel], col).empty())
                        used[static_cast<std::size_t>(col)] = true;
    }

    std::string out = std::string(kLayoutHeader) + "\tCq";
    for (int col = kFirstReadingColumn; col < columns; ++col)
        if (used[static_cast<std::size_t>(col)]) {
            out += '\t';
            appendInt(out, col - 1);
        }
    out += '\n';
    for (const React& react : run.reacts) {
        for (std::size_t channel = 0; channel < content.tables.size(); ++channel) {
            const int row = react.rows[channel];
            if (row < 0)
                continue;
            const std::string& name = content.channels[channel];
            catalogue.appendCells(out, react, channel);
            const Grid& table = *content.tables[channel];
            for (int col = kFirstReadingColumn; col < columns; ++col) {
                if (!used[static_cast<std::size_t>(col)])
                    continue;
                out += '\t';
                const std::string* cell = col < table.colCount() ? &table.cell(row, col) : nullptr;
                if (!cell || cell->empty())
                    continue;
                if (!appendNumber(out, *cell))
                    return notANumber(react, name, "cycle " + std::to_string(col - 1), *cell);
                ++summary.amplificationPoints;
            }
            out += '\n';
        }
    }
    if (summaryOut)
        *summaryOut = std::move(summary);
    return out;
}

namespace {

// The temperatures of the melt table's columns: every one any written well was read at, by value,
// each written as the first well that was read at it writes it (with a point). The columns are
// numbered from 0 in rising order.
Expected<std::map<double, std::string>> meltColumns(const Plan& plan)
{
    std::map<double, std::string> columns;
    for (const React& react : plan.runs.front().reacts) {
        if (!react.melt)
            continue;
        for (const std::string& text : react.melt->temperatures) {
            const auto value = parseTemperature(text);
            std::string written;
            if (!value || !appendNumber(written, text))
                return notANumber(react, "of the melt", "melt temperature", text);
            columns.try_emplace(*value, std::move(written));
        }
    }
    return columns;
}

} // namespace

Expected<std::string> rdesMeltTable(const RdmlContent& content, RdmlSummary* summaryOut)
{
    RdmlSummary summary;
    auto planned = makePlan(content, summary);
    if (!planned)
        return planned.error();
    const Plan& plan = *planned;
    auto columns = meltColumns(plan);
    if (!columns)
        return columns.error();
    std::map<double, std::size_t> columnOf;
    std::string out = std::string(kLayoutHeader) + "\tTm";
    for (const auto& [value, text] : *columns) {
        columnOf.emplace(value, columnOf.size());
        out += '\t' + text;
    }
    out += '\n';
    std::vector<const std::string*> cells(columnOf.size());
    const Catalogue catalogue(plan);
    for (const React& react : plan.runs.front().reacts) {
        for (std::size_t channel = 0; channel < content.channels.size() && react.melt; ++channel) {
            const int meltChannel = plan.meltChannel[channel];
            if (meltChannel < 0)
                continue;
            const std::string& name = content.channels[channel];
            const MeltWell& melt = *react.melt;
            std::fill(cells.begin(), cells.end(), nullptr);
            for (std::size_t point = 0; point < melt.temperatures.size(); ++point)
                cells[columnOf.at(*parseTemperature(melt.temperatures[point]))] =
                    &melt.readings[point * plan.meltChannels + static_cast<std::size_t>(meltChannel)];
            catalogue.appendCells(out, react, channel);
            out += meltPeaksText(analyseMeltWell(*content.melt, melt, static_cast<std::size_t>(meltChannel)).peaks);
            for (const std::string* cell : cells) {
                out += '\t';
                if (!cell)
                    continue;
                if (!appendNumber(out, *cell))
                    return notANumber(react, name, "melt reading", *cell);
                ++summary.meltPoints;
            }
            out += '\n';
        }
    }
    if (summaryOut)
        *summaryOut = std::move(summary);
    return out;
}

std::filesystem::path meltingTablePath(const std::filesystem::path& table)
{
    // In the path's own characters: a name need not fit the narrow code page on Windows.
    std::filesystem::path name = table.stem();
    name += "_melting";
    name += table.extension();
    std::filesystem::path melting = table;
    melting.replace_filename(name);
    return melting;
}

} // namespace morvane
