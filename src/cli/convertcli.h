#pragma once
// morvane-convert: the window's conversion and export of a raw export, from the command line.
// The program is runConvert; main only hands it the arguments and the standard streams.

#include "cli/exchangefile.h"
#include "cli/pipeline.h"
#include "common/expected.h"
#include "rdml/rdml.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

inline constexpr const char* kConvertProgram = "morvane-convert";

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFileFailed = 1;
inline constexpr int kExitUsage = 2;

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

std::string convertUsage();

// Runs the tool: tables and program lists go to `out`, messages and progress to `err`
// (progress only when `errIsTerminal` and not quiet). Returns the exit status.
int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal);

} // namespace morvane
