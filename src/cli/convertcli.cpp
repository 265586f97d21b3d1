#include "cli/convertcli.h"

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

bool acceptableSeparator(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    // A sign, digit, letter or blank would read as part of the number itself.
    return byte > ' ' && byte < 127 && !isAsciiDigit(c) && !isAsciiLetter(c) && c != '+' && c != '-';
}

Error usage(std::string message)
{
    return Error{std::move(message)};
}

// Which options take a value; the rest are flags.
bool takesValue(std::string_view name)
{
    return name == "--output" || name == "--program" || name == "--channel" || name == "--plate" || name == "--wells" ||
           name == "--sheet" || name == "--decimal-separator" || name == "--format" || name == "--layout" ||
           name == "--rdml-version";
}

// The options without a value, and what each sets.
struct Flag {
    std::string_view name;
    void (*set)(ConvertOptions&);
};
constexpr Flag kFlags[] = {
    {"--table", [](ConvertOptions& o) { o.table = true; }},
    {"--list-programs", [](ConvertOptions& o) { o.listPrograms = true; }},
    {"--list-channels", [](ConvertOptions& o) { o.listChannels = true; }},
    {"--melt-peaks", [](ConvertOptions& o) { o.meltPeaks = true; }},
    {"--keep-separator", [](ConvertOptions& o) { o.choices.repairSeparator = false; }},
    {"--strict", [](ConvertOptions& o) { o.strict = true; }},
    {"--check", [](ConvertOptions& o) { o.check = true; }},
    {"--overwrite", [](ConvertOptions& o) { o.overwrite = true; }},
    {"--quiet", [](ConvertOptions& o) { o.quiet = true; }},
    {"--version", [](ConvertOptions& o) { o.version = true; }},
    {"--help", [](ConvertOptions& o) { o.help = true; }},
};

const Flag* findFlag(std::string_view name)
{
    for (const Flag& flag : kFlags)
        if (flag.name == name)
            return &flag;
    return nullptr;
}

bool isFlag(std::string_view name)
{
    return findFlag(name) != nullptr;
}

Status applyOption(ConvertOptions& options, std::string_view name, const std::string& value)
{
    if (name == "--output") {
        if (value.empty())
            return usage("--output needs a file name");
        options.output = fs::path(value);
    } else if (name == "--program") {
        const std::size_t slash = value.find('/');
        const bool segmentOk = slash == std::string::npos || parseWholeNumber(value.substr(slash + 1)).has_value();
        if (!parseWholeNumber(value.substr(0, slash)) || !segmentOk)
            return usage("--program: " + quoteForMessage(value) +
                         " is not a whole number N, nor N/S for a program and its segment");
        options.choices.run = value;
    } else if (name == "--channel") {
        if (value == "all") {
            options.choices.allChannels = true;
        } else {
            std::size_t start = 0;
            while (start <= value.size()) {
                const std::size_t comma = std::min(value.find(',', start), value.size());
                const std::string channel = value.substr(start, comma - start);
                if (channel.empty())
                    return usage("--channel: give channel names separated by commas, such as 465-510,533-580, or all");
                options.choices.channels.push_back(channel);
                start = comma + 1;
            }
        }
    } else if (name == "--plate") {
        if (value != "96" && value != "384")
            return usage("--plate: " + quoteForMessage(value) + " is neither 96 nor 384");
        options.choices.plate = value == "96" ? PlateFormat::Wells96 : PlateFormat::Wells384;
    } else if (name == "--wells") {
        auto wells = parseWellList(value);
        if (!wells)
            return usage("--wells: " + wells.error().message);
        options.choices.wells = std::move(wells).value();
    } else if (name == "--sheet") {
        options.sheet = value;
    } else if (name == "--decimal-separator") {
        if (value.size() != 1 || !acceptableSeparator(value[0]))
            return usage("--decimal-separator: " + quoteForMessage(value) + " is not one character such as . or ,");
        options.choices.decimalSeparator = value[0];
        options.decimalSeparatorGiven = true;
    } else if (name == "--format") {
        options.format = formatNamed(value);
        if (!options.format)
            return usage("--format: " + quoteForMessage(value) + " is none of xlsx, rdml, rdes");
    } else if (name == "--layout") {
        if (value.empty())
            return usage("--layout needs a file name");
        options.layout = fs::path(value);
    } else if (name == "--rdml-version") {
        if (value != "1.3" && value != "1.4")
            return usage("--rdml-version: " + quoteForMessage(value) + " is neither 1.3 nor 1.4");
        options.rdmlVersion = value == "1.3" ? RdmlVersion::V1_3 : RdmlVersion::V1_4;
    } else if (const Flag* flag = findFlag(name)) {
        flag->set(options);
    }
    return success();
}

