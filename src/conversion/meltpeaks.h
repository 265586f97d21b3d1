#pragma once
// The melt peaks of a well: the temperatures at which -dF/dT, the fall of the reading per degree,
// has a clear local maximum. One peak at the product's temperature means the specific product; a
// further one lower down, primer dimers. The method and its parameters are described in the README
// ("Melt peaks").

#include "common/grid.h"
#include "conversion/meltcurve.h"
#include "plate/curves.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace morvane {

// Every setting of the peak finder, in one place.
struct MeltPeakSettings {
    // The readings of the first and last degree are left out: the block is still settling there
    // and the reading often rises before it falls.
    double settleDegrees = 1.0;
    // The slope at a reading is that of the straight line fitted to the readings within this many
    // degrees either side, and at least `minSideReadings` readings either side.
    double halfWindow = 1.0;
    std::size_t minSideReadings = 2;
    // A peak stands out from its surroundings (its prominence) by at least this many times the
    // noise of -dF/dT, estimated from the readings' scatter and resolution.
    double noiseFactor = 10.0;
    // ... and by at least this share of the well's highest peak.
    double minShare = 0.10;
    // A well without such a peak is read again with slopes over this many degrees either side: a
    // small broad peak (primer dimers in a no-template well) rises above the noise of readings
    // written with two decimals only when more of them are averaged. A peak found so must stand
    // out by `wideNoiseFactor` times that slope's noise and be at most `wideMaxWidth` degrees wide
    // at half its prominence, so that the slow bends of a well without product make none.
    double wideHalfWindow = 2.5;
    double wideNoiseFactor = 12.0;
    double wideMaxWidth = 5.0;
    // A curve with fewer readings after the settling degrees has no peaks.
    std::size_t minReadings = 8;
};

struct MeltPeak {
    double temperature = 0; // °C, between the readings (parabola over the three top points)
    double height = 0;      // its prominence: -dF/dT at the top above the higher of the valleys beside it
};

// One well's melt curve analysed.
struct MeltAnalysis {
    // The readings that were used, by rising temperature, and -dF/dT at each of them (with the
    // wider window when the peaks were found with it).
    std::vector<double> temperatures;
    std::vector<double> derivative;
    std::vector<MeltPeak> peaks; // highest first
};

// Analyses one curve given as readings in the order they were taken. The points are ordered by
// temperature; of readings at the same temperature the first is kept. Never fails: a curve too
// short, flat or noisy has no peaks.
MeltAnalysis analyseMelt(std::span<const double> temperatures, std::span<const double> readings,
                         const MeltPeakSettings& settings = {});

// One well of `curves` for its channel `channel`; points whose temperature or reading is not a
// number are left out.
MeltAnalysis analyseMeltWell(const MeltCurves& curves, const MeltWell& well, std::size_t channel,
                             const MeltPeakSettings& settings = {});

// A melting temperature as the tool, RDML and RDES write it: two decimals, a point (a note to read
// takes one).
std::string meltTemperatureText(double celsius, int decimals = 2);
// The peaks' temperatures, highest peak first, joined by ';' ("81.30;74.02"); empty for none.
std::string meltPeaksText(const std::vector<MeltPeak>& peaks);

struct WellMelt {
    std::string well;
    MeltAnalysis analysis;
};

// The analysis of every well of `curves` for its channel `channel`, in the wells' order.
std::vector<WellMelt> analyseMeltCurves(const MeltCurves& curves, std::size_t channel,
                                        const MeltPeakSettings& settings = {});

// The melt peak curves of `wells` of a well table (every well for none), as curvesOf gives their
// amplification curves and with the same colours: temperatures for cycles, -dF/dT for readings,
// and the peaks. Wells without a melt curve are left out.
std::vector<Curve> meltPeakCurves(const Grid& table, const std::vector<WellMelt>& melt,
                                  const std::vector<std::string>& wells = {}, const SampleColours* colours = nullptr);

} // namespace morvane
