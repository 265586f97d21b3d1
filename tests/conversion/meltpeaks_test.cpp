// The melt peak finder on curves built with known peaks, and on a real plate against the RDML
// consortium's melt curve analysis of the same readings.

#include "conversion/meltpeaks.h"
#include "conversion/programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>

using namespace morvane;

namespace {

struct Product {
    double tm;     // °C
    double amount; // the fall of the reading when it melts
};

struct BuiltCurve {
    std::vector<double> temperatures;
    std::vector<double> readings;
};

// Readings every 0.2 °C from 60 to 95 °C, as a LightCycler melt takes them: a dye signal that
// falls slowly with temperature, and a sigmoid fall (width about 2 °C) for each product. `noise`
// is the standard deviation of a reproducible Gaussian scatter; `decimals` rounds as the file does.
BuiltCurve meltCurve(std::vector<Product> products, double noise = 0, int decimals = -1)
{
    BuiltCurve curve;
    unsigned state = 12345;
    const auto uniform = [&] {
        state = state * 1103515245u + 12345u;
        return ((state >> 8) + 0.5) / 16777216.0;
    };
    for (int k = 0; k <= 175; ++k) {
        const double t = 60 + 0.2 * k;
        double f = 2.0 - 0.02 * (t - 60);
        for (const Product& p : products)
            f += p.amount / (1 + std::exp((t - p.tm) / 0.5));
        if (noise > 0)
            f += noise * std::sqrt(-2 * std::log(uniform())) * std::cos(2 * std::numbers::pi * uniform());
        if (decimals >= 0)
            f = std::round(f * std::pow(10, decimals)) / std::pow(10, decimals);
        curve.temperatures.push_back(t);
        curve.readings.push_back(f);
    }
    return curve;
}

std::vector<double> peakTemperatures(const BuiltCurve& curve)
{
    std::vector<double> tms;
    for (const MeltPeak& p : analyseMelt(curve.temperatures, curve.readings).peaks)
        tms.push_back(p.temperature);
    return tms;
}

BuiltCurve reversed(BuiltCurve c)
{
    std::reverse(c.temperatures.begin(), c.temperatures.end());
    std::reverse(c.readings.begin(), c.readings.end());
    return c;
}

} // namespace

