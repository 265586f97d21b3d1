#pragma once
// RDML 1.3 (the qPCR data exchange format: a zip holding rdml_data.xml) and its table form RDES,
// written from the well tables of every channel of one run. The elements follow the strict order
// of RDML_v1_3_REC.xsd; numbers are written with a point whatever the file used.

#include "common/expected.h"
#include "common/grid.h"
#include "conversion/meltcurve.h"
#include "conversion/welltable.h"
#include "export/atomicsave.h"
#include "plate/plate.h"

#include <cstddef>
#include <filesystem>
#include <optional>
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

// One run of a raw export converted for every channel, with its melt curve when asked for: what
// the window saves for its ticked wells.
struct ConvertedChannels {
    std::string experiment; // the experiment name
    std::string run;        // "2", or "3/1" for a segment
    PlateFormat format = PlateFormat::Wells96;
    std::vector<std::string> channels;
    std::vector<WellTable> tables; // tables[i] of channels[i]
    std::optional<MeltCurves> melt;
    // What to write of it: the ticked wells (every well for none). It points into this object.
    RdmlContent content(std::vector<bool> ticks = {}) const;
};

// Converts `program` (and `segment`, for a program read in several) for every channel of the file
// on the plate of `plateSizeIndex`, and reads the melt curve when `withMelt`. The experiment is
// named `fallbackName` when the title line names none.
Expected<ConvertedChannels> convertEveryChannel(const RawText& text, const ProgramList& programs, int program,
                                                std::optional<int> segment, int plateSizeIndex, bool withMelt,
                                                const std::string& fallbackName);

// The react id of a well: (row - 1) x columns + column, A1 = 1.
int reactId(PlateFormat format, int row, int col);

// rdml_data.xml. Refuses an empty or unwritable id (a character XML cannot hold), a reading that
// is not a number, and channels whose tables do not match.
Expected<std::string> rdmlXml(const RdmlContent& content, RdmlSummary* summary = nullptr);

// The .rdml file's bytes: rdml_data.xml, deflated into a zip.
Expected<std::string> rdmlArchive(const RdmlContent& content, RdmlSummary* summary = nullptr);

// The RDES amplification table: tab-separated UTF-8 with LF, header Well, Sample, Sample Type,
// Target, Target Type, Dye, Cq and the cycles, one row per well and channel, Cq empty. Melt
// points are not part of it (RDES keeps them in a second table).
Expected<std::string> rdesTable(const RdmlContent& content, RdmlSummary* summary = nullptr);

enum class ExistingFile { Refuse, Replace };

// Writes `bytes` as `target` atomically: on failure there is neither the file nor a temporary
// one. With ExistingFile::Refuse an existing target is left alone and refused, also when it
// appears while writing.
Status saveNewFile(const std::filesystem::path& target, std::string_view bytes, ExistingFile existing,
                   SaveIo& io = defaultSaveIo());

} // namespace morvane
