#include "cli/convertoptions.h"

#include "common/platform.h"
#include "common/text.h"
#include "layout/platelayout.h"
#include "xlsx/sheetname.h"

#include <string_view>

namespace morvane {

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
        options.output = std::filesystem::path(value);
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
        options.layout = std::filesystem::path(value);
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

} // namespace morvane
