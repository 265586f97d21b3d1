#pragma once
// RDML 1.3 or 1.4 (the qPCR data exchange format: a zip holding rdml_data.xml) and its table form
// RDES, written from the well tables of every channel of one run, with the plate layout when the
// user gives one. The elements follow the strict order of the schemas (1.4 only adds optional
// elements and the version); numbers are written with a point whatever the file used.

#include "common/expected.h"
#include "common/grid.h"
#include "conversion/meltcurve.h"
#include "conversion/runchannels.h"
#include "layout/platelayout.h"
#include "plate/plate.h"

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

enum class RdmlVersion { V1_3, V1_4 };

// Another run of the same plate in one file: another segment of the program.
struct RdmlRunPart {
    std::string run; // as RdmlContent::run
    std::vector<const Grid*> tables;
    const Grid* temperatures = nullptr;
};

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
    // The temperature of each reading, laid out as the tables (readingTemperatures); may be null.
    const Grid* temperatures = nullptr;
    std::vector<RdmlRunPart> moreRuns; // written after the run above, without melt points
    // What the lab put in the wells; fitted to the plate and the channels (fitLayout). May be null.
    const PlateLayout* layout = nullptr;
    RdmlVersion version = RdmlVersion::V1_3;
    std::optional<RunSoftware> software; // the data collection software
    std::string dateMade;                // xs:dateTime, such as 2024-05-02T10:11:12Z; empty: left out
};

struct RdmlSummary {
    int reacts = 0; // of the first run
    int runs = 0;
    std::size_t amplificationPoints = 0;
    std::size_t meltPoints = 0;
    // Rows whose well does not lie on the plate: a react id cannot be given to them.
    std::vector<std::string> wellsOffPlate;
};

// What to write of a run converted for every channel: the ticked wells (every well for none).
// It points into `converted`.
RdmlContent rdmlContent(const ConvertedChannels& converted, std::vector<bool> ticks = {});
// The same for the runs of convertEverySegment: the first is the run, the others follow it.
RdmlContent rdmlContent(const std::vector<ConvertedChannels>& runs, std::vector<bool> ticks = {});
// Leaves out the channels not named (every channel stays for an empty list).
void keepChannels(RdmlContent& content, const std::vector<std::string>& names);

// The run's id in the file: "program 2", "program 3 segment 1" for run "3/1".
std::string rdmlRunId(std::string_view run);
// The time as xs:dateTime in UTC, for dateMade.
std::string rdmlDateTime(std::time_t time);

// The react id of a well: (row - 1) x columns + column, A1 = 1.
int reactId(PlateFormat format, int row, int col);

// rdml_data.xml. Refuses an empty or unwritable id (a character XML cannot hold), a reading that
// is not a number, and channels whose tables do not match.
Expected<std::string> rdmlXml(const RdmlContent& content, RdmlSummary* summary = nullptr);

// The .rdml file's bytes: rdml_data.xml, deflated into a zip.
Expected<std::string> rdmlArchive(const RdmlContent& content, RdmlSummary* summary = nullptr);

} // namespace morvane
