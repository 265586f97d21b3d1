#include "rdml/rdes.h"

#include "common/tablelayout.h"
#include "rdml/rdmlplan.h"

#include <algorithm>

namespace morvane {

using namespace rdml;

namespace {

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

} // namespace

Expected<std::string> rdesTable(const RdmlContent& content, RdmlSummary* summaryOut)
{
    RdmlSummary summary;
    auto planned = makePlan(content, summary);
    if (!planned)
        return planned.error();
    const Plan& plan = *planned;

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
        for (const React& react : plan.reacts)
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
    for (const React& react : plan.reacts) {
        for (std::size_t channel = 0; channel < content.tables.size(); ++channel) {
            const int row = react.rows[channel];
            if (row < 0)
                continue;
            const std::string& name = content.channels[channel];
            for (const std::string_view cell : {std::string_view(react.well), std::string_view(react.sample)}) {
                appendTextCell(out, cell);
                out += '\t';
            }
            out += "unkn\t";
            appendTextCell(out, name);
            out += "\ttoi\t";
            appendTextCell(out, name);
            out += "\t";
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
