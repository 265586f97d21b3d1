#include "cli/convertcli.h"

#include "cli/reporter.h"
#include "cli/sheetwriter.h"

#include "common/platform.h"
#include "common/text.h"
#include "common/version.h"
#include "conversion/meltcurve.h"
#include "conversion/meltpeaks.h"
#include "conversion/rawtext.h"
#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "layout/platelayout.h"
#include "plate/extraction.h"
#include "xlsx/sheetname.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <unordered_map>
#include <vector>

namespace morvane {

namespace fs = std::filesystem;
namespace {

class Run {
public:
    Run(const ConvertOptions& options, std::ostream& out, std::ostream& err, bool errIsTerminal)
        : m_options(options), m_out(out), m_reporter(err, errIsTerminal && !options.quiet)
    {
        if (options.output)
            m_shared = std::make_unique<SharedWorkbook>(*options.output, options.choices.decimalSeparator,
                                                        options.quiet, m_reporter);
    }

    // The exit status of the file: kExitOk, or kExitFileFailed / kExitUsage with its message
    // written and nothing else written for it.
    int file(std::size_t index)
    {
        const std::string& name = m_options.rawFiles[index];
        m_current = name;
        auto text = loadRawFile(pathFromUtf8(name));
        if (!text)
            return failed(text.error());
        // A results export or sample list is refused for what it is before anything else.
        const auto programs = detectPrograms(*text);
        if (!programs)
            return failed(programs.error());
        if (m_options.listPrograms || m_options.listChannels)
            return list(*programs);
        const auto resolved = resolveChoices(*programs, m_options.choices);
        if (!resolved) {
            fail(resolved.error());
            return kExitUsage;
        }

        // Without a melt program there is nothing to print: said before the conversion's findings.
        std::optional<MeltCurves> melt;
        if (m_options.meltPeaks) {
            auto found = readMeltProgram(*text, *programs);
            if (!found)
                return failed(found.error());
            if (!*found)
                return failed(Error{"the file has no melt program, so no melt peaks"});
            melt = std::move(found).value();
        }

        const std::string prefix = counter(index) + pathForMessage(pathFromUtf8(name)) + ": ";
        auto built = buildExportTables(*text, *programs, *resolved, m_options.choices, [&](std::size_t line) {
            m_reporter.converting(prefix, line, text->lineCount());
        });
        m_reporter.clear();
        if (!built)
            return failed(built.error());
        std::optional<PlateLayout> layout;
        if (m_layout && !built->empty()) {
            layout = *m_layout;
            if (auto fitted = fitLayout(*layout, built->front().plate, programs->columns.channels); !fitted)
                return failed(fitted.error());
            const std::string without =
                layoutWellsWithoutDataWarning(layoutWellsWithoutData(*layout, built->front().wellsWithData));
            if (!without.empty())
                warn(without);
            for (ExportTable& table : *built)
                m_namesFromLayout = applySampleNames(table.table, *layout);
        }
        const bool severalChannels = programs->columns.severalChannels();
        if (!built->empty() && !built->front().plateWarning.empty())
            warn(built->front().plateWarning);
        if (!built->empty() && !built->front().missingWells.empty())
            warn(missingWellsWarning(built->front().missingWells));
        if (const bool found = reportFindings(*built, severalChannels);
            found && (m_options.strict || m_options.check)) {
            if (m_options.strict)
                return failed(Error{"the checks found readings that look damaged (--strict); nothing is written"});
            return kExitFileFailed;
        }
        if (m_options.check) {
            m_reporter.line(prefix + "the checks found nothing");
            return kExitOk;
        }

        if (melt)
            return meltPeaks(*melt, built->front());
        if (m_options.table) {
            m_out << tableAsText(built->front().table) << std::flush;
            m_reporter.line(summary(prefix, built->front(), severalChannels) + " -> standard output");
            return kExitOk;
        }
        if (const OutputFormat format = outputFormat(m_options); format != OutputFormat::Xlsx) {
            // RDML and RDES come from a conversion of their own: the sheets' tables make room for it.
            for (ExportTable& table : *built)
                table.table = Grid();
            return exchangeFile(*text, *programs, *built, format, prefix, layout ? &*layout : nullptr);
        }
        m_severalTables = built->size() > 1;
        for (const ExportTable& table : *built)
            if (!exportTable(table, summary(prefix, table, severalChannels)))
                return kExitFileFailed;
        return kExitOk;
    }

private:
    // Each kind of finding once per table, at the line of its first place; true when any was found.
    bool reportFindings(const std::vector<ExportTable>& tables, bool severalChannels)
    {
        bool found = false;
        for (const ExportTable& table : tables) {
            const std::string channel = severalChannels ? "channel " + table.channel + ": " : "";
            for (const FindingGroup& group : groupFindings(table.findings))
                warn(channel + toolWarning(table.findings, group), table.findings[group.first].line);
            found = found || !table.findings.empty();
        }
        return found;
    }

