#include "cli/exchangefile.h"

#include "common/text.h"
#include "conversion/meltcurve.h"
#include "export/atomicsave.h"
#include "export/filekind.h"
#include "rdml/rdes.h"
#include "rdml/rdml.h"

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
                                                const std::vector<ExportTable>& tables, OutputFormat format,
                                                const std::filesystem::path& target, bool overwrite,
                                                const std::string& fallbackExperiment)
{
    if (tables.empty())
        return Error{"no channel to write"};
    const ExportTable& first = tables.front();
    RdmlContent content;
    content.experiment = first.experimentName.empty() ? fallbackExperiment : first.experimentName;
    content.run = first.run;
    content.format = first.plate;
    for (const ExportTable& table : tables) {
        content.channels.push_back(table.channel);
        content.tables.push_back(&table.table);
    }
    ExchangeFileWritten written;
    std::optional<MeltCurves> melt;
    if (format == OutputFormat::Rdml) {
        auto found = readMeltProgram(text, programs);
        if (!found)
            return found.error();
        melt = std::move(found).value();
        content.melt = melt ? &*melt : nullptr;
        if (melt && melt->repeatedTemperatures > 0)
            written.warnings.push_back(std::to_string(melt->repeatedTemperatures) +
                                       " melt readings repeat a temperature their well was already read at; "
                                       "the first reading at each temperature is kept");
    }

    RdmlSummary summary;
    auto bytes = format == OutputFormat::Rdml ? rdmlArchive(content, &summary) : rdesTable(content, &summary);
    if (!bytes)
        return bytes.error();
    // --overwrite replaces an RDML file or RDES table, never whatever else the name leads to.
    if (overwrite)
        if (auto replaceable = checkReplaceable(target, format == OutputFormat::Rdml ? WrittenKind::Rdml
                                                                                     : WrittenKind::RdesTable);
            !replaceable)
            return replaceable.error();
    auto saved = saveNewFile(target, *bytes, overwrite ? ExistingFile::Replace : ExistingFile::Refuse);
    if (!saved) {
        Error error = saved.error();
        if (!overwrite && error.kind == ErrorKind::Exists)
            error.message += "; give --overwrite to replace it";
        return error;
    }

    written.description = std::to_string(summary.reacts) + " wells of program " + first.run + ", channel" +
                          (tables.size() > 1 ? "s " : " ");
    for (std::size_t i = 0; i < tables.size(); ++i)
        written.description += (i > 0 ? ", " : "") + tables[i].channel;
    written.description += " (" + std::to_string(first.cycles) + " cycles)";
    if (melt && summary.meltPoints > 0)
        written.description += ", melt curve of program " + std::to_string(melt->program);
    return written;
}

} // namespace morvane