// Checks that need several options together.
Status checkCombination(const ConvertOptions& options)
{
    if (options.help || options.version)
        return success();
    if (options.rawFiles.empty())
        return usage("no RAWFILE given");
    if (options.table && options.output && !options.listPrograms)
        return usage("--table writes no workbook; leave out --output");
    if (options.check && (options.table || options.output))
        return usage("--check writes nothing; leave out --table and --output");
    if (options.table && (options.choices.allChannels || options.choices.channels.size() > 1))
        return usage("--table writes one table: give one --channel");
    if (options.meltPeaks && (options.table || options.check || options.output || options.format || options.sheet))
        return usage("--melt-peaks prints the melt peaks and writes nothing; leave out --table, --check, --output, "
                     "--format and --sheet");
    if (options.meltPeaks && (options.choices.allChannels || options.choices.channels.size() > 1))
        return usage("--melt-peaks prints one channel: give one --channel");
    if (options.sheet && !options.sheet->empty()) {
        const std::string& name = *options.sheet;
        if (sheetNameTooLong(name))
            return usage("--sheet: " + quoteForMessage(name) + " has " + std::to_string(sheetNameLength(name)) +
                         " characters; a sheet name has at most " + std::to_string(kMaxSheetNameLength));
        if (auto valid = checkSheetName(name); !valid)
            return usage("--sheet: " + valid.error().message);
    }
    // RDML and RDES: one file per raw file, written new.
    const OutputFormat format = outputFormat(options);
    if (options.table && options.format)
        return usage("--table writes no file; leave out --format");
    if (format != OutputFormat::Xlsx) {
        if (options.output && options.rawFiles.size() > 1)
            return usage(std::string("--output: an ") + (format == OutputFormat::Rdml ? "RDML" : "RDES") +
                         " file holds one RAWFILE; leave out --output to write one beside each");
        if (options.sheet)
            return usage("--sheet names a workbook sheet; RDML and RDES files have none");
    } else if (options.overwrite) {
        return usage("--overwrite replaces RDML and RDES files; a workbook gets a new sheet instead");
    }
    if (options.rdmlVersion && (format != OutputFormat::Rdml || options.table))
        return usage("--rdml-version is for RDML output (-o FILE.rdml or --format rdml)");
    // With the plate known, wells off the plate are a mistake in the command itself.
    if (options.choices.plate && !options.choices.wells.empty()) {
        if (auto ticks = wellTicks(*options.choices.plate, options.choices.wells); !ticks)
            return usage("--wells: " + ticks.error().message);
    }
    return success();
}

// Progress on a terminal: a percentage while a file converts, a line when it is done.
class Progress {
public:
    Progress(std::ostream& err, bool on) : m_err(err), m_on(on) {}
    bool on() const { return m_on; }

    void converting(const std::string& prefix, std::size_t line, std::size_t lines)
    {
        if (!m_on || lines == 0)
            return;
        const int percent = static_cast<int>(std::min<std::size_t>(line, lines) * 100 / lines);
        if (percent == m_percent)
            return;
        m_percent = percent;
        m_err << '\r' << prefix << "converting " << percent << '%' << std::flush;
        m_dirty = true;
    }
    // Before any other line is written to the stream.
    void clear()
    {
        if (m_dirty)
            m_err << "\r\033[K" << std::flush;
        m_dirty = false;
        m_percent = -1;
    }
    void line(const std::string& text)
    {
        clear();
        if (m_on)
            m_err << text << '\n' << std::flush;
    }

private:
    std::ostream& m_err;
    bool m_on;
    bool m_dirty = false;
    int m_percent = -1;
};

class Run {
public:
    Run(const ConvertOptions& options, std::ostream& out, std::ostream& err, bool errIsTerminal)
        : m_options(options), m_out(out), m_err(err), m_progress(err, errIsTerminal && !options.quiet)
    {
    }

