#pragma once
// The window's walk from a raw export to the export table, without the window: the choices the
// user makes on the three pages given up front. Every step is the core function the window's
// handler calls; this file only strings them together in the handlers' order.

#include "common/expected.h"
#include "common/grid.h"
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

// One item of a well list: a well ("B3") or a rectangle ("C1:D4", rows C to D, columns 1 to 4),
// kept as the four texts the window's range edits would hold.
struct WellRect {
    std::string text; // as written, for messages
    WellPos first;
    WellPos last;
    bool operator==(const WellRect&) const = default;
};

// "A1,B3,C1:D4": items separated by commas, blanks around an item ignored. Each well is row
// letters followed by a column number. Only the form is checked here; whether the wells lie on
// the plate depends on the plate (wellTicks).
Expected<std::vector<WellRect>> parseWellList(std::string_view list);

// One flag per check-list index of the plate, as the plate map holds its ticks: every well for
// an empty list ("Select All"), else the wells of the items, each checked against the plate by
// the range reader of "Select Range". An item whose first well lies below or right of its last
// selects nothing, which is refused too.
Expected<std::vector<bool>> wellTicks(PlateFormat format, const std::vector<WellRect>& wells);

// What the user chooses in the window.
struct TableChoices {
    std::optional<PlateFormat> plate;  // none: recognised from the last line, as "Open text File" does
    std::optional<std::string> run;    // "2" or "3/1"; none: the first one offered
    std::vector<std::string> channels; // by name; empty: the first channel
    bool allChannels = false;          // --channel all
    std::vector<WellRect> wells;       // empty: every well of the plate
    bool repairSeparator = true;       // the answer "Yes" to the separator question
    char decimalSeparator = '.';       // the user's
};

// The run and channels the choices name, checked against what the file offers. An error here
// is the user's (a usage error): it lists what the file offers.
struct ResolvedChoices {
    const OfferedRun* run = nullptr;
    std::vector<int> channels; // indices into the columns' channels, in the order asked
};
Expected<ResolvedChoices> resolveChoices(const ProgramList& programs, const TableChoices& choices);

struct ExportTable {
    Grid table;                    // the export table, as the third page shows it
    std::string experimentName;    // from the title line (not cut)
    std::string proposedSheetName; // the experiment name, with the channel when there are several
    std::string channel;           // the channel converted
    PlateFormat plate = PlateFormat::Wells96;
    std::string run;                        // converted run: "2" or "3/1"
    int cycles = 0;                         // of the first well
    int wellsExtracted = 0;                 // rows below the header
    std::vector<std::string> missingWells;  // chosen wells without data, left out
    std::vector<std::string> wellsWithData; // every well the conversion gave a row, chosen or not
    std::optional<char> replacedSeparator;  // the wrong separator that was replaced, if it was
    std::string plateWarning;               // wells the plate cannot hold, or "" (plateWellsWarning)
    std::vector<Finding> findings;          // of the conversion (checkConversion)
};

// The message for a file whose plate format is not recognised.
inline constexpr std::string_view kPlateNotRecognised = "plate format not recognised; give --plate 96 or --plate 384";

// Determine Progs, the plate size (given, or recognised from the last line as "Open text File"
// does), then for each chosen channel Convert to Grid, the wells ticked, Extract Selected Wells
// and the separator question, in that order. Errors name the line where they concern one.
Expected<std::vector<ExportTable>> buildExportTables(const RawText& text, const ProgramList& programs,
                                                     const ResolvedChoices& resolved, const TableChoices& choices,
                                                     const ConversionProgress& progress = {});

struct OfferedProgram {
    std::string program; // "2", or "3/1" for a program that reads in several segments
    int cycles = 0;      // the largest cycle number of the first well's readings of the run
};

// The runs "Determine Progs" offers, each with the largest cycle number of the first well's
// readings.
std::vector<OfferedProgram> listPrograms(const ProgramList& programs);

// A cell for tab-separated output: backslash, tab, line feed and carriage return written as
// \\, \t, \n and \r, another control character as \xHH, everything else as it is.
std::string escapeTableCell(std::string_view cell);

// Every row of the grid, cells separated by tabs, each row ended by a line feed.
std::string tableAsText(const Grid& grid);

} // namespace morvane
