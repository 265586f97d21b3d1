#pragma once
// What an export says of its run beside the readings: the software that wrote it and the
// temperature at which each reading was taken. RDML keeps both.

#include "common/grid.h"
#include "conversion/dataline.h"
#include "conversion/rawtext.h"
#include "conversion/welltable.h"

#include <optional>
#include <string>

namespace morvane {

struct RunSoftware {
    std::string name;    // "LCS480"
    std::string version; // "1.5.0.39"
};

// From the title line's "(Run on LCS480 1.5.0.39)"; nothing when the title names no software.
std::optional<RunSoftware> runSoftware(const RawText& text);

// The temperature of each reading of `table`, laid out as its grid (the well in column 0): the
// Temp field of the line the reading came from, as the file writes it; empty where the line has
// none. An empty grid when the export has no Temp column.
Grid readingTemperatures(const RawText& text, const WellTable& table, const LineColumns& columns);

} // namespace morvane