    // The exit status of the file: kExitOk, or kExitFileFailed / kExitUsage with its message
    // written and nothing else written for it.
    int file(std::size_t index)
    {
        const std::string& name = m_options.rawFiles[index];
        m_current = name;
        auto text = loadRawFile(name);
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

        const std::string prefix = counter(index) + pathForMessage(name) + ": ";
        auto built = buildExportTables(*text, *programs, *resolved, m_options.choices, [&](std::size_t line) {
            m_progress.converting(prefix, line, text->lineCount());
        });
        m_progress.clear();
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
            m_progress.line(prefix + "the checks found nothing");
            return kExitOk;
        }

        if (melt)
            return meltPeaks(*melt, built->front());
        if (m_options.table) {
            m_out << tableAsText(built->front().table) << std::flush;
            m_progress.line(summary(prefix, built->front(), severalChannels) + " -> standard output");
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
        if (m_options.output)
            return addToSharedWorkbook(built.table, sheet, summary);
        const fs::path workbook = fs::path(m_current).replace_extension(".xlsx");
        TExcelcom excel(workbook, lockWait(workbook));
        ExportBatch batch(excel);
        auto outcome = addToWorkbook(batch, built.table, sheet);
        if (!outcome)
            return false;
        if (auto written = batch.finish(); !written)
            return fail(written.error());
        for (const std::string& warning : batch.warnings())
            warn(warning);
        m_progress.line(summary + " -> " + pathForMessage(workbook) + ", sheet '" + outcome->sheetName + "'");
        return true;
    }

    // The RDML or RDES file of one raw file: -o, else the raw file with the format's extension.
    int exchangeFile(const RawText& text, const ProgramList& programs, const std::vector<ExportTable>& tables,
                     OutputFormat format, const std::string& prefix, const PlateLayout* layout)
    {
        ExchangeRequest request;
        request.format = format;
        request.target =
            m_options.output ? *m_options.output : fs::path(m_current).replace_extension(extensionOf(format));
        request.overwrite = m_options.overwrite;
        request.fallbackExperiment = fs::path(m_current).stem().string();
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
        m_progress.line(prefix + written->description + " -> " + pathForMessage(target));
        return kExitOk;
    }

public:
    // With one --output, the sheets of all files are written into it at the end.
    bool finish() { return writeSharedWorkbook(); }

private:
    static constexpr int kSheetsPerWrite = 20;

    // Another Morvane export into the same workbook is waited for, saying so.
    LockWait lockWait(const fs::path& workbook)
    {
        LockWait wait;
        if (!m_options.quiet)
            wait.waiting = [this, name = pathForMessage(workbook)](std::string_view text) {
                m_progress.clear();
                m_err << kConvertProgram << ": " << name << ": " << text << '\n' << std::flush;
            };
        return wait;
    }

    // The sheets of one raw file that wait in memory for the workbook to be written.
    struct PendingSheets {
        std::string file;
        std::vector<std::string> sheets;
    };

    struct SharedWorkbook {
        SharedWorkbook(const fs::path& path, LockWait wait) : excel(path, std::move(wait)), batch(excel) {}
        TExcelcom excel;
        ExportBatch batch;
        std::optional<Error> unreadable;
        std::vector<PendingSheets> pending;
    };

    bool addToSharedWorkbook(const Grid& table, const std::string& sheet, const std::string& summary)
    {
        if (!m_shared) {
            m_shared = std::make_unique<SharedWorkbook>(*m_options.output, lockWait(*m_options.output));
            if (auto begun = m_shared->batch.begin(); !begun)
                m_shared->unreadable = begun.error();
        }
        if (m_shared->unreadable)
            return fail(*m_shared->unreadable);
        auto outcome = addToWorkbook(m_shared->batch, table, sheet);
        if (!outcome)
            return false;
        auto& pending = m_shared->pending;
        if (pending.empty() || pending.back().file != m_current)
            pending.push_back({m_current, {}});
        pending.back().sheets.push_back(outcome->sheetName);
        m_progress.line(summary + " -> " + pathForMessage(*m_options.output) + ", sheet '" + outcome->sheetName + "'");
        // The sheets wait in memory until the workbook is written; writing it every so many
        // sheets keeps a long batch's memory bounded, for little time.
        if (m_shared->batch.added() >= kSheetsPerWrite)
            return writeSharedWorkbook();
        return true;
    }

