#pragma once
// The steps from a raw export to the table that is written, as the window and the tool both
// run them: the proposed sheet name, Convert to Grid, and the checks of what it converted.

#include "common/expected.h"
#include "conversion/datachecks.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "conversion/welltable.h"
#include "plate/plate.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// The sheet name proposed for a channel of the run: the experiment name from the title line,
// with the channel when the file has several and "seg S" for a segment of a program read in
// several (`segment` its number as the file writes it, empty for none), so that two tables of
// one file are told apart (cut to Excel's 31 characters).
std::string proposedSheetName(const RawText& text, const ProgramList& programs, int channel,
                              std::string_view segment = {});

struct CheckedTable {
    WellTable table;
    std::string plateWarning;      // wells the plate cannot hold, or "" (none said without a plate)
    std::vector<Finding> findings; // checkConversion's
};

// Converts the chosen run and channel, at most the wells of `plate` (384 while none is chosen),
// and checks the table. Errors name the line.
Expected<CheckedTable> convertAndCheck(const RawText& text, const ProgramList& programs, const RunChoice& choice,
                                       std::optional<PlateFormat> plate, const ConversionProgress& progress = {});

} // namespace morvane
