#include "rdml/rdes.h"

#include "common/tablelayout.h"
#include "rdml/rdmlplan.h"

#include <algorithm>
#include <unordered_map>

namespace morvane {

using namespace rdml;

Expected<std::string> rdesTable(const RdmlContent& content, RdmlSummary* summaryOut)
{
    RdmlSummary summary;
    auto planned = makePlan(content, summary);
    if (!planned)
        return planned.error();
    const Plan& plan = *planned;
    const PlanRun& run = plan.runs.front();
    std::unordered_map<std::string, const PlanSample*> samples;
    for (const PlanSample& sample : plan.samples)
        samples.emplace(sample.id, &sample);
    std::unordered_map<std::string, const PlanTarget*> targets;
    for (const PlanTarget& target : plan.targets)
        targets.emplace(target.id, &target);

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

    std::string out = "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tCq";
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
            const PlanTarget& target = *targets.at(react.targets[channel]);
            out += react.well + '\t' + react.sample + '\t' + samples.at(react.sample)->type + '\t' + target.id + '\t' +
                   target.type + '\t' + target.dye + '\t';
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

} // namespace morvane