    // Writes the sheets waiting for the workbook, and lets go of it. When that fails, each file
    // whose sheets are lost is named, so that exactly those can be converted again.
    bool writeSharedWorkbook()
    {
        const std::unique_ptr<SharedWorkbook> shared = std::move(m_shared);
        if (!shared || shared->batch.added() == 0)
            return true;
        const std::string output = pathForMessage(*m_options.output);
        if (auto written = shared->batch.finish(); !written) {
            report(output, written.error());
            for (const PendingSheets& lost : shared->pending) {
                std::string sheets;
                for (const std::string& name : lost.sheets)
                    sheets += (sheets.empty() ? "'" : ", '") + name + "'";
                // NOLINTBEGIN(performance-inefficient-string-concatenation): once per file lost
                report(lost.file, Error{(lost.sheets.size() == 1 ? "its sheet " : "its sheets ") + sheets +
                                        (lost.sheets.size() == 1 ? " was" : " were") + " not written to " + output +
                                        "; convert this file again"});
                // NOLINTEND(performance-inefficient-string-concatenation)
            }
            return false;
        }
        for (const std::string& warning : shared->batch.warnings()) {
            m_progress.clear();
            m_err << kConvertProgram << ": " << output << ": warning: " << warning << '\n' << std::flush;
        }
        m_progress.line(output + ": " + std::to_string(shared->batch.added()) + " sheets written");
        return true;
    }

    // The sheet's export into the batch; a refusal is reported as this file's failure.
    std::optional<ExportOutcome> addToWorkbook(ExportBatch& batch, const Grid& table, const std::string& sheet)
    {
        auto outcome = batch.add(table, sheet, m_options.choices.decimalSeparator);
        if (!outcome) {
            fail(outcome.error());
            return std::nullopt;
        }
        if (outcome->status == ExportOutcome::NameTooLong) {
            fail(Error{"the sheet name " + quoteForMessage(sheet) + " is longer than " +
                       std::to_string(kMaxSheetNameLength) + " characters"});
            return std::nullopt;
        }
        return std::move(outcome).value();
    }

    int failed(const Error& error)
    {
        fail(error);
        return kExitFileFailed;
    }

    bool fail(const Error& error) { return report(m_current, error); }

    bool report(const std::string& file, const Error& error)
    {
        m_progress.clear();
        m_err << kConvertProgram << ": " << pathForMessage(file);
        if (error.line != 0)
            m_err << ':' << error.line;
        m_err << ": " << error.message << '\n' << std::flush;
        return false;
    }

    void warn(const std::string& message, std::size_t line = 0)
    {
        m_progress.clear();
        m_err << kConvertProgram << ": " << pathForMessage(m_current);
        if (line != 0)
            m_err << ':' << line;
        m_err << ": warning: " << message << '\n' << std::flush;
    }

    const ConvertOptions& m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    Progress m_progress;
    std::string m_current;
    std::unique_ptr<SharedWorkbook> m_shared;
    bool m_severalTables = false;
    const PlateLayout* m_layout = nullptr;
    int m_namesFromLayout = 0;

public:
    void setLayout(const PlateLayout* layout) { m_layout = layout; }
};

} // namespace

Expected<ConvertOptions> parseConvertArguments(const std::vector<std::string>& args)
{
    ConvertOptions options;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg.size() < 2 || arg[0] != '-') {
            options.rawFiles.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::string name;
        std::optional<std::string> value;
        if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            name = arg.substr(0, equals);
            if (equals != std::string::npos)
                value = arg.substr(equals + 1);
        } else if (arg[1] == 'o') {
            name = "--output";
            if (arg.size() > 2)
                value = arg.substr(2);
        } else if (arg == "-q") {
            name = "--quiet";
        } else {
            return usage("unknown option " + quoteForMessage(arg));
        }

        if (takesValue(name)) {
            if (!value) {
                if (i + 1 >= args.size())
                    return usage("option " + quoteForMessage(arg) + " needs a value");
                value = args[++i];
            }
        } else if (isFlag(name)) {
            if (value)
                return usage("option " + quoteForMessage(name) + " takes no value");
        } else {
            return usage("unknown option " + quoteForMessage(arg));
        }
        if (auto applied = applyOption(options, name, value.value_or("")); !applied)
            return applied.error();
    }
    if (auto combined = checkCombination(options); !combined)
        return combined.error();
    // RDML and RDES hold every channel unless --channel names some.
    if (outputFormat(options) != OutputFormat::Xlsx && options.choices.channels.empty())
        options.choices.allChannels = true;
    return options;
}