    std::string summary(const std::string& prefix, const ExportTable& built, bool severalChannels) const
    {
        std::string text =
            prefix + std::to_string(built.wellsExtracted) + " wells of program " + cutForMessage(built.run);
        if (severalChannels)
            text += ", channel " + cutForMessage(built.channel);
        text += " (" + std::to_string(built.cycles) + " cycles)";
        if (m_layout)
            text += ", " + std::to_string(m_namesFromLayout) + " sample names from the layout";
        if (built.replacedSeparator)
            text += std::string(", decimal separator '") + *built.replacedSeparator + "' replaced by '" +
                    m_options.choices.decimalSeparator + "'";
        return text;
    }

    std::string counter(std::size_t index) const
    {
        const std::size_t files = m_options.rawFiles.size();
        return files > 1 ? "[" + std::to_string(index + 1) + "/" + std::to_string(files) + "] " : "";
    }

    int list(const ProgramList& programs)
    {
        // Like grep: with several files every line says which one it comes from.
        const std::string lead = m_options.rawFiles.size() > 1 ? escapeTableCell(m_current) + "\t" : "";
        if (m_options.listChannels)
            for (const std::string& channel : programs.columns.channels)
                m_out << lead << escapeTableCell(channel) << '\n';
        if (m_options.listPrograms) {
            for (const OfferedProgram& program : morvane::listPrograms(programs))
                m_out << lead << program.program << '\t' << program.cycles << '\n';
        }
        m_out << std::flush;
        return kExitOk;
    }

    // One line per well of the table that has a melt curve: well, sample, its peaks (highest first).
    int meltPeaks(const MeltCurves& curves, const ExportTable& table)
    {
        if (const std::string repeated = repeatedTemperaturesWarning(curves); !repeated.empty())
            warn(repeated);
        const auto& channels = curves.channels;
        const auto channel =
            static_cast<std::size_t>(std::find(channels.begin(), channels.end(), table.channel) - channels.begin());
        std::unordered_map<std::string_view, const MeltWell*> byName;
        for (const MeltWell& well : curves.wells)
            byName.try_emplace(well.name, &well);
        std::string lines;
        for (int row = 1; row < table.table.rowCount(); ++row) {
            const auto found = byName.find(table.table.cell(row, 0));
            if (found == byName.end())
                continue;
            const std::string& sample = table.table.cell(row, 1);
            lines += escapeTableCell(found->second->name) + '\t' +
                     escapeTableCell(sample.starts_with(' ') ? sample.substr(1) : sample) + '\t' +
                     meltPeaksText(analyseMeltWell(curves, *found->second, channel).peaks) + '\n';
        }
        m_out << lines << std::flush;
        return kExitOk;
    }

    bool exportTable(const ExportTable& built, const std::string& summary)
    {
        std::string sheet;
        if (m_options.sheet) {
            // Several channels of one file: each sheet says which channel it holds.
            sheet = m_severalTables ? sheetNameWithChannel(*m_options.sheet, built.channel) : *m_options.sheet;
        } else {
            sheet = built.proposedSheetName;
            if (sheetNameTooLong(sheet)) {
                const std::string cut(cutToUtf16Units(sheet, kMaxSheetNameLength));
                warn("the experiment name " + quoteForMessage(sheet) + " has " +
                     std::to_string(sheetNameLength(sheet)) +
                     " characters, more than a sheet name may have; the sheet is named " + quoteForMessage(cut));
                sheet = cut;
            }
        }
        if (m_shared)
            return m_shared->add(m_current, built.table, sheet, summary);
        const fs::path workbook = pathFromUtf8(m_current).replace_extension(".xlsx");
        TExcelcom excel(workbook, lockWait(workbook, m_options.quiet, m_reporter));
        ExportBatch batch(excel);
        auto outcome = addSheet(batch, built.table, sheet, m_options.choices.decimalSeparator, m_reporter, m_current);
        if (!outcome)
            return false;
        if (auto written = batch.finish(); !written)
            return fail(written.error());
        for (const std::string& warning : batch.warnings())
            warn(warning);
        m_reporter.line(summary + " -> " + pathForMessage(workbook) + ", sheet '" + outcome->sheetName + "'");
        return true;
    }

