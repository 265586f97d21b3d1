#pragma once
// Extraction of the ticked wells into the export table, and the check and repair of readings
// written with a decimal separator other than the user's.

#include "common/grid.h"
#include "plate/plate.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// Check-list indices of the ticked wells in plate row order (A1, A2, ..., A12, B1, ...), which
// is not the column-by-column order of the map. ticks holds one flag per check-list index;
// flags missing at the end count as unticked.
std::vector<int> tickedInPlateRowOrder(PlateFormat format, const std::vector<bool>& ticks);

struct Extraction {
    Grid table;                            // the export table
    std::vector<std::string> missingWells; // ticked wells without a row in the well table
    int wellsExtracted = 0;                // rows of wells below the header
    // The separator to ask about replacing (wrongSeparator of the table); extractSelectedWells only.
    std::optional<char> wrongSeparator;
};

// Builds the export table: the well table's row 0, then one row per ticked well in plate row
// order, each a copy of every column of the well table's first row (from row 0 down) whose
// column 0 names the well, letter case aside. The table has the well table's column count and
// at least 2 rows (with no well, row 1 is empty), one fixed row and one fixed column. A ticked
// well without a row in the well table is left out and named in missingWells.
Extraction extractWells(const Grid& wellTable, PlateFormat format, const std::vector<bool>& ticks);
// The same from a well table that is no longer needed: its rows become the export table's.
Extraction extractWells(Grid&& wellTable, PlateFormat format, const std::vector<bool>& ticks);

// The check-list flags of the wells an export table holds (column 0, from row 1, any case): the
// wells it was extracted from, whatever the map's ticks are now. Other names are passed over.
std::vector<bool> tableWellTicks(const Grid& exportTable, PlateFormat format);

// Extract Selected Wells as the window and the tool run it: extractWells, then the judgement of
// the readings' decimal separator against the user's. Repairing is the user's answer
// (repairSeparators).
Extraction extractSelectedWells(const Grid& wellTable, PlateFormat format, const std::vector<bool>& ticks,
                                char systemSeparator);
Extraction extractSelectedWells(Grid&& wellTable, PlateFormat format, const std::vector<bool>& ticks,
                                char systemSeparator);

// The wells of a conversion that the plate map cannot show, or "": rows of the well table whose
// well is not one of the plate (they can never be ticked), and the wells of the file that came
// after the table was full. Each kind with its count and the first few names.
std::string plateWellsWarning(const Grid& wellTable, const std::vector<std::string>& wellsNotConverted,
                              PlateFormat format);

// "3 ticked wells hold no data and were left out: A1, B2, C3.", or "" for no well.
std::string missingWellsWarning(const std::vector<std::string>& wells);

// The text with its first occurrence of wrong replaced by right; later ones stay.
std::string replaceseparator(char wrong, char right, std::string_view text);

// The wrong decimal separator to offer replacing, judged from the reference cell (column 2,
// row 1: the first reading of the first well), or nothing when that cell holds the system's
// separator. It is the last character of the cell that can not belong to a number written
// without separator (a digit, sign, exponent letter or blank); with none, the point for a
// comma system and the comma otherwise. A missing or empty cell still gets the question.
std::optional<char> wrongSeparator(const Grid& exportTable, char systemSeparator);

// Do you want to REPLACE the wrong decimal separator ("W") with the one ("S") used by your system?
std::string separatorQuestion(char wrong, char right);

// replaceseparator on every reading: rows from 1, columns from 2. Header row, well names and
// sample names stay as they are.
void repairSeparators(Grid& exportTable, char wrong, char right);

} // namespace morvane
