#include "conversion/meltcurve.h"

#include "conversion/dataline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

namespace morvane {

namespace {

// A temperature as the file writes it, with a point or a comma; nothing when it is no number.

// Leaves one point per temperature, the first; the instrument rarely reads twice at the same
// temperature, so the common case only sorts a copy.
std::size_t dropRepeatedTemperatures(MeltWell& well, std::size_t channels, std::vector<double>& values)
{
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
        return 0;
    MeltWell kept{well.name, {}, {}};
    std::vector<double> seen;
    for (std::size_t point = 0; point < values.size(); ++point) {
        if (std::find(seen.begin(), seen.end(), values[point]) != seen.end())
            continue;
        seen.push_back(values[point]);
        kept.temperatures.push_back(std::move(well.temperatures[point]));
        for (std::size_t c = 0; c < channels; ++c)
            kept.readings.push_back(std::move(well.readings[point * channels + c]));
    }
    const std::size_t dropped = values.size() - seen.size();
    well = std::move(kept);
    return dropped;
}

} // namespace

Expected<std::optional<int>> findMeltProgram(const RawText& text, const ProgramList& programs)
{
    const LineColumns& columns = programs.columns.line;
    if (columns.temperatureFromEnd == 0)
        return std::optional<int>();
    struct Seen {
        int program = 0;
        bool allFirstCycle = true;
        int lines = 0;
        double first = 0;
        double last = 0;
        int rises = 0;
        int falls = 0;
        bool readable = true;
    };
    std::vector<Seen> seen;
    const Status scanned = forEachFirstWellLine(text, columns, programs.firstDataLine(), [&](DataLineReader& line) {
        int program = 0;
        int cycle = 0;
        if (!line.program(program) || !line.cycle(cycle))
            return false;
        auto it = std::find_if(seen.begin(), seen.end(), [&](const Seen& s) { return s.program == program; });
        if (it == seen.end())
            it = seen.insert(seen.end(), Seen{program});
        it->allFirstCycle = it->allFirstCycle && cycle == 1;
        const auto temperature = parseTemperature(line.temperatureText());
        if (!temperature) {
            it->readable = false;
            return true;
        }
        if (it->lines == 0)
            it->first = *temperature;
        else if (*temperature > it->last)
            ++it->rises;
        else if (*temperature < it->last)
            ++it->falls;
        it->last = *temperature;
        ++it->lines;
        return true;
    });
    if (!scanned)
        return scanned.error();
    for (const Seen& s : seen)
        if (s.allFirstCycle && s.readable && s.lines >= 2 && s.last > s.first && s.rises > s.falls)
            return std::optional<int>(s.program);
    return std::optional<int>();
}

Expected<MeltCurves> readMeltCurves(const RawText& text, const ProgramList& programs, int program)
{
    MeltCurves curves;
    curves.program = program;
    const auto& channelFromEnd = programs.columns.channelFromEnd;
    curves.channels = programs.columns.channels;
    DataLineReader line(text, programs.columns.line);
    std::unordered_map<std::string, std::size_t> byName;
    MeltWell* current = nullptr;
    std::size_t currentIndex = 0;
    std::vector<std::vector<double>> values; // per well, for the check of repeated temperatures
    for (std::size_t k = programs.firstDataLine(); k < text.lineCount(); ++k) {
        if (!line.split(k))
            return line.error();
        int number = 0;
        if (!line.program(number))
            return line.error();
        if (number != program)
            continue;
        const auto temperature = parseTemperature(line.temperatureText());
        if (!temperature) {
            line.fail("'" + cellText(text, line.temperatureText()) + "' is not a temperature");
            return line.error();
        }
        if (!current || current->name != line.well()) {
            const std::string name = cellText(text, line.well());
            const auto [it, added] = byName.try_emplace(name, curves.wells.size());
            if (added) {
                curves.wells.push_back(MeltWell{name, {}, {}});
                values.emplace_back();
            }
            currentIndex = it->second;
            current = &curves.wells[currentIndex];
        }
        current->temperatures.emplace_back(line.temperatureText());
        for (int fromEnd : channelFromEnd)
            current->readings.emplace_back(line.fieldFromEnd(fromEnd));
        values[currentIndex].push_back(*temperature);
    }
    for (std::size_t w = 0; w < curves.wells.size(); ++w)
        curves.repeatedTemperatures += dropRepeatedTemperatures(curves.wells[w], curves.channels.size(), values[w]);
    return curves;
}

std::string repeatedTemperaturesWarning(const MeltCurves& curves)
{
    if (curves.repeatedTemperatures == 0)
        return {};
    return std::to_string(curves.repeatedTemperatures) +
           " melt readings repeat a temperature their well was already read at; the first reading at each "
           "temperature is kept";
}

Expected<std::optional<MeltCurves>> readMeltProgram(const RawText& text, const ProgramList& programs)
{
    const auto program = findMeltProgram(text, programs);
    if (!program)
        return program.error();
    if (!*program)
        return std::optional<MeltCurves>();
    auto curves = readMeltCurves(text, programs, **program);
    if (!curves)
        return curves.error();
    return std::optional<MeltCurves>(std::move(curves).value());
}

} // namespace morvane