    // The RDML or RDES file of one raw file: -o, else the raw file with the format's extension.
    int exchangeFile(const RawText& text, const ProgramList& programs, const std::vector<ExportTable>& tables,
                     OutputFormat format, const std::string& prefix, const PlateLayout* layout)
    {
        ExchangeRequest request;
        request.format = format;
        request.target =
            m_options.output ? *m_options.output : pathFromUtf8(m_current).replace_extension(extensionOf(format));
        request.overwrite = m_options.overwrite;
        request.fallbackExperiment = pathFromUtf8(m_current).stem().string();
        request.layout = layout;
        request.version = m_options.rdmlVersion.value_or(RdmlVersion::V1_3);
        request.everySegment = !m_options.choices.run;
        request.wells = m_options.choices.wells;
        const fs::path& target = request.target;
        auto written = writeExchangeFile(text, programs, tables, request);
        if (!written)
            return failed(written.error());
        for (const std::string& warning : written->warnings)
            warn(warning);
        m_reporter.line(prefix + written->description + " -> " + pathForMessage(target));
        return kExitOk;
    }

public:
    // With one --output, the sheets of all files are written into it at the end.
    bool finish() { return !m_shared || m_shared->write(); }
    void setLayout(const PlateLayout* layout) { m_layout = layout; }

private:
    int failed(const Error& error)
    {
        fail(error);
        return kExitFileFailed;
    }

    bool fail(const Error& error) { return m_reporter.error(m_current, error); }
    void warn(const std::string& message, std::size_t line = 0) { m_reporter.warning(m_current, message, line); }

    const ConvertOptions& m_options;
    std::ostream& m_out;
    Reporter m_reporter;
    std::unique_ptr<SharedWorkbook> m_shared;
    std::string m_current;
    bool m_severalTables = false;
    const PlateLayout* m_layout = nullptr;
    int m_namesFromLayout = 0;
};

} // namespace

namespace {

// A workbook that cannot be written is reported before the first file is converted rather than
// after the last: a symbolic link to nowhere, a folder that does not exist, a FIFO or device.
Status checkOutputPath(const fs::path& output)
{
    std::error_code error;
    const fs::file_status status = fs::status(output, error);
    if (fs::exists(status))
        return fs::is_regular_file(status) ? success()
                                           : Status(Error{"it is " + fileTypeText(status.type()) + ", not a workbook"});
    if (fs::is_symlink(fs::symlink_status(output, error)))
        return Error{"it is a symbolic link to '" + pathForMessage(fs::read_symlink(output, error)) +
                     "', which does not exist; give the workbook itself"};
    const fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    if (!fs::is_directory(folder, error))
        return Error{"the folder '" + pathForMessage(folder) + "' does not exist"};
    return success();
}

} // namespace

int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    auto parsed = parseConvertArguments(args);
    if (!parsed) {
        err << kConvertProgram << ": " << parsed.error().message << "\nTry '" << kConvertProgram
            << " --help' for more information.\n"
            << std::flush;
        return kExitUsage;
    }
    ConvertOptions& options = *parsed;
    if (options.help) {
        out << convertUsage() << std::flush;
        return kExitOk;
    }
    if (options.version) {
        out << kConvertProgram << ' ' << kVersion << '\n' << std::flush;
        return kExitOk;
    }
    if (!options.decimalSeparatorGiven)
        options.choices.decimalSeparator = userDecimalSeparator();

    if (options.output && !options.table && !options.listPrograms && !options.listChannels && !options.meltPeaks) {
        if (auto writable = checkOutputPath(*options.output); !writable) {
            err << kConvertProgram << ": " << pathForMessage(*options.output) << ": " << writable.error().message
                << '\n'
                << std::flush;
            return kExitFileFailed;
        }
    }

    // One layout for every file, read once; each file checks it against its own plate.
    std::optional<PlateLayout> layout;
    if (options.layout) {
        auto read = readLayoutFile(*options.layout);
        if (!read) {
            err << kConvertProgram << ": " << read.error().message << '\n' << std::flush;
            return kExitFileFailed;
        }
        layout = std::move(read).value();
    }

    Run run(options, out, err, errIsTerminal);
    run.setLayout(layout ? &*layout : nullptr);
    int status = kExitOk;
    for (std::size_t i = 0; i < options.rawFiles.size(); ++i)
        status = std::max(status, run.file(i));
    if (!run.finish())
        status = kExitFileFailed;
    return status;
}

} // namespace morvane
