#pragma once
// The melt curve of a raw data export: the program whose readings all carry cycle 1 while the
// temperature rises. The detection leaves it out (it has no cycles to tabulate); RDML keeps it
// as (temperature, reading) pairs per well and channel.

#include "common/expected.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

struct MeltWell {
    std::string name;                      // as the file writes it
    std::vector<std::string> temperatures; // one per point, as the file writes it
    std::vector<std::string> readings;     // point-major: readings[point * channels.size() + channel]
};

struct MeltCurves {
    int program = 0;
    std::vector<std::string> channels; // every channel of the file, in header order
    std::vector<MeltWell> wells;       // in the order of the file
    // Points left out because their well already had a reading at that temperature (a melt
    // curve holds one reading per temperature).
    std::size_t repeatedTemperatures = 0;
};

// The melt program: the first program whose lines in the first well all carry cycle 1, at least
// two of them, the last one at a higher temperature than the first and the temperature rising
// more often than it falls (the first steps of a real melt may wobble). Nothing when the file has
// none or no temperature column.
Expected<std::optional<int>> findMeltProgram(const RawText& text, const ProgramList& programs);

// The readings of `program` for every well, each channel. Refuses malformed data lines, naming the
// line.
Expected<MeltCurves> readMeltCurves(const RawText& text, const ProgramList& programs, int program);

// The warning for curves that left out readings at a temperature already read; empty for none.
std::string repeatedTemperaturesWarning(const MeltCurves& curves);

// findMeltProgram, then readMeltCurves; nothing when there is no melt program.
Expected<std::optional<MeltCurves>> readMeltProgram(const RawText& text, const ProgramList& programs);

} // namespace morvane
