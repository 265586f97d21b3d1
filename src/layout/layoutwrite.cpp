// Writing a layout as the table "Save layout..." saves.

#include "layout/platelayout.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace morvane {

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

} // namespace morvane
