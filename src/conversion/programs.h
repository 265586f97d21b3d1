#pragma once
// Which acquisition programs of a raw data export can be converted. A run holds several
// programs (amplification, melt curve, ...), every reading marked with its program number in
// the column headed "Prog#"; only the programs whose cycle number changes from one reading to
// the next are worth a well table, and they are found in the first well.

#include "common/expected.h"
#include "conversion/dataline.h"
#include "conversion/rawtext.h"

#include <cstddef>
#include <string>
#include <vector>

namespace morvane {

struct ProgramList {
    // `ProgColFromEnd`: position of "Prog#" in the header line counted from its end (1 = last);
    // the program number of every data line stands at the same position from the line's end.
    int progColFromEnd = 0;
    // 0-based index of the header line. The data begin on the line after it.
    std::size_t headerLine = 1;
    // The program numbers as the file writes them (the items of the list box), without
    // duplicates, in the order found; never empty.
    std::vector<std::string> programs;
    // numbers[i] is the value of programs[i] (what `SelectedProg` takes when item i is chosen).
    std::vector<int> numbers;

    // The list box and its label are shown only when there is a choice.
    bool offersChoice() const { return programs.size() >= 2; }
    std::size_t firstDataLine() const { return headerLine + 1; }
};

// Finds the header line (the first line holding "Prog#") and the programs of more than one
// cycle in the first well. Refuses an empty text, a file without "Prog#" (naming a sample list
// or results export when it looks like one), malformed data lines (naming the line), and a
// first well without any program of more than one cycle. A file of a single well is scanned to
// its end.
Expected<ProgramList> detectPrograms(const RawText& text, int cycleFromEnd = kCycleFromEnd);

} // namespace morvane
