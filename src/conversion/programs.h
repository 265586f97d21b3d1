#pragma once
// Which acquisition programs of a raw data export can be converted. A run holds several
// programs (amplification, melt curve, ...), every reading marked with its program number in
// the column headed "Prog#"; only the programs whose cycle number changes from one reading to
// the next are worth a well table, and they are found in the first well.

#include "common/expected.h"
#include "conversion/dataline.h"
#include "conversion/rawtext.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// The columns of the export, found by name in its header line. Everything after the sample
// name has a fixed place, so each column is addressed by its position counted from the end of
// a line (1 = last), which holds whatever number of words the sample name has.
struct RawColumns {
    LineColumns line;                  // program, cycle, segment, temperature; reading: the first channel
    std::vector<std::string> channels; // the reading columns, in header order ("465-510", ...)
    std::vector<int> channelFromEnd;   // channelFromEnd[i]: where channel i's reading stands
    bool severalChannels() const { return channels.size() >= 2; }
};

// One item the detection offers: a program, or a program and one of its segments when the
// program reads in more than one segment per cycle.
struct OfferedRun {
    int program = 0;
    std::string programText;    // as the file writes it
    std::optional<int> segment; // only for a program that reads in several segments
    std::string segmentText;
    std::optional<double> meanTemperature; // of the first well's readings in that segment
    int firstWellCycles = 0;               // the largest cycle number of the first well's readings
    // "2", or "3/1" for segment 1 of program 3 (morvane-convert's --program)
    std::string name() const;
    // The list box item: "2", or "3 / segment 1 (95 °C)".
    std::string label() const;
};

struct ProgramList {
    // Position of "Prog#" in the header line counted from its end (1 = last);
    // the program number of every data line stands at the same position from the line's end.
    int progColFromEnd = 0;
    // 0-based index of the header line. The data begin on the line after it.
    std::size_t headerLine = 1;
    // The program numbers as the file writes them (the items of the list box), without
    // duplicates, in the order found; never empty.
    std::vector<std::string> programs;
    // numbers[i] is the value of programs[i] (the program chosen with item i).
    std::vector<int> numbers;

    // The columns of the header; progColFromEnd is columns.line.programFromEnd.
    RawColumns columns;
    // The items of the list box: each program of `programs`, in that order, split into its
    // segments where it reads in several.
    std::vector<OfferedRun> runs;

    // The list box and its label are shown only when there is a choice.
    bool offersChoice() const { return runs.size() >= 2; }
    std::size_t firstDataLine() const { return headerLine + 1; }
};

// Finds the header line (the first line holding "Prog#"), its columns, and the programs of more
// than one cycle in the first well with their segments. Refuses an empty text, a file without
// "Prog#" (naming a sample list or results export when it looks like one), a header without
// "Cycle#" or without a reading column, malformed data lines (naming the line), and a first well
// without any program of more than one cycle. A file of a single well is scanned to its end.
Expected<ProgramList> detectPrograms(const RawText& text);

// The memory a conversion may take, the file's own bytes included; a file that would take more
// is refused before it is converted. What it takes was measured (bench/memory/peak.sh) and is
// estimated from the file's size and lines: each line of readings costs at most about this much
// beyond its bytes, in the well table, its temperature and the RDML or sheet written from them.
inline constexpr std::uint64_t kConversionMemoryLimit = 1'000'000'000;
inline constexpr std::uint64_t kConversionBytesPerLine = 40;
inline constexpr std::uint64_t kConversionBytesPerReading = 150; // per channel of a line
// Refuses a text whose conversion, with `channels` readings a line, would take more than
// kConversionMemoryLimit.
Status checkConversionMemory(const RawText& text, std::size_t channels);

// Refuses a text that is not a raw data export: no line holds the column header "Prog#" (a
// results export or a sample list says so). The same refusal detectPrograms gives first.
Status checkRawExport(const RawText& text);

// The columns of a header line: "Prog#", "Seg#", "Cycle#", "Temp" found by name (letter case
// aside), the channels being the columns after "Temp" (without "Temp", the last column).
// `headerLine` is 0-based, for the messages.
Expected<RawColumns> findColumns(const RawText& text, std::size_t headerLine);

// The run named as morvane-convert takes it ("2" or "3/1"), or nothing when none is offered.
const OfferedRun* findRun(const ProgramList& programs, std::string_view name);

} // namespace morvane
