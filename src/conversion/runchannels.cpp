#include "conversion/runchannels.h"

#include <algorithm>

namespace morvane {

Expected<ConvertedChannels> convertEveryChannel(const RawText& text, const ProgramList& programs, int program,
                                                std::optional<int> segment, PlateFormat plate, bool withMelt,
                                                const std::string& fallbackName)
{
    ConvertedChannels converted;
    converted.experiment = experimentName(text);
    if (converted.experiment.empty())
        converted.experiment = fallbackName;
    const auto offered = std::find_if(programs.runs.begin(), programs.runs.end(), [&](const OfferedRun& run) {
        return run.program == program && run.segment == segment;
    });
    converted.run = offered != programs.runs.end() ? offered->name() : std::to_string(program);
    converted.format = plate;
    converted.channels = programs.columns.channels;
    for (std::size_t channel = 0; channel < converted.channels.size(); ++channel) {
        auto table = convertRun(text, programs, RunChoice{program, segment, static_cast<int>(channel)}, plate);
        if (!table)
            return table.error();
        converted.tables.push_back(std::move(table).value());
    }
    if (!converted.tables.empty())
        converted.temperatures = readingTemperatures(text, converted.tables.front(), programs.columns.line);
    converted.software = runSoftware(text);
    if (withMelt) {
        auto melt = readMeltProgram(text, programs);
        if (!melt)
            return melt.error();
        converted.melt = std::move(melt).value();
    }
    return converted;
}

Expected<std::vector<ConvertedChannels>> convertEverySegment(const RawText& text, const ProgramList& programs,
                                                             int program, std::optional<int> segment, PlateFormat plate,
                                                             bool withMelt, const std::string& fallbackName)
{
    std::vector<ConvertedChannels> runs;
    auto chosen = convertEveryChannel(text, programs, program, segment, plate, withMelt, fallbackName);
    if (!chosen)
        return chosen.error();
    runs.push_back(std::move(chosen).value());
    if (!segment)
        return runs;
    for (const OfferedRun& run : programs.runs) {
        if (run.program != program || !run.segment || run.segment == segment)
            continue;
        auto other = convertEveryChannel(text, programs, program, run.segment, plate, false, fallbackName);
        if (!other)
            return other.error();
        runs.push_back(std::move(other).value());
    }
    return runs;
}

} // namespace morvane
