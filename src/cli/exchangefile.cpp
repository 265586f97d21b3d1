#include "cli/exchangefile.h"

#include "common/text.h"
#include "conversion/meltcurve.h"
#include "export/atomicsave.h"
#include "export/filekind.h"
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
    const std::filesystem::path& target = request.target;
    const bool overwrite = request.overwrite;
    const auto convert = [&]() -> Expected<std::vector<ConvertedChannels>> {
        if (request.everySegment && rdml)
            return convertEverySegment(text, programs, run->program, run->segment, first.plate, true,
                                       request.fallbackExperiment);
        auto one = convertEveryChannel(text, programs, run->program, run->segment, first.plate, true,
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
    channels.reserve(tables.size());
    for (const ExportTable& table : tables)
        channels.push_back(table.channel);
    keepChannels(content, channels);
    content.layout = request.layout;
    content.version = request.version;
    content.dateMade = rdmlDateTime(std::time(nullptr));

    ExchangeFileWritten written;
    const std::optional<MeltCurves>& melt = converted->front().melt;
    if (melt && melt->repeatedTemperatures > 0)
        written.warnings.push_back(repeatedTemperaturesWarning(*melt));
    RdmlSummary summary;
    auto bytes = rdml ? rdmlArchive(content, &summary) : rdesTable(content, &summary);
    if (!bytes)
        return bytes.error();
    // RDES keeps the melt curve in a second table beside the first.
    std::optional<std::string> meltTable;
    const std::filesystem::path meltTarget = meltingTablePath(target);
    if (!rdml && melt) {
        RdmlSummary meltSummary;
        auto table = rdesMeltTable(content, &meltSummary);
        if (!table)
            return table.error();
        meltTable = std::move(table).value();
        summary.meltPoints = meltSummary.meltPoints;
    }
    // --overwrite replaces an RDML file or RDES table, never whatever else the name leads to.
    if (overwrite) {
        const WrittenKind kind = rdml ? WrittenKind::Rdml : WrittenKind::RdesTable;
        if (auto replaceable = checkReplaceable(target, kind); !replaceable)
            return replaceable.error();
        if (meltTable)
            if (auto replaceable = checkReplaceable(meltTarget, kind); !replaceable)
                return replaceable.error();
    }
    const auto refused = [overwrite](Error error) {
        if (!overwrite && error.kind == ErrorKind::Exists)
            error.message += "; give --overwrite to replace it";
        return error;
    };
    const ExistingFile existing = overwrite ? ExistingFile::Replace : ExistingFile::Refuse;
    if (auto saved = saveNewFile(target, *bytes, existing); !saved)
        return refused(saved.error());
    if (meltTable)
        if (auto saved = saveNewFile(meltTarget, *meltTable, existing); !saved) {
            // Both tables or neither: the amplification table alone would look complete.
            std::error_code ignored;
            std::filesystem::remove(target, ignored);
            return refused(saved.error());
        }

    written.description = std::to_string(summary.reacts) + " wells of program " + first.run + ", channel" +
                          (tables.size() > 1 ? "s " : " ");
    for (std::size_t i = 0; i < tables.size(); ++i)
        written.description += (i > 0 ? ", " : "") + tables[i].channel;
    written.description += " (" + std::to_string(first.cycles) + " cycles)";
    for (const RdmlRunPart& part : content.moreRuns)
        written.description += ", and " + part.run;
    if (melt && summary.meltPoints > 0)
        written.description += ", melt curve of program " + std::to_string(melt->program) +
                               (meltTable ? " in " + meltTarget.string() : "");
    if (request.layout)
        written.description += ", with the layout " + quoteForMessage(request.layout->source);
    return written;
}

} // namespace morvane
