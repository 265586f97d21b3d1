#pragma once
// RDML 1.3 (the qPCR data exchange format: a zip holding rdml_data.xml) and its table form RDES,
// written from the well tables of every channel of one run. The elements follow the strict order
// of RDML_v1_3_REC.xsd; numbers are written with a point whatever the file used.

#include "common/expected.h"
#include "common/grid.h"
#include "conversion/meltcurve.h"
#include "conversion/runchannels.h"
#include "plate/plate.h"

#include <cstddef>
#include <string>
#include <vector>

namespace morvane {

// What goes into one file.
struct RdmlContent {
    std::string experiment; // the experiment's id: the experiment name
    std::string run;        // the run's id: the program or run converted ("2", "3/1")
    PlateFormat format = PlateFormat::Wells96;
    std::vector<std::string> channels; // one dye and one target each
    // channels[i]'s well table (or an export table of the same layout): row 0 "well", "sample",
    // the cycles; a row per well, the reading of cycle k in column k + 1.
    std::vector<const Grid*> tables;
    // The chosen wells, one flag per check-list index of the plate; empty: every well.
    std::vector<bool> ticks;
    const MeltCurves* melt = nullptr; // melt points of the wells, every channel; may be null
};

struct RdmlSummary {
    int reacts = 0;
    std::size_t amplificationPoints = 0;
    std::size_t meltPoints = 0;
    // Rows whose well does not lie on the plate: a react id cannot be given to them.
    std::vector<std::string> wellsOffPlate;
};

// What to write of a run converted for every channel: the ticked wells (every well for none).
// It points into `converted`.
RdmlContent rdmlContent(const ConvertedChannels& converted, std::vector<bool> ticks = {});

// The react id of a well: (row - 1) x columns + column, A1 = 1.
int reactId(PlateFormat format, int row, int col);

// rdml_data.xml. Refuses an empty or unwritable id (a character XML cannot hold), a reading that
// is not a number, and channels whose tables do not match.
Expected<std::string> rdmlXml(const RdmlContent& content, RdmlSummary* summary = nullptr);

// The .rdml file's bytes: rdml_data.xml, deflated into a zip.
Expected<std::string> rdmlArchive(const RdmlContent& content, RdmlSummary* summary = nullptr);

} // namespace morvane