OutputFormat outputFormat(const ConvertOptions& options)
{
    if (options.format)
        return *options.format;
    return options.output ? formatOfFile(*options.output) : OutputFormat::Xlsx;
}

char userDecimalSeparator()
{
    // An unknown locale in the environment, or an odd point: the C notation.
    const std::optional<char> point = platform::userDecimalPoint();
    return point && acceptableSeparator(*point) ? *point : '.';
}

std::string convertUsage()
{
    return R"(Usage: morvane-convert [options] RAWFILE...
Converts LightCycler 480 raw data text exports into a worksheet of one row per well and one
column per cycle, as the Morvane window does.

  -o, --output FILE       workbook to add the sheets to (created when missing); default: each RAWFILE
                          gets its own workbook, RAWFILE with the extension .xlsx. FILE.rdml writes
                          RDML, FILE.tsv the RDES table (see --format)
      --format xlsx|rdml|rdes
                          what to write (default: from the extension of --output, else xlsx): a
                          workbook sheet; RDML (every channel, the plate layout, the samples and
                          the melt curve); or the RDES amplification table, and with a melt curve
                          its melting table FILE_melting.tsv beside it. RDML and RDES files are
                          written new, one per RAWFILE (default: RAWFILE with .rdml or .tsv), with
                          every channel unless --channel names some
      --overwrite         replace an existing RDML file or RDES table (default: refuse it); a file
                          of any other kind, or a link to one, is never replaced
      --layout FILE       the plate layout: a table (tab, comma or semicolon separated text, or an
                          .xlsx workbook's first sheet, or an RDES table) whose header names the
                          columns Well, Sample, Sample Type, Target, Target Type, Dye, Quantity,
                          Quantity Unit, Channel; its sample names go into every output, and RDML and
                          RDES take its types, targets, dyes and quantities
      --rdml-version 1.3|1.4
                          the RDML version written (default: 1.3); 1.4 is what the RDML consortium's
                          amplification analysis needs
      --table             write the export table to standard output as tab-separated text (each
                          cell's text as the table holds it; a tab, line break or backslash inside a
                          cell written as \t, \n, \\, another control character as \xHH) and
                          write no workbook
      --list-programs     print the programs the detection offers, one per line:
                          <run><TAB><number of cycles of the first well>, and exit; <run> is N, or
                          N/S for segment S of a program N that reads in several segments
      --list-channels     print the file's channels (reading columns), one per line, and exit
      --melt-peaks        print the melt peaks of the chosen channel, one line per well with a melt
                          curve: <well><TAB><sample><TAB><Tm>[;<Tm>...] in degrees Celsius, highest
                          peak first, the third field empty for a well without a peak; write nothing
                          else. A file without a melt program fails (exit status 1)
      --program N|N/S     program, or program and segment, to convert (default: the first one offered;
                          of a program read in several segments the read at the lowest temperature,
                          and RDML then holds each segment as a run of its own)
      --channel NAME[,NAME...]|all
                          channels to convert (default: the first); with a workbook each channel
                          adds its own sheet, named after the experiment and the channel
      --plate 96|384      plate format (default: recognised from the last line as the window does;
                          required when it is not recognised)
      --wells LIST        wells to export, for example A1,B3,C1:D4 (a rectangle of rows C..D and
                          columns 1..4); default: every well of the plate; wells without data are left
                          out with a warning, as in the window
      --sheet NAME        sheet name; longer than 31 characters: an error; taken: the numbered
                          variant, as in the window. Default: the experiment name, cut to 31
                          characters with a warning when longer
      --keep-separator    keep readings written with the other decimal separator as they are
                          (default: repair them, as a "Yes" in the window does)
      --decimal-separator C   the separator numbers are read with (default: the user's locale's)
      --strict            a file whose readings the checks find damaged fails: nothing is written
                          for it (the checks always run; their findings are warnings otherwise)
      --check             run the conversion and its checks, report the findings and write nothing;
                          exit status 1 when anything was found
  -q, --quiet             no progress output
      --version           print the version and exit
      --help              print this help and exit

Exit status: 0 on success, 1 when a file could not be converted or written (nothing is written
for it; the other files go on) or, with --check or --strict, when the checks found anything,
2 for wrong usage.
)";
}

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
