#pragma once
// One run of a raw export converted for every channel, with its melt curve when asked for: what
// the RDML and RDES files are written from.

#include "common/expected.h"
#include "conversion/meltcurve.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "conversion/runfacts.h"
#include "conversion/welltable.h"
#include "plate/plate.h"

#include <optional>
#include <string>
#include <vector>

namespace morvane {

struct ConvertedChannels {
    std::string experiment; // the experiment name
    std::string run;        // "2", or "3/1" for a segment
    PlateFormat format = PlateFormat::Wells96;
    std::vector<std::string> channels;
    std::vector<WellTable> tables; // tables[i] of channels[i]
    std::optional<MeltCurves> melt;
    Grid temperatures; // of each reading, laid out as the tables (readingTemperatures)
    std::optional<RunSoftware> software;
};

// Converts `program` (and `segment`, for a program read in several) for every channel of the file
// on `plate`, and reads the melt curve when `withMelt`. The experiment is
// named `fallbackName` when the title line names none.
Expected<ConvertedChannels> convertEveryChannel(const RawText& text, const ProgramList& programs, int program,
                                                std::optional<int> segment, PlateFormat plate, bool withMelt,
                                                const std::string& fallbackName);

// What an RDML file of `program` holds: the chosen run (the `segment`) first, then each other
// segment of the program as a run of its own, so that no read is dropped; the melt curve goes
// with the first. A program read in one segment gives one run.
Expected<std::vector<ConvertedChannels>> convertEverySegment(const RawText& text, const ProgramList& programs,
                                                             int program, std::optional<int> segment, PlateFormat plate,
                                                             bool withMelt, const std::string& fallbackName);

} // namespace morvane
