#pragma once
// morvane-convert's options: what the command line says, read and checked against each other.

#include "cli/exchangefile.h"
#include "cli/pipeline.h"
#include "common/expected.h"
#include "rdml/rdml.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

struct ConvertOptions {
    std::vector<std::string> rawFiles;
    std::optional<std::filesystem::path> output; // -o; none: each raw file beside itself as .xlsx
    bool table = false;                          // --table
    bool listPrograms = false;                   // --list-programs
    bool listChannels = false;                   // --list-channels
    bool meltPeaks = false;                      // --melt-peaks
    std::optional<std::string> sheet;            // --sheet
    bool quiet = false;                          // -q
    bool strict = false;                         // --strict: a file with findings fails
    bool check = false;                          // --check: report the findings, write nothing
    bool help = false;
    bool version = false;
    bool decimalSeparatorGiven = false;
    TableChoices choices;
    std::optional<OutputFormat> format;          // --format; none: from the extension of -o
    bool overwrite = false;                      // --overwrite: an RDML or RDES file may be replaced
    std::optional<std::filesystem::path> layout; // --layout
    std::optional<RdmlVersion> rdmlVersion;      // --rdml-version; none: 1.3
};

// The format written: --format, else the one of -o's extension, else a workbook.
OutputFormat outputFormat(const ConvertOptions& options);

// The arguments after the program name. The error is a usage error; its message names the
// option. The decimal separator is the one given, else '.' with decimalSeparatorGiven false.
Expected<ConvertOptions> parseConvertArguments(const std::vector<std::string>& args);

// The decimal separator of the user's locale settings (the environment's locale), '.' when it
// is not one ASCII character or the locale cannot be had.
char userDecimalSeparator();

} // namespace morvane
