#pragma once
// The plate layout: what the lab put in each well (sample, sample type, target, target type, dye,
// quantity), read from a table the user keeps beside the run, so that RDML, RDES and the sheet
// carry the experiment and not only its readings.
//
// A layout table is text separated by tabs, commas or semicolons, or the first sheet of a
// workbook; an RDES table is one too. Its header names the columns, in any order and letter case:
// Well (required), Sample, Sample Type, Target, Target Type, Dye, Quantity, Quantity Unit,
// Channel. Other columns are ignored.

#include "common/expected.h"
#include "common/grid.h"
#include "plate/plate.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// RDML's codes.
inline constexpr std::string_view kSampleTypes[] = {"unkn", "ntc", "nac", "std", "ntp", "nrt", "pos", "opt"};
inline constexpr std::string_view kTargetTypes[] = {"toi", "ref"};
inline constexpr std::string_view kQuantityUnits[] = {"cop", "fold", "dil", "ng", "nMol", "other"};

// One row of the layout: a well, or one channel of a well.
struct LayoutEntry {
    int row = 0; // on the plate, from 1 (A = 1)
    int col = 0;
    std::string channel;    // empty: every channel of the well
    std::string sample;     // empty: the export's name stays
    std::string sampleType; // one of kSampleTypes, or empty (unkn)
    std::string target;     // empty: the channel is the target
    std::string targetType; // one of kTargetTypes, or empty (toi)
    std::string dye;
    std::string quantity;     // a positive number with a point, or empty
    std::string quantityUnit; // one of kQuantityUnits; set whenever quantity is
    // Where the entry was read: "plan.tsv, line 4"; "well B3" for one set in the window.
    std::string place;
    std::string well() const { return wellName(row, col); }
};

struct PlateLayout {
    std::string source; // the file's name, as messages show it
    std::vector<LayoutEntry> entries;

    bool empty() const { return entries.empty(); }
    // The entry describing `channel` of the well: its own, else the one for every channel.
    const LayoutEntry* find(int row, int col, std::string_view channel) const;
    // The sample the layout gives the well (any of its entries), or empty.
    std::string sampleOf(int row, int col) const;
    // The type the layout gives a sample; empty when none.
    std::string sampleTypeOf(std::string_view sample) const;
};

// Bounds for a file typed by hand: far above any plate's layout.
struct LayoutLimits {
    std::uint64_t maxBytes = 8ull << 20;
    std::size_t maxRows = 20000;
};

// A layout table from text: UTF-8 with or without a byte-order mark (UTF-16 with one and
// Windows-1252 are read too), fields separated by the tabs, semicolons or commas of the header
// line, a field in double quotes may hold the separator ("" for a quote). `name` names the file
// in messages. Errors give the file, the line and the offending value.
Expected<PlateLayout> parseLayoutText(std::string bytes, const std::string& name, const LayoutLimits& limits = {});

// A layout from the rows of a sheet (row 0 the header), `unit` naming a row in messages.
Expected<PlateLayout> layoutFromRows(const Grid& rows, const std::string& name, const char* unit = "row");

// Reads a layout file: an .xlsx workbook (its first sheet) or a text table.
Expected<PlateLayout> readLayoutFile(const std::filesystem::path& path, const LayoutLimits& limits = {});

// The layout against the plate and the export: every well on the plate, every channel one the
// export reads, one entry per well and channel. A well listed more than once without a channel
// (an RDES table of a multiplex run, one row per dye) is split by its Dye, which must then name
// the export's channels. Errors name the place and the value.
Status fitLayout(PlateLayout& layout, PlateFormat format, std::span<const std::string> channels);

// What the layout says as a whole must agree: a well has one sample, a sample one type and one
// quantity per target, a target one type and one dye, a well and channel one entry.
Status checkLayoutConsistency(const PlateLayout& layout);

// What the window sets for the ticked wells; a field left empty (nullopt) stays as it is, an
// empty text clears it.
struct LayoutEdit {
    std::optional<std::string> sample, sampleType, target, targetType, quantity, quantityUnit;
};

// Sets the fields of each well's entry for every channel (made when missing), and the sample,
// its type and quantity on the well's channel entries too. Codes and numbers are checked as a
// file's are; on any error the layout is left as it was.
Status editLayout(PlateLayout& layout, std::span<const WellPos> wells, const LayoutEdit& edit);

// The layout as the table "Save layout..." writes: tab-separated UTF-8, the header Well, Sample,
// Sample Type, Target, Target Type, Dye, Quantity, Quantity Unit (and Channel when an entry has
// one), one row per entry in plate row order.
std::string layoutTable(const PlateLayout& layout);

// The sample name as a well table holds it: each word preceded by one blank.
std::string sampleCellText(std::string_view name);

// Gives the rows of a table laid out as a well table (column 0 the well, column 1 the sample)
// the layout's sample names. Returns how many names changed.
int applySampleNames(Grid& table, const PlateLayout& layout);

// The wells the layout describes that `table` (a well table) holds no row for, in plate row
// order: what the warning "layout wells without data" names.
std::vector<std::string> layoutWellsWithoutData(const PlateLayout& layout, const Grid& table);
// The same from the names of the wells with data.
std::vector<std::string> layoutWellsWithoutData(const PlateLayout& layout, std::span<const std::string> wellsWithData);
// One warning naming them (the first few), or empty when there are none.
std::string layoutWellsWithoutDataWarning(const std::vector<std::string>& wells);

} // namespace morvane
