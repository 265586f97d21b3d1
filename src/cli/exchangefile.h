#pragma once
// morvane-convert's RDML and RDES output: the export tables of every chosen channel, with the
// melt curve for RDML, written as a new file.

#include "cli/pipeline.h"
#include "common/expected.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "layout/platelayout.h"
#include "rdml/rdml.h"

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

struct ExchangeRequest {
    OutputFormat format = OutputFormat::Rdml;
    std::filesystem::path target;
    bool overwrite = false; // an existing target is refused otherwise
    std::string fallbackExperiment;
    const PlateLayout* layout = nullptr; // fitted to the plate and channels
    RdmlVersion version = RdmlVersion::V1_3;
    // RDML of a program read in several segments holds each segment as a run of its own (no
    // program was chosen); otherwise only the run converted.
    bool everySegment = false;
    std::vector<WellRect> wells; // empty: every well
};

// Writes the run and channels of `tables` (one per channel, as buildExportTables made them) to
// the request's target as RDML or RDES. A failure leaves no file.
Expected<ExchangeFileWritten> writeExchangeFile(const RawText& text, const ProgramList& programs,
                                                const std::vector<ExportTable>& tables, const ExchangeRequest& request);

} // namespace morvane
