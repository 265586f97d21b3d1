#pragma once
// The well table: one acquisition program of a raw data export as one row per well and one
// column per cycle, the well name and sample name in front.

#include "common/expected.h"
#include "common/grid.h"
#include "conversion/datachecks.h"
#include "conversion/dataline.h"
#include "conversion/programs.h"
#include "conversion/rawtext.h"
#include "plate/plate.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// A cycle number beyond this cannot come from the instrument; it would only make the table huge.
inline constexpr int kMaxCycle = 9999;
// Findings of the walk through the file (cycles read twice, wells coming back) beyond this many
// make the file no export of one run: it is refused rather than each one kept in memory.
inline constexpr std::size_t kMaxConversionFindings = 1'000'000;

struct ConversionSettings {
    int selectedProgram = 0; // the acquisition program converted
    int progColFromEnd = 0;  // where the program number stands, counted from the end of a data line
    // 0-based index of the first data line: the line after the header (ProgramList::firstDataLine()).
    std::size_t firstDataLine = 2;
    int wellLimit = 384;                  // the wells of the plate
    int cycleFromEnd = kCycleFromEnd;     // where the cycle number stands, counted from the end of a data line
    int readingFromEnd = kReadingFromEnd; // where the reading of the chosen channel stands
    // For a program that reads in several segments: the segment to convert, and where its
    // number stands. Lines of the program's other segments are passed over.
    std::optional<int> selectedSegment;
    int segmentFromEnd = 0;
};

// The settings for converting `selectedProgram` as found by the detection, at most the wells
// of `plate` (a conversion before a plate is chosen is held to the 384-well plate).
ConversionSettings conversionSettings(const ProgramList& programs, int selectedProgram, PlateFormat plate);

struct WellTable {
    // Row 0 "well", "sample", then the cycle numbers as the file first writes them; one row per
    // converted well: well, sample name (each word preceded by a blank), the reading of cycle k
    // in column k + 1, as wide as the largest cycle of any well. Cells are UTF-8. One fixed row
    // and one fixed column (the well).
    Grid grid;
    // The largest cycle the first well's row holds: the number of cycles the table is said to hold.
    int cycles = 0;
    // The wells of the file after the well limit was reached, in the order of the file: they
    // have no row.
    std::vector<std::string> wellsNotConverted;
    // Per cell of the grid (row-major, the grid's size): the 1-based line of the file its reading
    // came from, 0 for none; the well and sample cells hold the line of the well's first reading.
    std::vector<std::uint32_t> sourceLines;
    // What only the walk through the file sees: cycles read twice, sample names changing
    // within a well, wells read beyond the first well's cycles, wells coming back after other
    // wells or programs (checkConversion reports them with the rest).
    std::vector<Finding> conversionFindings;

    std::uint32_t sourceLine(int row, int col) const
    {
        const auto at =
            static_cast<std::size_t>(row) * static_cast<std::size_t>(grid.colCount()) + static_cast<std::size_t>(col);
        return at < sourceLines.size() ? sourceLines[at] : 0;
    }
};

// Called at the end of each well's first run with the index of the line reached (the line count
// when the end of the file was reached); the window moves its progress bar and drains its
// message queue there.
using ConversionProgress = std::function<void(std::size_t lineIndex)>;

// Converts the readings of settings.selectedProgram, one row per well in the order the wells
// first occur, at most settings.wellLimit rows; every reading goes to the row of the well its
// line names, at its cycle, also when the well comes back after other wells or programs. A line
// of another well breaking into a run (the cycles go on across the change of well) is refused,
// as is a cycle out of order within a run. Errors name the line and what was expected there; on
// an error there is no table.
Expected<WellTable> convertToGrid(const RawText& text, const ConversionSettings& settings,
                                  const ConversionProgress& progress = {});

// What the user chose to convert, of what the detection offers.
struct RunChoice {
    int program = 0;            // the acquisition program
    std::optional<int> segment; // for a program that reads in several segments
    int channel = 0;            // index into ProgramList::columns.channels
};

// The settings for converting the chosen run and channel as found by the detection.
ConversionSettings conversionSettings(const ProgramList& programs, const RunChoice& choice, PlateFormat plate);

// Convert to Grid as the window and the tool run it: the chosen run with the columns the
// detection found, at most the plate's wells.
Expected<WellTable> convertRun(const RawText& text, const ProgramList& programs, const RunChoice& choice,
                               PlateFormat plate, const ConversionProgress& progress = {});

// The sheet name proposed from the title line (line 0), as UTF-8: the text between
// "Experiment - " and the blank before "(Run". Without "Experiment - " the first twelve
// characters are dropped instead; without "(Run" the name is empty. Empty text: empty name.
std::string experimentName(const RawText& text);

} // namespace morvane
