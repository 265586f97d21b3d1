#pragma once
// morvane-convert's RDML and RDES output: the export tables of every chosen channel, with the
// melt curve for RDML, written as a new file.

#include "cli/pipeline.h"
#include "common/expected.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

enum class OutputFormat { Xlsx, Rdml, Rdes };

// The format named by --format ("xlsx", "rdml", "rdes"), or nothing.
std::optional<OutputFormat> formatNamed(std::string_view name);
// The format an output file's extension stands for: .rdml RDML, .tsv RDES, anything else a
// workbook.
OutputFormat formatOfFile(const std::filesystem::path& file);
// ".xlsx", ".rdml" or ".tsv".
const char* extensionOf(OutputFormat format);

struct ExchangeFileWritten {
    std::string description; // "96 wells, channels 465-510, 533-580, 40 cycles, melt curve of program 3"
    std::vector<std::string> warnings;
};

// Writes `tables` (one per channel, as buildExportTables made them) to `target` as RDML or RDES.
// An existing target is refused unless `overwrite`; a failure leaves no file.
Expected<ExchangeFileWritten> writeExchangeFile(const RawText& text, const ProgramList& programs,
                                                const std::vector<ExportTable>& tables, OutputFormat format,
                                                const std::filesystem::path& target, bool overwrite,
                                                const std::string& fallbackExperiment);

} // namespace morvane
