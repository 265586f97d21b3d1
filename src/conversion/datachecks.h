#pragma once
// Checks of a converted run: what in the readings looks damaged, and where. The checks only
// report; the table keeps every reading as the file wrote it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace morvane {

struct WellTable;
class Grid;

// In the order the findings are reported; ReturningWell stays the last (checkConversion counts to it).
enum class FindingKind {
    SpreadsheetDate, // a whole number far above its channel: a reading a spreadsheet took for a date
    Negative,        // a reading below zero
    MissingCycle,    // a cycle of the table's columns without a reading in this well
    RepeatedCycle,   // a cycle read twice for one well; the later reading is in the table
    SampleName,      // a sample name that differs from the one the well's row began with
    SampleControls,  // control characters in a well's sample name, which became blanks or went
    LongerRun,       // a well read at cycles beyond the first well's last: the table widened
    ReturningWell,   // a well whose lines come back after other wells or programs: they joined its row
};

struct Finding {
    FindingKind kind = FindingKind::SpreadsheetDate;
    int row = 0;            // row of the well table
    int cycle = 0;          // the cycle concerned: where the sample name changed, the run came back, the
                            // well went beyond the first well's cycles
    std::uint32_t line = 0; // 1-based line of the file; for a missing cycle the well's reading before it
    std::string well;
    std::string text; // the reading or sample name found; empty for a missing cycle

    // The well table's cell the finding concerns: the sample cell for a sample name, else the
    // cycle's cell (which may lie beyond the table's columns for a repeated cycle).
    int column() const
    {
        return kind == FindingKind::SampleName || kind == FindingKind::SampleControls ? 1 : cycle + 1;
    }
    bool operator==(const Finding&) const = default;
};

// A reading counts as a spreadsheet date when it is a whole number written without decimals, at
// least this large, in a table most of whose readings lie below kTypicalReadingLimit. Instrument
// readings carry decimals and stay far below; date serials of this century start at 36,526.
inline constexpr int kDateSerialMinimum = 10000;
inline constexpr int kTypicalReadingLimit = 1000;

// Every finding of the conversion, grouped by kind in the order of FindingKind, each kind in
// the order of the table (row, then cycle).
std::vector<Finding> checkConversion(const WellTable& table);

// A run of findings of one kind in a list checkConversion returned.
struct FindingGroup {
    FindingKind kind = FindingKind::SpreadsheetDate;
    std::size_t first = 0; // index of its first finding
    std::size_t count = 0;
};
std::vector<FindingGroup> groupFindings(const std::vector<Finding>& findings);

// "1,002"
std::string countText(std::size_t count);

// What a group found, as the tool says it after "FILE:LINE: warning: ":
// "1,002 readings look like spreadsheet dates (first: A3 cycle 7: 41594)".
std::string toolWarning(const std::vector<Finding>& findings, const FindingGroup& group);

// The window's warning: one paragraph per kind with its count and first places, and that
// nothing was changed.
std::string windowWarning(const std::vector<Finding>& findings);

// What a flagged cell's tooltip says about one finding: "looks like a date written by a
// spreadsheet (line 77)".
std::string cellNote(const Finding& finding);

// The findings moved onto another table of the same wells, as the extraction builds one: a
// row of `table` takes the findings of the first row of `wellTable` holding its well (column 0,
// letter case aside). Findings of wells `table` does not hold are left out.
std::vector<Finding> findingsOnTable(const std::vector<Finding>& findings, const Grid& wellTable, const Grid& table);

// Each well with findings, in the order of its first finding, with what was found there: one
// line per kind ("2 readings look like dates written by a spreadsheet").
struct WellFindings {
    std::string well;
    std::string note;
};
std::vector<WellFindings> findingsByWell(const std::vector<Finding>& findings);

} // namespace morvane
