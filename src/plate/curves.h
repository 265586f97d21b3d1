#pragma once
// The amplification curves of a well table, ready to draw: which wells, which points, and a
// colour per sample name. Plain data, so the plot widget only draws and the choices are tested
// without a window.

#include "common/grid.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

enum class CurveScale { Linear, Log };

struct Curve {
    std::string well;
    std::string sample; // without the blank the table puts in front
    int colour = 0;     // by sample name: replicates share it
    int tableRow = 0;   // of the well table
    std::vector<double> cycles;
    std::vector<double> readings; // one per cycle; a cell that is no number is left out of both
    // A melt peak curve has temperatures (°C) for cycles, -dF/dT for readings, and its peaks'
    // temperatures, highest peak first.
    std::vector<double> peaks;
};

// One colour per sample of a run, by number: a sample keeps its colour while any well holds it,
// so every page and saved plot shows it alike and renaming some wells recolours only those. A
// new sample takes the lowest number no sample holds, so the first samples stay distinct.
class SampleColours {
public:
    // Takes the samples of a well table (column 1 from row 1, blanks round them aside): those no
    // longer there give up their colour, new ones get one in table order.
    void update(const Grid& wellTable);
    std::optional<int> colourOf(std::string_view sample) const;

private:
    std::map<std::string, int, std::less<>> m_colours;
};

// A reading written with either decimal separator ("15.53" or "15,53"); nothing for an empty
// cell or one that is no number. Whole-number readings such as 41594 are numbers too: a damaged
// reading is shown, not hidden.
[[nodiscard]] std::optional<double> parseReading(std::string_view text);

// The curves of `wells` (names, any case) in table order; an empty list stands for every well of
// the table. Wells the table has no row for are passed over. Colours come from `colours`; a
// sample it lacks (or without it, every sample) gets the count of the sample names of the whole
// table from 0 in the order they first appear, so a well keeps its colour whichever wells are
// shown. The table is the window's well or
// export table: row 0 the heading (well, sample, cycle numbers), column 0 the well, column 1 the
// sample, then one reading per cycle.
std::vector<Curve> curvesOf(const Grid& table, const std::vector<std::string>& wells = {},
                            const SampleColours* colours = nullptr);

// The points a curve shows on the given scale: a log axis has no place for readings <= 0, so
// they are left out there (not moved to a small value, which would draw a fall that is not in
// the data).
struct CurvePoints {
    std::vector<double> x;
    std::vector<double> y;
};
CurvePoints visiblePoints(const Curve& curve, CurveScale scale);

} // namespace morvane