TEST(MeltPeaks, FindsTheKnownPeaksOfBuiltCurves)
{
    BuiltCurve wobble = meltCurve({{81.3, 4}});
    std::swap(wobble.temperatures[30], wobble.temperatures[31]); // the temperature goes back once
    std::swap(wobble.readings[30], wobble.readings[31]);
    BuiltCurve repeated = meltCurve({{81.3, 4}});
    // A second reading at 70.0 °C far off the curve: the first reading there is the one kept.
    repeated.temperatures.insert(repeated.temperatures.begin() + 60, repeated.temperatures[50]);
    repeated.readings.insert(repeated.readings.begin() + 60, 9.0);
    BuiltCurve settling = meltCurve({{81.3, 4}});
    for (std::size_t k = 0; k < 4; ++k)
        settling.readings[k] += 1.5; // the block settles: a step inside the first degree
    BuiltCurve few = meltCurve({{81.3, 4}});
    few.temperatures = {80, 80.4, 80.8, 81.2, 81.6, 82, 82.4, 82.8, 83.2, 83.6};
    few.readings = {3, 3, 2.9, 2, 1, 0.5, 0.5, 0.4, 0.4, 0.4};

    struct Case {
        const char* what;
        BuiltCurve curve;
        std::vector<double> tms; // highest first
    };
    const std::vector<Case> cases = {
        {"one product", meltCurve({{81.3, 4}}), {81.3}},
        {"one product, two decimals", meltCurve({{77.85, 5}}, 0, 2), {77.85}},
        {"product and primer dimers", meltCurve({{84.5, 4}, {74.0, 1.5}}), {84.5, 74.0}},
        {"two products", meltCurve({{79.0, 3}, {86.2, 2.5}}), {79.0, 86.2}},
        {"a trace below the share is left out", meltCurve({{84.5, 4}, {72.0, 0.1}}), {84.5}},
        {"noisy", meltCurve({{80.0, 3}}, 0.02, 2), {80.0}},
        {"readings in falling order", reversed(meltCurve({{81.3, 4}})), {81.3}},
        {"temperature going back", wobble, {81.3}},
        {"repeated temperature", repeated, {81.3}},
        {"settling block", settling, {81.3}},
        {"no product", meltCurve({}), {}},
        {"no product, noisy", meltCurve({}, 0.02, 2), {}},
        {"no product, two decimals", meltCurve({}, 0, 2), {}},
        {"flat", {std::vector<double>(50, 70.0), std::vector<double>(50, 1.0)}, {}},
        {"too few readings", few, {}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        const std::vector<double> found = peakTemperatures(c.curve);
        ASSERT_EQ(found.size(), c.tms.size())
            << c.what << (found.empty() ? "" : ", first at " + std::to_string(found[0]));
        for (std::size_t k = 0; k < found.size(); ++k)
            EXPECT_NEAR(found[k], c.tms[k], 0.1) << c.what << ", peak " << k;
    }
}

TEST(MeltPeaks, KeepsTheCurveItAnalysed)
{
    const BuiltCurve curve = meltCurve({{81.3, 4}});
    const MeltAnalysis a = analyseMelt(curve.temperatures, curve.readings);
    ASSERT_EQ(a.temperatures.size(), a.derivative.size());
    EXPECT_GE(a.temperatures.front(), 61.0); // without the first and last degree
    EXPECT_LE(a.temperatures.back(), 94.0);
    EXPECT_TRUE(std::is_sorted(a.temperatures.begin(), a.temperatures.end()));
    const auto top = std::max_element(a.derivative.begin(), a.derivative.end()) - a.derivative.begin();
    EXPECT_NEAR(a.temperatures[static_cast<std::size_t>(top)], 81.3, 0.2);
    // The sigmoid falls by at most 4 / (4 x 0.5) per degree, plus the dye's 0.02; the fitted slope
    // flattens the top a little but no more than that.
    EXPECT_GT(a.derivative[static_cast<std::size_t>(top)], 0.75 * 2.02);
    EXPECT_LT(a.derivative[static_cast<std::size_t>(top)], 2.02);
}

// The consortium's analysis (rdmlpython 3.0.1, Run.meltCurveAnalysis with its defaults) of the
// RDML that this program writes from the real 384-well export; see tests/data/PROVENANCE.md and
// consortium_melt.py, which made the table. Wells with a clear product: a main peak at least half
// as high as the plate's median main peak.
TEST(MeltPeaks, AgreeWithTheConsortiumsAnalysisOfARealPlate)
{
    auto text = loadRawFile(std::string(MORVANE_TESTDATA_DIR) + "/lc480_384_nrd1_calibration.txt");
    ASSERT_TRUE(text.ok());
    auto programs = detectPrograms(*text);
    ASSERT_TRUE(programs.ok());
    auto melt = readMeltProgram(*text, *programs);
    ASSERT_TRUE(melt.ok() && *melt);
    std::map<std::string, double> mine;
    for (const WellMelt& w : analyseMeltCurves(**melt, 0))
        if (!w.analysis.peaks.empty())
            mine[w.well] = w.analysis.peaks.front().temperature;

    std::ifstream in(std::string(MORVANE_TESTDATA_DIR) + "/melt/lc480_384_nrd1_calibration_rdmlpython.tsv");
    std::map<std::string, std::pair<double, double>> theirs; // well: temperature, height
    std::vector<double> heights;
    for (std::string line; std::getline(in, line);) {
        std::string well, tm, height;
        std::istringstream fields(line);
        std::getline(fields, well, '\t');
        std::getline(fields, tm, '\t');
        std::getline(fields, height, '\t');
        if (!tm.empty()) {
            theirs[well] = {std::stod(tm), std::stod(height)};
            heights.push_back(std::stod(height));
        }
    }
    ASSERT_EQ(theirs.size(), 383u);
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    const double clear = heights[heights.size() / 2] / 2;
    int products = 0;
    int agreeing = 0;
    for (const auto& [well, peak] : theirs) {
        if (peak.second < clear)
            continue;
        ++products;
        const auto found = mine.find(well);
        agreeing += found != mine.end() && std::abs(found->second - peak.first) <= 0.5;
    }
    EXPECT_GT(products, 250);
    EXPECT_GE(agreeing, 0.95 * products) << agreeing << " of " << products;
}
