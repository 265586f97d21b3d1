#include "cli/exchangefile.h"

#include "common/text.h"
#include "conversion/meltcurve.h"
#include "export/atomicsave.h"
#include "rdml/rdes.h"
#include "rdml/rdml.h"

#include <ctime>

namespace morvane {

std::optional<OutputFormat> formatNamed(std::string_view name)
{
    if (name == "xlsx")
        return OutputFormat::Xlsx;
    if (name == "rdml")
        return OutputFormat::Rdml;
    if (name == "rdes")
        return OutputFormat::Rdes;
    return std::nullopt;
}

OutputFormat formatOfFile(const std::filesystem::path& file)
{
    const std::string extension = file.extension().string();
    if (equalsIgnoringAsciiCase(extension, ".rdml"))
        return OutputFormat::Rdml;
    if (equalsIgnoringAsciiCase(extension, ".tsv"))
        return OutputFormat::Rdes;
    return OutputFormat::Xlsx;
}

const char* extensionOf(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Rdml:
        return ".rdml";
    case OutputFormat::Rdes:
        return ".tsv";
    default:
        return ".xlsx";
    }
}

Expected<ExchangeFileWritten> writeExchangeFile(const RawText& text, const ProgramList& programs,
                                                const std::vector<ExportTable>& tables, const ExchangeRequest& request)
{
    if (tables.empty())
        return Error{"no channel to write"};
    const ExportTable& first = tables.front();
    const OfferedRun* run = findRun(programs, first.run);
    if (!run)
        return Error{"the run " + quoteForMessage(first.run) + " is not offered"};
    const bool rdml = request.format == OutputFormat::Rdml;
    const auto convert = [&]() -> Expected<std::vector<ConvertedChannels>> {
        if (request.everySegment && rdml)
            return convertEverySegment(text, programs, run->program, run->segment, first.plate, true,
                                       request.fallbackExperiment);
        auto one = convertEveryChannel(text, programs, run->program, run->segment, first.plate, rdml,
                                       request.fallbackExperiment);
        if (!one)
            return one.error();
        std::vector<ConvertedChannels> runs;
        runs.push_back(std::move(one).value());
        return runs;
    };
    auto converted = convert();
    if (!converted)
        return converted.error();
    auto ticks = wellTicks(first.plate, request.wells);
    if (!ticks)
        return ticks.error();
    RdmlContent content = rdmlContent(*converted, std::move(ticks).value());
    std::vector<std::string> channels;
    for (const ExportTable& table : tables)
        channels.push_back(table.channel);
    keepChannels(content, channels);
    content.layout = request.layout;
    content.version = request.version;
    content.dateMade = rdmlDateTime(std::time(nullptr));

    ExchangeFileWritten written;
    const std::optional<MeltCurves>& melt = converted->front().melt;
    if (melt && melt->repeatedTemperatures > 0)
        written.warnings.push_back(std::to_string(melt->repeatedTemperatures) +
                                   " melt readings repeat a temperature their well was already read at; "
                                   "the first reading at each temperature is kept");
    RdmlSummary summary;
    auto bytes = rdml ? rdmlArchive(content, &summary) : rdesTable(content, &summary);
    if (!bytes)
        return bytes.error();
    auto saved = saveNewFile(request.target, *bytes, request.overwrite ? ExistingFile::Replace : ExistingFile::Refuse);
    if (!saved) {
        Error error = saved.error();
        if (!request.overwrite && error.kind == ErrorKind::Exists)
            error.message += "; give --overwrite to replace it";
        return error;
    }

    written.description = std::to_string(summary.reacts) + " wells of program " + first.run + ", channel" +
                          (tables.size() > 1 ? "s " : " ");
    for (std::size_t i = 0; i < tables.size(); ++i)
        written.description += (i > 0 ? ", " : "") + tables[i].channel;
    written.description += " (" + std::to_string(first.cycles) + " cycles)";
    for (const RdmlRunPart& part : content.moreRuns)
        written.description += ", and " + part.run;
    if (melt && summary.meltPoints > 0)
        written.description += ", melt curve of program " + std::to_string(melt->program);
    if (request.layout)
        written.description += ", with the layout " + quoteForMessage(request.layout->source);
    return written;
}

} // namespace morvane
